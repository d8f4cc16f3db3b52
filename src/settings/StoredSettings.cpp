#include "settings/StoredSettings.h"

namespace zl::settings {

namespace {
// The adjustment table's whole width: its data line is read past the
// columns used, as every reader of it always has.
constexpr int kAdjustmentFieldCount = 99;
} // namespace

StoredDataSource readDataSource()
{
    const QStringList ds = ReadSettingsRecords(kDataSourceTable, 2);
    return {ds[0], ds[1]};
}

void writeDataSource(const StoredDataSource &source)
{
    RewriteSettingsTable(kDataSourceTable, dataSourceColumns(), {source.folder, source.file});
}

StoredLayout readLayout()
{
    const QStringList layout = ReadSettingsRecords(kLayoutTable, 4);
    return {layout[0], layout[1], layout[2], layout[3]};
}

StoredAdjustments readAdjustments()
{
    const QStringList adj = ReadSettingsRecords(kAdjustmentTable, kAdjustmentFieldCount);
    return {adj[0], adj[1], adj[2], adj[3], adj[4]};
}

} // namespace zl::settings
