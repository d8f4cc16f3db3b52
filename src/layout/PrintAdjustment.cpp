#include "layout/PrintAdjustment.h"

#include "common/Failure.h"
#include "label/Adjustments.h"
#include "settings/SettingsTable.h"

namespace zl::layout {

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
        const std::optional<double> n = label::adjustmentNumber(text);
        if (n && label::adjustmentInRange(*n)) {
            load.positions[i] = label::adjustmentPosition(*n);
            load.values[column] = text;
            continue;
        }
        const QString shown = text.isEmpty() ? QStringLiteral("（空）") : QStringLiteral("「%1」").arg(text);
        load.problems << QStringLiteral("「%1」の値%2は %3 から %4 までの数値ではありません。")
                             .arg(label::adjustmentName(i), shown)
                             .arg(label::kAdjustmentMin)
                             .arg(label::kAdjustmentMax);
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
