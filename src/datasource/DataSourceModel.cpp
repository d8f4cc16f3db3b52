#include "datasource/DataSourceModel.h"

#include <limits>

namespace zl::datasource {

DataSourceModel::DataSourceModel(DataSource source, QObject *parent)
    : QAbstractTableModel(parent), m_source(std::move(source)),
      // Item views count rows in int; a file beyond that shows its first 2^31 - 1 records.
      m_rows(int(std::min<qsizetype>(m_source.recordCount(), std::numeric_limits<int>::max())))
{
}

int DataSourceModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int DataSourceModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_source.columnCount();
}

const QStringList &DataSourceModel::rowValues(int row) const
{
    if (row != m_cachedRow) {
        m_cachedValues = m_source.fields(row, m_source.columnCount());
        m_cachedRow = row;
    }
    return m_cachedValues;
}

QVariant DataSourceModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return {};
    const QStringList &values = rowValues(index.row());
    return index.column() < values.size() ? values.at(index.column()) : QString();
}

QVariant DataSourceModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal) {
        const QStringList names = m_source.columnNames();
        return section >= 0 && section < names.size() ? QVariant(names.at(section)) : QVariant();
    }
    return section >= 0 && section < m_rows ? QVariant(section + 1) : QVariant();
}

} // namespace zl::datasource
