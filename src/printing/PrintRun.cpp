#include "printing/PrintRun.h"

#include "printing/RunReport.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace zl::printing {

namespace {

// A row bound as typed: a finite number ("inf" and "1e400" are none).
std::optional<double> rowNumber(const QString &text)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

double rowBound(const QString &text, const char *which)
{
    const std::optional<double> v = rowNumber(text);
    if (!v)
        throw Failure(QStringLiteral("%1の行番号「%2」は数値ではありません。")
                          .arg(QString::fromUtf8(which), text));
    return *v;
}

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

RunFailure::RunFailure(const QString &cause, int row, int printed, int nextRow)
    : Failure(QStringLiteral("%1行目: %2\n%3").arg(row).arg(cause, progressText(printed, nextRow))),
      m_cause(QStringLiteral("%1行目: %2").arg(row).arg(cause)), m_printed(printed), m_nextRow(nextRow)
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
        throw RunFailure(f.description(), row, 0, firstWanted);
    }
    return rows;
}

// How the labels handed over ended, with the rows they were made from.
struct Settled {
    int printed = 0;
    int firstNotPrinted = 0; // row; 0: every label handed over came out
    QString problem;
};

Settled settle(const QList<int> &sentRows, const LabelsOut &out, std::optional<int> kept)
{
    Settled s;
    for (int i = 0; i < sentRows.size(); ++i) {
        // What a printer kept is the run's first labels (the PDF file).
        const bool came = (!out.known || out.printed.value(i)) && (!kept || i < *kept);
        if (came)
            ++s.printed;
        else if (!s.firstNotPrinted)
            s.firstNotPrinted = sentRows[i];
    }
    s.problem = out.problem;
    return s;
}

// What both runs share: the printer set-up, the status texts, the rows read
// and checked before the first label, the record loop with its end, its
// remaining-label stop and its cancel, and the wait for the labels to come
// out. For each row, `wanted` says whether its label is printed;
// `perRecord` handles the record and says whether the run goes on. A
// partial run's `range` bounds the rows read.
template <typename Wanted, typename PerRecord>
RunResult runRecords(RunServices &s, int capCounter, int &remaining, const RowRange *range, Wanted &&wanted,
                     PerRecord &&perRecord)
{
    RunResult result;
    RunBracket bracket(s);
    remaining = capCounter;
    const LayoutChoice layout = s.readLayout();
    s.setStatus(kStatusPrinting);
    s.setPaper(layout.paper);
    const int firstWanted = range ? range->first : 1;
    // The progress window's cancel is live from the start of the run.
    auto cancelledBeforeTheFirstLabel = [&] {
        s.setStatus(QString());
        result.outcome = RunOutcome::Cancelled;
        result.nextRow = firstWanted;
        remaining = 0;
        return result;
    };
    if (s.cancelRequested())
        return cancelledBeforeTheFirstLabel();
    // One row past what the counter allows tells where a stopped run goes on.
    const int lastRow = int(std::min<qint64>(range ? range->last : INT_MAX, qint64(firstWanted) + capCounter));
    std::unique_ptr<RecordReader> reader = s.openDataSource(lastRow);
    int rowsRead = 0;
    const QList<RunRow> rows = readRows(*reader, lastRow, firstWanted, rowsRead);
    reader.reset();
    // A range past the data's last row would print nothing and look done.
    if (range && rows.isEmpty())
        throw NothingToPrint(QStringLiteral("%1行目から%2行目までにはデータがありません（データは%3行です）。"
                                     "印刷する行の範囲を指定しなおしてください。")
                          .arg(range->first)
                          .arg(range->last)
                          .arg(rowsRead));
    QList<RunRow> toPrint;
    for (const RunRow &r : rows)
        if (wanted(r.row) && toPrint.size() < remaining)
            toPrint.append(r);
    result.wanted = int(toPrint.size());
    if (s.cancelRequested())
        return cancelledBeforeTheFirstLabel();
    if (!toPrint.isEmpty() && !s.checkRows(toPrint)) {
        s.setStatus(QString());
        result.outcome = RunOutcome::Declined;
        return result;
    }
    s.beginPrinting();
    QList<int> sentRows;
    int row = 1;
    std::optional<Failure> failure;
    result.outcome = RunOutcome::Finished;
    try {
        for (int i = 0;; ++i, ++row) {
            if (i >= rows.size()) {
                s.setStatus(kStatusFinished);
                break;
            }
            row = rows[i].row;
            const bool printIt = wanted(row);
            if (printIt && s.cancelRequested()) {
                result.outcome = RunOutcome::Cancelled;
                result.nextRow = row;
                remaining = 0;
                break;
            }
            if (printIt && remaining == 0) {
                result.outcome = RunOutcome::StoppedAtCounter;
                result.nextRow = row;
                break;
            }
            const int handedOver = result.printed;
            const bool goOn = perRecord(row, rows[i].record, result);
            if (result.printed > handedOver)
                sentRows.append(row);
            if (!goOn) {
                if (result.outcome == RunOutcome::Cancelled) {
                    result.nextRow = row;
                    remaining = 0;
                }
                break;
            }
            if (printIt) {
                --remaining;
                if (s.stopAfterLabel())
                    remaining = std::min(remaining, 0);
            }
        }
    } catch (const Cancelled &) {
        // The printing system was still being asked about this row's label
        // when the operator cancelled: the run stops here.
        result.outcome = RunOutcome::Cancelled;
        result.nextRow = row;
        remaining = 0;
    } catch (const Failure &f) {
        failure = f;
    }
    // Labels sent before a failure still print; a cancel, and the printer
    // failing, take back those not yet printed.
    LabelsOut out;
    try {
        out = s.finishPrinting(result.outcome == RunOutcome::Cancelled);
    } catch (const Failure &unknown) {
        // Nothing is counted that cannot be known to have come out.
        out.known = true;
        out.printed = QList<bool>(sentRows.size(), false);
        out.problem = unknown.description()
            + QStringLiteral("\n送ったラベル%1枚が印刷されたかどうかは分かりません。プリンターの出力を確かめてください。")
                  .arg(sentRows.size());
    }
    QString kept;
    bool notKept = false;
    try {
        kept = s.endPrinting(!failure && out.problem.isEmpty());
    } catch (const Failure &f) {
        kept = f.description();
        notKept = true;
    }
    const Settled done = settle(sentRows, out, notKept ? std::optional<int>(0) : s.labelsKept());
    result.printed = done.printed;
    if (failure || !done.problem.isEmpty() || (notKept && !sentRows.isEmpty())) {
        // The first label that did not come out is where to go on; a row
        // past a partial run's range failing leaves nothing to print.
        // The printer's own problem is told at the label it did not print.
        const bool printerFailed = !done.problem.isEmpty() && done.firstNotPrinted;
        const int failedAt = (printerFailed || !failure) && done.firstNotPrinted ? done.firstNotPrinted : row;
        int next = done.firstNotPrinted;
        if (!next)
            next = row < firstWanted ? firstWanted : !failure ? 0 : wanted(row) ? row : 0;
        QString cause = failure ? failure->description() : done.problem;
        if (printerFailed && cause != done.problem)
            cause = done.problem + QLatin1Char('\n') + cause;
        if (!kept.isEmpty())
            cause = cause.isEmpty() ? kept : cause + QLatin1Char('\n') + kept;
        throw RunFailure(cause, failedAt, done.printed, next);
    }
    // Labels taken back without a problem were the operator's cancel, even
    // when it came after the last one was sent.
    if (done.firstNotPrinted) {
        result.outcome = RunOutcome::Cancelled;
        result.nextRow = done.firstNotPrinted;
        remaining = 0;
    }
    result.destination = kept;
    return result;
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

RowRange rowRange(const QString &first, const QString &last)
{
    const double from = rowBound(first, "開始");
    const double to = rowBound(last, "終了");
    constexpr double kMaxRow = 1e9;
    RowRange r;
    r.first = int(std::ceil(std::clamp(from, 1.0, kMaxRow)));
    r.last = int(std::floor(std::clamp(to, 0.0, kMaxRow)));
    if (r.first > r.last)
        throw Failure(QStringLiteral("印刷する行の範囲（%1行目から%2行目まで）に行がありません。"
                                     "開始には終了より小さい行番号を指定してください。")
                          .arg(first.trimmed(), last.trimmed()));
    return r;
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
