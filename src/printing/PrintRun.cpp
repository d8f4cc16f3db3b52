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
    QStringList lines;
    for (const RowWithoutBarcode &r : rows)
        lines << QStringLiteral("%1行目「%2」: %3").arg(r.row).arg(r.value, r.reason);
    return kEndMessage + QStringLiteral("\n\n次の行はバーコードなしで印刷されました:\n") + lines.join(QLatin1Char('\n'));
}

namespace {

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
    for (int row = 1;; ++row) {
        std::optional<RunRecord> record = reader->next();
        if (!record) {
            s.finishPrinting();
            s.setStatus(kStatusFinished);
            result.outcome = RunOutcome::Finished;
            return result;
        }
        if (remaining == 0) {
            s.finishPrinting();
            result.outcome = RunOutcome::StoppedAtCounter;
            return result;
        }
        if (!perRecord(row, *record, layout, result))
            return result;
        --remaining;
    }
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
                              s.finishPrinting();
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
