#include "layout/PrintAdjustment.h"

#include "common/Failure.h"
#include "settings/SettingsTable.h"

namespace zl::layout {

QString adjustmentName(int which)
{
    switch (which) {
    case 0:
        return QStringLiteral("横　位置調整");
    case 1:
        return QStringLiteral("縦　位置調整");
    default:
        return QStringLiteral("フォントサイズ");
    }
}

std::optional<int> parseAdjustment(const QString &text)
{
    const QString t = text.trimmed();
    int start = (t.startsWith(QLatin1Char('-')) || t.startsWith(QLatin1Char('+'))) ? 1 : 0;
    if (t.size() == start || t.size() - start > 3)
        return std::nullopt;
    for (int i = start; i < t.size(); ++i)
        if (t[i] < QLatin1Char('0') || t[i] > QLatin1Char('9'))
            return std::nullopt;
    const int n = t.toInt();
    if (n < kAdjustmentMin || n > kAdjustmentMax)
        return std::nullopt;
    return n;
}

QString adjustmentText(int position)
{
    return QString::number(position);
}

AdjustmentLoad adjustmentsFrom(const QStringList &sizes, const QStringList &all)
{
    const QStringList columns = settings::adjustmentColumns();
    if (sizes.size() != 3 || all.size() != columns.size())
        throw Failure(QStringLiteral("設定ファイル %1 の項目数が正しくありません。").arg(settings::kAdjustmentTable));
    AdjustmentLoad load;
    load.values = all;
    for (int i = 0; i < 3; ++i) {
        const QString &text = sizes[i];
        const int column = kFirstAdjustmentColumn + i;
        if (std::optional<int> n = parseAdjustment(text)) {
            load.positions[i] = *n;
            load.values[column] = text;
            continue;
        }
        const QString shown = text.isEmpty() ? QStringLiteral("（空）") : QStringLiteral("「%1」").arg(text);
        load.problems << QStringLiteral("「%1」の値%2は -20 から 20 までの整数ではありません。")
                             .arg(adjustmentName(i), shown);
        load.positions[i] = 0;
        load.values[column] = adjustmentText(0);
    }
    return load;
}

AdjustmentLoad loadAdjustments()
{
    const QStringList sizeColumns{QStringLiteral("SIZE1"), QStringLiteral("SIZE2"), QStringLiteral("SIZE3")};
    const QStringList sizes = settings::QuerySettingsTable(settings::kAdjustmentTable, sizeColumns).values();
    settings::StoredRecord stored = settings::readStoredRecord(settings::kAdjustmentTable, settings::adjustmentColumns());
    AdjustmentLoad load = adjustmentsFrom(sizes, stored.values);
    load.stored = std::move(stored);
    return load;
}

void saveAdjustments(const QStringList &values, const settings::StoredRecord &asRead)
{
    settings::RewriteSettingsTable(settings::kAdjustmentTable, settings::adjustmentColumns(), values, asRead);
}

} // namespace zl::layout
