#pragma once
// The check before a run's first label: every row drawn as it will print,
// on the label it will print on, before anything is sent.
#include "common/Failure.h"
#include "printing/RunContext.h"

#include <QHash>
#include <QList>
#include <QString>

namespace zl::printing {

// What the check found, row by row.
struct RunCheck {
    struct Problem {
        int row = 0;
        QString text;
    };
    QList<Problem> unreadable; // values past the columns, misread: the run would stop there
    QList<Problem> prices;     // prices that are not numbers: the run would stop there
    QList<Problem> warnings;   // no barcode, texts past the paper, more than one page …
    // Why no label may print: its barcode could not be trusted to scan on
    // this stock (the same for every row), naming the printer and its paper.
    QString refusal;
    bool empty() const { return !stops() && warnings.isEmpty() && refusal.isEmpty(); }
    // A row the run would stop at, not having printed it.
    bool stops() const { return !unreadable.isEmpty() || !prices.isEmpty(); }
    // The list as the operator reads it, at most `rowsShown` lines a kind.
    QString text(int rowsShown = 10) const;
};

// Reads the rows as the run will print them and draws each on the label the
// run's printer will print it on (one position of the run's sheet, or the
// printer's page), fitted as the run will fit it, collecting what the label
// preview warns of. `unreadable`: why the reader could not take a row as it
// stands, by row number; such a row is named for that alone. `p`: the run's
// printer; nothing is checked without one.
RunCheck checkRunRows(const QList<RunRow> &rows, const RunContext &run, const printer::Printer *p,
                      const QHash<int, QString> &unreadable = {});

// A run refused before its first label because its labels' barcodes could
// not be trusted to scan on the stock chosen.
class LabelRefused : public Failure {
public:
    using Failure::Failure;
};

} // namespace zl::printing
