#pragma once
// The check before a run's first label: every row drawn as it will print,
// on the label it will print on, before anything is sent.
#include "common/Failure.h"
#include "printing/RunContext.h"

#include <QList>
#include <QString>

namespace zl::printing {

// What the check found, row by row.
struct RunCheck {
    struct Problem {
        int row = 0;
        QString text;
    };
    QList<Problem> prices;   // prices that are not numbers: the run would stop there
    QList<Problem> warnings; // no barcode, texts past the paper, more than one page …
    // Why no label may print: its barcode could not be trusted to scan on
    // this stock (the same for every row), naming the printer and its paper.
    QString refusal;
    bool empty() const { return prices.isEmpty() && warnings.isEmpty() && refusal.isEmpty(); }
    // The list as the operator reads it, at most `rowsShown` lines a kind.
    QString text(int rowsShown = 10) const;
};

// Reads the rows as the run will print them and draws each on the label the
// run's printer will print it on (one position of the run's sheet, or the
// printer's page), fitted as the run will fit it, collecting what the label
// preview warns of.
RunCheck checkRunRows(const QList<RunRow> &rows, const RunContext &run);

// A run refused before its first label because its labels' barcodes could
// not be trusted to scan on the stock chosen.
class LabelRefused : public Failure {
public:
    using Failure::Failure;
};

} // namespace zl::printing
