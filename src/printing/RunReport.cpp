#include "printing/RunReport.h"

#include <QStringList>

namespace zl::printing {

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
    if (r.outcome == RunOutcome::Finished && r.wanted == 0)
        return QStringLiteral("データに印刷する行がないため、ラベルは1枚も印刷していません。");
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

QString progressText(int printed, int nextRow, int unknown)
{
    // Where the printer could not tell, no row is named: going on from
    // one might print the same labels twice.
    if (unknown > 0)
        return (printed ? QStringLiteral("この印刷で印刷が確かなラベルは%1枚です。").arg(printed)
                        : QStringLiteral("印刷が確かなラベルはありません。"))
            + QStringLiteral("残りの%1枚は印刷されたかどうか分かりません。プリンターから出たラベルを確かめてから、"
                             "続きを「部分発行」で印刷してください。")
                  .arg(unknown);
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
        return QStringLiteral("印刷をキャンセルしました。") + progressText(r.printed, r.nextRow, r.unknown);
    if ((r.outcome == RunOutcome::StoppedAtCounter || r.outcome == RunOutcome::CapExhausted) && r.nextRow > 0)
        return QStringLiteral("1回の印刷は%1枚までのため、%2行目の前で止めました。")
                   .arg(kLabelsPerOpening)
                   .arg(r.nextRow)
            + progressText(r.printed, r.nextRow);
    return {};
}

} // namespace zl::printing
