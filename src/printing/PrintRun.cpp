#include "printing/PrintRun.h"

#include <climits>
#include <cmath>

namespace zl::printing {

namespace {

bool variableConnection(const LayoutChoice &layout)
{
    return layout.printer == QStringLiteral("1");
}

// The variable connection type asks for the printer once per run; a
// cancelled dialog ends the run before anything changes.
bool setUpPrinter(RunServices &s, const LayoutChoice &layout)
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

namespace {

// What follows the first line of a run's report: the rows without a barcode.
QString rowsWithoutBarcodeNote(const QList<RowWithoutBarcode> &rows)
{
    if (rows.isEmpty())
        return {};
    // A message box must fit the screen: the first rows, each cut short,
    // and how many more there were.
    constexpr int kRowsShown = 10;
    auto cut = [](const QString &text, int length) {
        return text.size() > length ? text.left(length) + QStringLiteral("…") : text;
    };
    QStringList lines;
    for (const RowWithoutBarcode &r : rows.mid(0, kRowsShown))
        lines << QStringLiteral("%1行目「%2」: %3").arg(r.row).arg(cut(r.value, 20), cut(r.reason, 60));
    if (rows.size() > kRowsShown)
        lines << QStringLiteral("ほか %1 行").arg(rows.size() - kRowsShown);
    return QStringLiteral("\n\n次の %1 行はバーコードなしで印刷されました:\n").arg(rows.size()) + lines.join(QLatin1Char('\n'));
}

} // namespace

QString endMessage(const QList<RowWithoutBarcode> &rows)
{
    return kEndMessage + rowsWithoutBarcodeNote(rows);
}

std::optional<QString> runReport(const RunResult &r, bool sayCapStop)
{
    QString details = rowsWithoutBarcodeNote(r.withoutBarcode);
    if (r.printed > 0 && !r.destination.isEmpty())
        details += QStringLiteral("\n\n") + r.destination;
    if (r.outcome == RunOutcome::Finished)
        return kEndMessage + details;
    // A run that stopped at the counter says nothing on the continuous
    // screen unless there is something to tell: labels that came out without
    // a barcode, or where the labels went. A cancel, and the counter stopping
    // a partial run inside its range, are always said. What is said starts
    // with how far the run got and where to go on, never with "印刷終了".
    if (r.outcome != RunOutcome::Cancelled && !sayCapStop && r.withoutBarcode.isEmpty() && r.destination.isEmpty())
        return std::nullopt;
    const QString stopped = stopMessage(r);
    return (stopped.isEmpty() ? kEndMessage : stopped) + details;
}

RunFailure::RunFailure(const QString &cause, int row, int printed, int nextRow)
    : Failure(QStringLiteral("%1行目: %2\n%3").arg(row).arg(cause, progressText(printed, nextRow))),
      m_cause(QStringLiteral("%1行目: %2").arg(row).arg(cause)), m_printed(printed), m_nextRow(nextRow)
{
}

QString progressText(int printed, int nextRow)
{
    if (printed == 0)
        return QStringLiteral("ラベルは1枚も印刷していません。");
    if (nextRow == 0)
        return QStringLiteral("この印刷では%1枚のラベルを印刷しました。指定の行はすべて印刷済みです。").arg(printed);
    return QStringLiteral("この印刷では%1枚のラベルを印刷しました。続きは「部分発行」で%2行目から印刷してください。")
        .arg(printed)
        .arg(nextRow);
}

QString stopMessage(const RunResult &r)
{
    if (r.outcome == RunOutcome::Cancelled)
        return QStringLiteral("印刷をキャンセルしました。") + progressText(r.printed, r.nextRow);
    if ((r.outcome == RunOutcome::StoppedAtCounter || r.outcome == RunOutcome::CapExhausted) && r.nextRow > 0)
        return QStringLiteral("1回の印刷は%1枚までのため、%2行目の前で止めました。")
                   .arg(kLabelsPerOpening)
                   .arg(r.nextRow)
            + progressText(r.printed, r.nextRow);
    return {};
}

namespace {

struct RunBracket {
    RunServices &s;
    explicit RunBracket(RunServices &services) : s(services) { s.beginRun(); }
    ~RunBracket() { s.endRun(); }
};

// What both runs share: the printer set-up, the status texts, the record
// loop with its end, its remaining-label stop and its cancel. For each
// record, `wanted` says whether its label is printed; `perRecord` handles
// the record and says whether the run goes on. `firstWanted` is where a
// run that printed nothing yet would start again.
template <typename Wanted, typename PerRecord>
RunResult runRecords(RunServices &s, int capCounter, int &remaining, int firstWanted, int lastRow, Wanted &&wanted,
                     PerRecord &&perRecord)
{
    RunResult result;
    RunBracket bracket(s);
    remaining = capCounter;
    const LayoutChoice layout = s.readLayout();
    if (!setUpPrinter(s, layout)) {
        result.outcome = RunOutcome::Declined;
        return result;
    }
    s.setStatus(kStatusPrinting);
    s.setPaper(layout.paper);
    std::unique_ptr<RecordReader> reader = s.openDataSource(lastRow);
    s.beginPrinting();
    int row = 1;
    try {
        for (;; ++row) {
            const bool printIt = wanted(row);
            // A row that is not printed is only passed over.
            std::optional<RunRecord> record;
            if (printIt ? !(record = reader->next()) : !reader->skip()) {
                s.setStatus(kStatusFinished);
                result.outcome = RunOutcome::Finished;
                break;
            }
            if (!printIt)
                continue;
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
            if (!perRecord(row, *record, layout, result)) {
                if (result.outcome == RunOutcome::Cancelled) {
                    result.nextRow = row;
                    remaining = 0;
                }
                break;
            }
            if (printIt)
                --remaining;
        }
        s.finishPrinting();
    } catch (const Failure &f) {
        // A row past a partial run's range failing leaves nothing to print.
        const int next = row < firstWanted ? firstWanted : wanted(row) ? row : 0;
        // The labels printed before the failure are kept where they went,
        // and the report says where that is.
        QString kept;
        try {
            kept = s.endPrinting(false);
        } catch (const Failure &notKept) {
            kept = notKept.description();
        }
        const QString cause = kept.isEmpty() ? f.description() : f.description() + QLatin1Char('\n') + kept;
        throw RunFailure(cause, row, result.printed, next);
    }
    result.destination = s.endPrinting(true);
    return result;
}

// False when the operator cancelled the label.
bool printOne(RunServices &s, const LayoutChoice &layout, RunResult &result)
{
    // The printer the operator confirmed, again before every label.
    if (variableConnection(layout)) {
        s.restorePrinterSettings();
        s.savePrinterSettings();
    }
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
    // The row after the counter's last is read, to say where to go on.
    const int lastRow = capCounter >= 0 && capCounter < INT_MAX ? capCounter + 1 : 0;
    return runRecords(s, capCounter, remaining, 1, lastRow, [](int) { return true; },
                      [&](int row, const RunRecord &record, const LayoutChoice &layout, RunResult &result) {
                          noteBarcode(result, row, record, s.prepareLabel(record));
                          if (--capCounter < 0) {
                              result.outcome = RunOutcome::CapExhausted;
                              result.nextRow = row;
                              return false;
                          }
                          return printOne(s, layout, result);
                      });
}

RunResult runPartial(RunServices &s, int capCounter, int &remaining, const QString &first, const QString &last)
{
    // Bounds that are not numbers fail at the first record, after its
    // barcode was made (rowBound below); until then every row is wanted.
    const std::optional<double> from = rowNumber(first);
    const std::optional<double> to = rowNumber(last);
    const bool bounded = from && to;
    auto wanted = [&](int row) { return !bounded || (*from <= row && row <= *to); };
    // Rows are ints: a bound beyond them is no row the file can reach.
    const int firstWanted = from && *from > 1 ? (*from < INT_MAX ? int(std::ceil(*from)) : INT_MAX) : 1;
    const int lastRow = bounded && *to >= 1 && *to < INT_MAX ? int(std::floor(*to)) : 0;
    return runRecords(s, capCounter, remaining, firstWanted, lastRow, wanted,
                      [&](int row, const RunRecord &record, const LayoutChoice &layout, RunResult &result) {
                          const std::optional<QString> reason = s.prepareLabel(record);
                          const double lo = rowBound(first, "開始");
                          const double hi = rowBound(last, "終了");
                          if (lo <= row && row <= hi) {
                              noteBarcode(result, row, record, reason);
                              return printOne(s, layout, result);
                          }
                          return true;
                      });
}

} // namespace zl::printing
