#include "datasource/DataSourceModel.h"

#include <QColor>

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

void DataSourceModel::setRowProblem(RowProblem problem)
{
    beginResetModel();
    m_problem = std::move(problem);
    m_cachedRow = -1;
    endResetModel();
}

const QStringList &DataSourceModel::rowValues(int row) const
{
    if (row != m_cachedRow) {
        // Judging the row takes its values past the header too.
        m_cachedValues = m_source.fields(row, m_problem ? -1 : m_source.columnCount());
        m_cachedProblem = m_problem ? m_problem(m_cachedValues) : QString();
        m_cachedRow = row;
    }
    return m_cachedValues;
}

QString DataSourceModel::rowProblem(int row) const
{
    if (row < 0 || row >= m_rows)
        return {};
    rowValues(row);
    return m_cachedProblem;
}

namespace {

QVariant mark(int role, const QString &problem)
{
    if (problem.isEmpty())
        return {};
    if (role == Qt::BackgroundRole)
        return QColor(255, 214, 214);
    if (role == Qt::ToolTipRole)
        return problem;
    return {};
}

} // namespace

QVariant DataSourceModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    if (role == Qt::BackgroundRole || role == Qt::ToolTipRole)
        return mark(role, rowProblem(index.row()));
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return {};
    const QStringList &values = rowValues(index.row());
    return index.column() < values.size() ? values.at(index.column()) : QString();
}

QVariant DataSourceModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical && (role == Qt::BackgroundRole || role == Qt::ToolTipRole))
        return mark(role, rowProblem(section));
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal) {
        const QStringList names = m_source.columnNames();
        return section >= 0 && section < names.size() ? QVariant(names.at(section)) : QVariant();
    }
    return section >= 0 && section < m_rows ? QVariant(section + 1) : QVariant();
}

} // namespace zl::datasource
