#include "printing/PrintRun.h"

#include "printing/RunReport.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace zl::printing {

namespace {

void noteBarcode(RunResult &result, int row, const RunRecord &record, const std::optional<QString> &reason)
{
    if (reason)
        result.withoutBarcode.append({row, record.columns[0], *reason});
}

} // namespace

bool variableConnection(const LayoutChoice &layout)
{
    return layout.printer == QStringLiteral("1");
}

bool setUpRunPrinter(PrinterSetupSteps &s, const LayoutChoice &layout)
{
    if (!variableConnection(layout)) {
        s.useFixedPaper(layout.paper);
        return true;
    }
    s.restorePrinterSettings();
    if (!s.showPrinterSetup())
        return false;
    s.savePrinterSettings();
    return true;
}

RunFailure::RunFailure(const QString &cause, int row, const LabelTally &tally)
    : Failure(QStringLiteral("%1行目: %2\n%3").arg(row).arg(cause, progressText(tally))),
      m_cause(QStringLiteral("%1行目: %2").arg(row).arg(cause)), m_tally(tally)
{
}

namespace {

struct RunBracket {
    RunServices &s;
    explicit RunBracket(RunServices &services) : s(services) { s.beginRun(); }
    ~RunBracket() { s.endRun(); }
};

// The rows the run may print, from `firstWanted`, read before the first
// label is sent: a run never reads past `lastRow`. rowsRead: how many rows
// the data had up to there. A record that cannot be read stops the run
// here, before anything is printed.
QList<RunRow> readRows(RecordReader &reader, int lastRow, int firstWanted, int &rowsRead)
{
    QList<RunRow> rows;
    int row = 1;
    try {
        for (; row <= lastRow; ++row) {
            // A row before the range is only passed over, not read.
            if (row < firstWanted) {
                if (!reader.skip())
                    break;
                continue;
            }
            std::optional<RunRecord> record = reader.next();
            if (!record)
                break;
            rows.append({row, *record});
        }
        rowsRead = row - 1;
    } catch (const Failure &f) {
        throw RunFailure(f.description(), row, LabelTally{0, firstWanted, {}, {}});
    }
    return rows;
}

// How the labels handed over ended, with the rows they were made from.
struct Settled {
    int printed = 0;
    int firstNotPrinted = 0; // row; 0: every label handed over came out
    QList<RowSpan> unknown;  // whether they came out not known
    QList<RowSpan> twice;    // may have come out twice
    QList<int> rowsOut;
    QString problem;
    int firstOpen() const // the first row not known printed
    {
        const int firstUnknown = unknown.isEmpty() ? 0 : unknown.first().first;
        if (!firstUnknown || !firstNotPrinted)
            return firstUnknown ? firstUnknown : firstNotPrinted;
        return std::min(firstUnknown, firstNotPrinted);
    }
};

void addRow(QList<RowSpan> &spans, int row)
{
    if (!spans.isEmpty() && spans.last().last + 1 == row)
        spans.last().last = row;
    else
        spans.append({row, row});
}

Settled settle(const QList<int> &sentRows, const LabelsOut &out, std::optional<int> kept)
{
    Settled s;
    for (int i = 0; i < sentRows.size(); ++i) {
        LabelFate fate = out.known ? out.fates.value(i, LabelFate::NotOut) : LabelFate::Out;
        // What a printer kept is the run's first labels (the PDF file).
        if (kept && i >= *kept)
            fate = LabelFate::NotOut;
        const int row = sentRows[i];
        if (fate == LabelFate::Out) {
            ++s.printed;
            s.rowsOut.append(row);
        } else if (fate == LabelFate::Unknown) {
            addRow(s.unknown, row);
        } else if (!s.firstNotPrinted) {
            s.firstNotPrinted = row;
        }
        if (i < out.twice && fate != LabelFate::NotOut)
            addRow(s.twice, row);
    }
    s.problem = out.problem;
    return s;
}

// A run between its phases: what it has read, sent and found so far.
struct RunState {
    explicit RunState(int &remaining) : remaining(remaining) {}
    RunResult result;
    int &remaining;
    int firstWanted = 1;
    QList<RunRow> rows;
    QList<int> sentRows;
    int row = 1; // the row the loop stopped at
    std::optional<Failure> failure;

    // The operator's cancel: the run stops at `at`, nothing more to print.
    RunResult &cancelledAt(int at)
    {
        result.outcome = RunOutcome::Cancelled;
        result.nextRow = at;
        remaining = 0;
        return result;
    }
};

// Before the first label: the status texts, the rows the run may print
// read and checked. False when the run ends here (the result says how).
template <typename Wanted>
bool readAndCheck(RunServices &s, RunState &run, int capCounter, const RowRange *range, Wanted &wanted)
{
    const LayoutChoice layout = s.readLayout();
    s.setStatus(kStatusPrinting);
    s.setPaper(layout.paper);
    run.firstWanted = range ? range->first : 1;
    // The progress window's cancel is live from the start of the run.
    auto cancelled = [&] {
        s.setStatus(QString());
        run.cancelledAt(run.firstWanted);
        return false;
    };
    if (s.cancelRequested())
        return cancelled();
    // One row past what the counter allows tells where a stopped run goes on.
    const int lastRow = int(std::min<qint64>(range ? range->last : INT_MAX, qint64(run.firstWanted) + capCounter));
    int rowsRead = 0;
    {
        std::unique_ptr<RecordReader> reader = s.openDataSource(lastRow);
        run.rows = readRows(*reader, lastRow, run.firstWanted, rowsRead);
    }
    // A range past the data's last row would print nothing and look done.
    if (range && run.rows.isEmpty())
        throw NothingToPrint(QStringLiteral("%1行目から%2行目までにはデータがありません（データは%3行です）。"
                                            "印刷する行の範囲を指定しなおしてください。")
                                 .arg(range->first)
                                 .arg(range->last)
                                 .arg(rowsRead));
    QList<RunRow> toPrint;
    for (const RunRow &r : run.rows)
        if (wanted(r.row) && toPrint.size() < run.remaining)
            toPrint.append(r);
    run.result.wanted = int(toPrint.size());
    if (s.cancelRequested())
        return cancelled();
    if (!toPrint.isEmpty() && !s.checkRows(toPrint)) {
        s.setStatus(QString());
        run.result.outcome = RunOutcome::Declined;
        return false;
    }
    return true;
}

// The record loop with its end, its remaining-label stop and its cancel.
// A failure is kept for the end: the labels sent before it still count.
template <typename Wanted, typename PerRecord>
void sendLabels(RunServices &s, RunState &run, Wanted &wanted, PerRecord &perRecord)
{
    RunResult &result = run.result;
    result.outcome = RunOutcome::Finished;
    try {
        for (int i = 0;; ++i, ++run.row) {
            if (i >= run.rows.size()) {
                s.setStatus(kStatusFinished);
                break;
            }
            run.row = run.rows[i].row;
            const bool printIt = wanted(run.row);
            if (printIt && s.cancelRequested()) {
                run.cancelledAt(run.row);
                break;
            }
            if (printIt && run.remaining == 0) {
                result.outcome = RunOutcome::StoppedAtCounter;
                result.nextRow = run.row;
                break;
            }
            const int handedOver = result.printed;
            const bool goOn = perRecord(run.row, run.rows[i].record, result);
            if (result.printed > handedOver)
                run.sentRows.append(run.row);
            if (!goOn) {
                if (result.outcome == RunOutcome::Cancelled)
                    run.cancelledAt(run.row);
                break;
            }
            if (printIt) {
                --run.remaining;
                if (s.stopAfterLabel())
                    run.remaining = std::min(run.remaining, 0);
            }
        }
    } catch (const Cancelled &) {
        // The printing system was still being asked about this row's label
        // when the operator cancelled: the run stops here.
        run.cancelledAt(run.row);
    } catch (const Failure &f) {
        run.failure = f;
    }
}

// After the last label: waits for the labels to come out, and counts as
// printed only what is known to have. Throws a RunFailure naming where to
// go on when a label failed or the printer reported a problem.
template <typename Wanted>
RunResult settleRun(RunServices &s, RunState &run, Wanted &wanted)
{
    RunResult &result = run.result;
    const QList<int> &sentRows = run.sentRows;
    // Labels sent before a failure still print; a cancel, and the printer
    // failing, take back those not yet printed.
    LabelsOut out;
    try {
        out = s.finishPrinting(result.outcome == RunOutcome::Cancelled);
    } catch (const Failure &unknown) {
        // Nothing is counted that cannot be known to have come out.
        out.known = true;
        out.fates = QList<LabelFate>(sentRows.size(), LabelFate::Unknown);
        out.problem = unknown.description();
    }
    QString kept;
    bool notKept = false;
    try {
        kept = s.endPrinting(!run.failure && out.problem.isEmpty());
    } catch (const Failure &f) {
        kept = f.description();
        notKept = true;
    }
    const Settled done = settle(sentRows, out, notKept ? std::optional<int>(0) : s.labelsKept());
    result.printed = done.printed;
    result.unknownRows = done.unknown;
    result.twiceRows = done.twice;
    result.rowsOut = done.rowsOut;
    result.unknown = result.tally().unknownLabels();
    const int row = run.row;
    const int firstOpen = done.firstOpen();
    if (run.failure || !done.problem.isEmpty() || (notKept && !sentRows.isEmpty())) {
        // The first label not known to have come out is where to go on; a
        // row past a partial run's range failing leaves nothing to print.
        // The printer's own problem is told at the label it did not print.
        const bool printerFailed = !done.problem.isEmpty() && firstOpen;
        const int failedAt = (printerFailed || !run.failure) && firstOpen ? firstOpen : row;
        int next = firstOpen;
        if (!next)
            next = row < run.firstWanted ? run.firstWanted : !run.failure ? 0 : wanted(row) ? row : 0;
        QString cause = run.failure ? run.failure->description() : done.problem;
        if (printerFailed && cause != done.problem)
            cause = done.problem + QLatin1Char('\n') + cause;
        if (!kept.isEmpty())
            cause = cause.isEmpty() ? kept : cause + QLatin1Char('\n') + kept;
        throw RunFailure(cause, failedAt, LabelTally{done.printed, next, done.unknown, done.twice});
    }
    // Labels taken back without a problem were the operator's cancel, even
    // when it came after the last one was sent: a run its operator stopped
    // is a success only when every label is known to have come out.
    if (firstOpen)
        run.cancelledAt(firstOpen);
    result.destination = kept;
    return result;
}

// What both runs share: the rows read and checked before the first label,
// the labels sent, and the wait for them to come out. For each row,
// `wanted` says whether its label is printed; `perRecord` handles the
// record and says whether the run goes on. A partial run's `range` bounds
// the rows read.
template <typename Wanted, typename PerRecord>
RunResult runRecords(RunServices &s, int capCounter, int &remaining, const RowRange *range, Wanted &&wanted,
                     PerRecord &&perRecord)
{
    RunBracket bracket(s);
    RunState run(remaining);
    remaining = capCounter;
    if (!readAndCheck(s, run, capCounter, range, wanted))
        return run.result;
    s.beginPrinting();
    sendLabels(s, run, wanted, perRecord);
    return settleRun(s, run, wanted);
}

// False when the operator cancelled the label.
bool printOne(RunServices &s, RunResult &result)
{
    if (!s.printLabel()) {
        result.outcome = RunOutcome::Cancelled;
        return false;
    }
    ++result.printed;
    return true;
}

} // namespace

RunResult runContinuous(RunServices &s, int &capCounter, int &remaining)
{
    return runRecords(s, capCounter, remaining, nullptr, [](int) { return true; },
                      [&](int row, const RunRecord &record, RunResult &result) {
                          noteBarcode(result, row, record, s.prepareLabel(record, row));
                          if (--capCounter < 0) {
                              result.outcome = RunOutcome::CapExhausted;
                              result.nextRow = row;
                              return false;
                          }
                          return printOne(s, result);
                      });
}

RunResult runPartial(RunServices &s, int capCounter, int &remaining, const QString &first, const QString &last)
{
    const RowRange range = rowRange(first, last);
    auto wanted = [&](int row) { return range.first <= row && row <= range.last; };
    RunResult result = runRecords(s, capCounter, remaining, &range, wanted,
                                  [&](int row, const RunRecord &record, RunResult &r) {
                                      const std::optional<QString> reason = s.prepareLabel(record, row);
                                      if (wanted(row)) {
                                          noteBarcode(r, row, record, reason);
                                          return printOne(s, r);
                                      }
                                      return true;
                                  });
    return result;
}

} // namespace zl::printing
