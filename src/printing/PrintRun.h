#pragma once
// The two print runs: continuous (every record up to the remaining-label
// counter) and partial (a range of row numbers). The loop and its counters
// live here; what a run touches outside itself (settings, data file,
// barcode, renderer, printer module) comes through RunServices, so the same
// run serves the print screens, the command line and the tests.
#include "common/Failure.h"
#include "common/LabelFate.h"
#include "printing/RowRange.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

namespace zl::printing {

// The first four columns of a record, by position.
struct RunRecord {
    QString columns[4];
};

class RecordReader {
public:
    virtual ~RecordReader() = default;
    // The next record, or nothing past the last one. Throws on a broken
    // file and when a record has fewer than four columns.
    virtual std::optional<RunRecord> next() = 0;
    // Passes over the next record without reading its values (a row a
    // partial run does not print); false past the last one. Throws as next().
    virtual bool skip() { return next().has_value(); }
};

// What came out of the printer of the labels a run handed over.
struct LabelsOut {
    // False when the printer cannot tell: every label handed over counts.
    bool known = false;
    // One per label handed over, in the order sent.
    QList<LabelFate> fates;
    // The first `twice` labels handed over may have come out twice.
    int twice = 0;
    // Why the first that did not come out did not, in the operator's words;
    // empty when that was the operator's own cancel.
    QString problem;
};

// Rows first..last of the data.
struct RowSpan {
    int first = 0;
    int last = 0;
    friend bool operator==(const RowSpan &a, const RowSpan &b) { return a.first == b.first && a.last == b.last; }
};

// What a run can say of its labels, by rows: how many are known to have
// come out, which may or may not have, which may have come out twice, and
// the row to go on from (never past a label that may not have come out).
struct LabelTally {
    int printed = 0;
    int nextRow = 0; // 0: every wanted row is known printed
    QList<RowSpan> unknown;
    QList<RowSpan> twice;
    int unknownLabels() const;
};

// One row the run is going to print, read before anything is sent.
struct RunRow {
    int row = 0;
    RunRecord record;
};

struct LayoutChoice {
    QString printer; // PRINTER: "1" is the variable connection type
    QString paper;   // YOSHI
};

bool variableConnection(const LayoutChoice &layout);

// What setting up a run's printer does, before the run, on the windows'
// thread: the print-setup dialog for the variable connection type.
class PrinterSetupSteps {
public:
    virtual ~PrinterSetupSteps() = default;
    virtual void restorePrinterSettings() = 0;
    virtual bool showPrinterSetup() = 0;
    virtual void savePrinterSettings() = 0;
    // Fixed connection type: the paper chosen for it (YOSHI), taken by the
    // current printer when it lists it.
    virtual void useFixedPaper(const QString &paper) = 0;
};

// The variable connection type asks for the printer once per run; false
// when the operator cancelled the dialog (nothing has changed).
bool setUpRunPrinter(PrinterSetupSteps &steps, const LayoutChoice &layout);

class RunServices {
public:
    virtual ~RunServices() = default;
    virtual LayoutChoice readLayout() = 0;
    // Reads the data-source table and opens the data file, as far as row
    // lastRow (the whole file when 0): a run reads no further than it prints.
    virtual std::unique_ptr<RecordReader> openDataSource(int lastRow) = 0;
    // Puts the record of data row `row` into the label fields and makes its
    // barcode. Returns the reason when no barcode could be made (the label
    // then has none).
    virtual std::optional<QString> prepareLabel(const RunRecord &record, int row) = 0;
    // Draws and sends one label; throws on printer or number errors.
    // False when the operator cancelled it: nothing of it was sent.
    virtual bool printLabel() = 0;
    // Bracket the labels of a run, once the data source is open. endPrinting
    // says where the labels went (empty: nothing to say); it throws when the
    // printed labels could not be kept. ok is false on a failing run.
    virtual void beginPrinting() {}
    virtual QString endPrinting(bool ok)
    {
        Q_UNUSED(ok);
        return {};
    }
    // Before anything else of a run, and after its end however it ends:
    // checks of the stored values, the progress window. beginRun throws
    // to refuse the run.
    virtual void beginRun() {}
    virtual void endRun() {}
    // The operator asked the run to stop.
    virtual bool cancelRequested() const { return false; }
    // The label being printed is to be the run's last (its screen closes).
    virtual bool stopAfterLabel() const { return false; }
    // After the last label is handed over, however the run ends: waits
    // until every label sent has come out or ended otherwise, cancelling
    // those not yet printed when the operator cancels (or cancelRest).
    // Throws only when the printing system cannot be asked.
    virtual LabelsOut finishPrinting(bool cancelRest)
    {
        Q_UNUSED(cancelRest);
        return {};
    }
    // After endPrinting: how many of the labels handed over the printer
    // kept (the PDF file's); nothing when every one that came out stays.
    virtual std::optional<int> labelsKept() const { return std::nullopt; }
    // Before the first label: the rows the run is going to print, read
    // once. False when the operator chose to stop; throws to refuse the run.
    virtual bool checkRows(const QList<RunRow> &rows)
    {
        Q_UNUSED(rows);
        return true;
    }
    // Run status texts for the screen.
    virtual void setStatus(const QString &) {}
    virtual void setPaper(const QString &) {}
};

enum class RunOutcome {
    SetupDeclined,    // the print-setup dialog was cancelled: nothing happened
    Declined,         // the check before the first label was answered with a stop
    Finished,         // past the last record: the end message, the screen closes
    StoppedAtCounter, // the remaining-label counter reached 0
    CapExhausted,     // the record cap counter went below zero
    Cancelled,        // the operator cancelled: the label being drawn was not sent
};

struct RowWithoutBarcode {
    int row = 0;
    QString value;
    QString reason;
};

struct RunResult {
    RunOutcome outcome = RunOutcome::Finished;
    int printed = 0;
    // Where a run that stopped before its end would go on: the first row
    // whose label is not known printed (0 when the run got to the end).
    int nextRow = 0;
    QList<RowWithoutBarcode> withoutBarcode;
    // Where the labels went, for the end message (the PDF file); may be empty.
    QString destination;
    // Rows the run meant to print (0: the data has no rows to print).
    int wanted = 0;
    // Labels handed over that may or may not have come out, and those that
    // may have come out twice, by rows.
    QList<RowSpan> unknownRows;
    QList<RowSpan> twiceRows;
    int unknown = 0;
    // The rows whose labels are known to have come out.
    QList<int> rowsOut;
    LabelTally tally() const { return {printed, nextRow, unknownRows, twiceRows}; }
};

// A run that failed after it began printing: how far it got, so the
// operator can go on without printing labels twice.
class RunFailure : public Failure {
public:
    RunFailure(const QString &cause, int row, const LabelTally &tally);
    const QString &cause() const { return m_cause; } // with the row it happened at
    int printed() const { return m_tally.printed; }
    int nextRow() const { return m_tally.nextRow; } // 0: every wanted row was printed
    int unknown() const { return m_tally.unknownLabels(); } // labels that may or may not have come out
    const LabelTally &tally() const { return m_tally; }

private:
    QString m_cause;
    LabelTally m_tally;
};

// A run refused before it began because the data, or the range asked for,
// has no rows to print.
class NothingToPrint : public Failure {
public:
    using Failure::Failure;
};

inline const QString kStatusPrinting = QStringLiteral("※ただ今印刷処理中!!");
inline const QString kStatusFinished = QStringLiteral("※印刷処理終了!!");
inline const QString kEndMessage = QStringLiteral("印刷終了。ﾃﾞｰﾀﾍﾞｰｽと接続解除しました。");
inline const QString kEndTitle = QStringLiteral("処理終了");
inline const QString kRunErrorPrefix = QStringLiteral("印刷設定又はDB設定が不正です。設定しなおしてください Error_Message:");
constexpr int kLabelsPerOpening = 300;

// Both runs: a failure after the data source opened is thrown as a
// RunFailure naming the row and how far the run got.
//
// A continuous run. capCounter is the screen's record cap counter (300 when
// the screen opens), lowered by one per record; remaining is the
// remaining-label counter.
RunResult runContinuous(RunServices &services, int &capCounter, int &remaining);

// A partial run over rows first..last (compared as numbers). Bounds that are
// not numbers, a range the wrong way round and a range past the data's last
// row are refused before anything is printed. Only the labels it prints
// count against the counter, so any range can be printed, at most
// capCounter labels a run. When the counter stops it inside the range,
// nextRow says where.
RunResult runPartial(RunServices &services, int capCounter, int &remaining, const QString &first,
                     const QString &last);

} // namespace zl::printing
