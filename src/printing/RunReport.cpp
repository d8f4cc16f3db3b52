#include "printing/RunReport.h"

#include <QStringList>

namespace zl::printing {

namespace {

// A message box must fit the screen: the first rows, each cut short, and
// how many more there were.
QString listedRows(const QList<RowWithoutBarcode> &rows)
{
    constexpr int kRowsShown = 10;
    auto cut = [](const QString &text, int length) {
        return text.size() > length ? text.left(length) + QStringLiteral("…") : text;
    };
    QStringList lines;
    for (const RowWithoutBarcode &r : rows.mid(0, kRowsShown))
        lines << QStringLiteral("%1行目「%2」: %3").arg(r.row).arg(cut(r.value, 20), cut(r.reason, 60));
    if (rows.size() > kRowsShown)
        lines << QStringLiteral("ほか %1 行").arg(rows.size() - kRowsShown);
    return lines.join(QLatin1Char('\n'));
}

bool inSpans(const QList<RowSpan> &spans, int row)
{
    for (const RowSpan &s : spans)
        if (s.first <= row && row <= s.last)
            return true;
    return false;
}

// What follows the first line of a run's report: the rows without a
// barcode, as far as their labels came out or may have. A label that did
// not come out is not said to have been printed.
QString rowsWithoutBarcodeNote(const RunResult &r)
{
    QList<RowWithoutBarcode> out, maybe;
    for (const RowWithoutBarcode &row : r.withoutBarcode) {
        if (r.rowsOut.contains(row.row))
            out << row;
        else if (inSpans(r.unknownRows, row.row))
            maybe << row;
    }
    QString note;
    if (!out.isEmpty())
        note += QStringLiteral("\n\n次の %1 行はバーコードなしで印刷されました:\n").arg(out.size()) + listedRows(out);
    if (!maybe.isEmpty())
        note += QStringLiteral("\n\n次の %1 行はバーコードなしで送りました（印刷されたかどうかは分かりません）:\n").arg(maybe.size())
            + listedRows(maybe);
    return note;
}

} // namespace

int LabelTally::unknownLabels() const
{
    int n = 0;
    for (const RowSpan &s : unknown)
        n += s.last - s.first + 1;
    return n;
}

QString rowSpansText(const QList<RowSpan> &spans)
{
    QStringList parts;
    for (const RowSpan &s : spans)
        parts << (s.first == s.last ? QStringLiteral("%1行目").arg(s.first)
                                    : QStringLiteral("%1行目〜%2行目").arg(s.first).arg(s.last));
    return parts.join(QStringLiteral("、"));
}

QString screenGoOn(int row)
{
    return QStringLiteral("続きは「部分発行」で%1行目から印刷してください。").arg(row);
}

QString endMessage(const QList<RowWithoutBarcode> &rows)
{
    RunResult r;
    r.withoutBarcode = rows;
    for (const RowWithoutBarcode &row : rows)
        r.rowsOut << row.row;
    return kEndMessage + rowsWithoutBarcodeNote(r);
}

std::optional<QString> runReport(const RunResult &r, bool sayCapStop, const QString &printer)
{
    // The operator's own stop, at the dialog or at the check before the
    // first label, needs no box (the status line says it): never the end
    // message, which says the run got to the end.
    if (r.outcome == RunOutcome::SetupDeclined || r.outcome == RunOutcome::Declined)
        return std::nullopt;
    QString details = rowsWithoutBarcodeNote(r);
    if (r.printed > 0 && !r.destination.isEmpty())
        details += QStringLiteral("\n\n") + r.destination;
    if (r.outcome == RunOutcome::Finished && r.wanted == 0)
        return QStringLiteral("データに印刷する行がないため、ラベルは1枚も印刷していません。");
    const QString twice = r.twiceRows.isEmpty() ? QString() : QStringLiteral("\n\n") + progressText({0, 0, {}, r.twiceRows});
    if (r.outcome == RunOutcome::Finished) {
        // The count and the printer, unless the destination says them.
        const QString count = !printer.isEmpty() && r.destination.isEmpty()
            ? QStringLiteral("\n%1枚のラベルを「%2」に印刷しました。").arg(r.printed).arg(printer)
            : QString();
        return kEndMessage + count + twice + details;
    }
    // A run that stopped at the counter says nothing on the continuous
    // screen unless there is something to tell: labels that came out without
    // a barcode, or where the labels went. A cancel, and the counter stopping
    // a partial run inside its range, are always said. What is said starts
    // with how far the run got and where to go on, never with "印刷終了".
    if (r.outcome != RunOutcome::Cancelled && !sayCapStop && r.withoutBarcode.isEmpty() && r.destination.isEmpty()
        && r.twiceRows.isEmpty())
        return std::nullopt;
    const QString stopped = stopMessage(r);
    return (stopped.isEmpty() ? kEndMessage : stopped) + details;
}

QString progressText(const LabelTally &t, const GoOnFrom &goOn)
{
    QString text;
    if (!t.unknown.isEmpty()) {
        // Where the printer could not tell, the operator looks: going on
        // from a row past a label that may not have come out would lose it,
        // going on from the first of them may print some twice.
        text = t.printed ? QStringLiteral("この印刷で印刷が確かなラベルは%1枚です。").arg(t.printed)
                         : QStringLiteral("印刷が確かなラベルはありません。");
        text += QStringLiteral("%1のラベルは、印刷されたかどうか分かりません。プリンターから出たラベルを確かめ、"
                               "出ていない最初の行から続きを印刷してください。")
                    .arg(rowSpansText(t.unknown));
        if (t.nextRow > 0)
            text += QStringLiteral("何も出ていなければ、") + goOn(t.nextRow);
    } else if (t.printed == 0 && t.twice.isEmpty()) {
        text = QStringLiteral("ラベルは1枚も印刷していません。");
    } else if (t.nextRow == 0 && t.printed > 0) {
        text = QStringLiteral("この印刷では%1枚のラベルを印刷しました。指定の行はすべて印刷済みです。").arg(t.printed);
    } else if (t.printed > 0) {
        text = QStringLiteral("この印刷では%1枚のラベルを印刷しました。").arg(t.printed) + goOn(t.nextRow);
    }
    if (!t.twice.isEmpty())
        text += QStringLiteral("%1のラベルは、印刷システムが印刷を最初からやり直したため、重複して印刷された可能性があります"
                               "（重複）。プリンターから出たラベルを確かめてください。")
                    .arg(rowSpansText(t.twice));
    return text;
}

QString stopMessage(const RunResult &r)
{
    if (r.outcome == RunOutcome::Cancelled)
        return QStringLiteral("印刷をキャンセルしました。") + progressText(r.tally());
    if ((r.outcome == RunOutcome::StoppedAtCounter || r.outcome == RunOutcome::CapExhausted) && r.nextRow > 0)
        return QStringLiteral("1回の印刷は%1枚までのため、%2行目の前で止めました。")
                   .arg(kLabelsPerOpening)
                   .arg(r.nextRow)
            + progressText(r.tally());
    return {};
}

} // namespace zl::printing
