#include "printing/PrintRun.h"

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
    if (!variableConnection(layout))
        return true;
    s.restorePrinterSettings();
    if (!s.showPrinterSetup())
        return false;
    s.savePrinterSettings();
    return true;
}

double rowBound(const QString &text, const char *which)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok)
        throw Failure(QStringLiteral("%1の行番号「%2」は数値ではありません。")
                          .arg(QString::fromUtf8(which), text));
    return v;
}

void noteBarcode(RunResult &result, int row, const RunRecord &record, const std::optional<QString> &reason)
{
    if (reason)
        result.withoutBarcode.append({row, record.columns[0], *reason});
}

} // namespace

QString endMessage(const QList<RowWithoutBarcode> &rows)
{
    if (rows.isEmpty())
        return kEndMessage;
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
    return kEndMessage + QStringLiteral("\n\n次の %1 行はバーコードなしで印刷されました:\n").arg(rows.size())
        + lines.join(QLatin1Char('\n'));
}

namespace {

template <typename PerRecord>
void recordLoop(RunServices &s, RecordReader &reader, int &remaining, const LayoutChoice &layout, RunResult &result,
                PerRecord &perRecord)
{
    for (int row = 1;; ++row) {
        std::optional<RunRecord> record = reader.next();
        if (!record) {
            s.setStatus(kStatusFinished);
            result.outcome = RunOutcome::Finished;
            return;
        }
        if (remaining == 0) {
            result.outcome = RunOutcome::StoppedAtCounter;
            return;
        }
        if (!perRecord(row, *record, layout, result))
            return;
        --remaining;
    }
}

// What both runs share: the printer set-up, the status texts, the record
// loop with its end and its remaining-label stop. `perRecord` handles one
// record and says whether the run goes on.
template <typename PerRecord>
RunResult runRecords(RunServices &s, int capCounter, int &remaining, PerRecord &&perRecord)
{
    RunResult result;
    remaining = capCounter;
    const LayoutChoice layout = s.readLayout();
    if (!setUpPrinter(s, layout)) {
        result.outcome = RunOutcome::Declined;
        return result;
    }
    s.setStatus(kStatusPrinting);
    s.setPaper(layout.paper);
    std::unique_ptr<RecordReader> reader = s.openDataSource();
    s.beginPrinting();
    try {
        recordLoop(s, *reader, remaining, layout, result, perRecord);
    } catch (const Failure &failure) {
        // The labels printed before the failure are kept where they went,
        // and the report says where that is.
        QString kept;
        try {
            kept = s.endPrinting(false);
        } catch (const Failure &notKept) {
            kept = notKept.description();
        }
        if (kept.isEmpty())
            throw;
        throw Failure(failure.description() + QLatin1Char('\n') + kept);
    }
    result.destination = s.endPrinting(true);
    return result;
}

void printOne(RunServices &s, const LayoutChoice &layout, RunResult &result)
{
    // The printer the operator confirmed, again before every label.
    if (variableConnection(layout)) {
        s.restorePrinterSettings();
        s.savePrinterSettings();
    }
    s.printLabel();
    ++result.printed;
}

} // namespace

RunResult runContinuous(RunServices &s, int &capCounter, int &remaining)
{
    return runRecords(s, capCounter, remaining,
                      [&](int row, const RunRecord &record, const LayoutChoice &layout, RunResult &result) {
                          noteBarcode(result, row, record, s.prepareLabel(record));
                          if (--capCounter < 0) {
                              result.outcome = RunOutcome::CapExhausted;
                              return false;
                          }
                          printOne(s, layout, result);
                          return true;
                      });
}

RunResult runPartial(RunServices &s, int capCounter, int &remaining, const QString &first, const QString &last)
{
    return runRecords(s, capCounter, remaining,
                      [&](int row, const RunRecord &record, const LayoutChoice &layout, RunResult &result) {
                          const std::optional<QString> reason = s.prepareLabel(record);
                          const double from = rowBound(first, "開始");
                          const double to = rowBound(last, "終了");
                          if (from <= row && row <= to) {
                              noteBarcode(result, row, record, reason);
                              printOne(s, layout, result);
                          }
                          return true;
                      });
}

} // namespace zl::printing
