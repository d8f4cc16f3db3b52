#pragma once
// The data file as a table for the print screens' grid: one row per record,
// one column per header column. Values are decoded when the view asks for
// them, so opening a file of a million records makes no text up front.
#include "datasource/DataSource.h"

#include <QAbstractTableModel>
#include <functional>

namespace zl::datasource {

class DataSourceModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit DataSourceModel(DataSource source, QObject *parent = nullptr);

    const DataSource &source() const { return m_source; }

    // What keeps a record from printing as it stands, from all of its
    // values; empty when nothing does. Such a row is marked: its cells
    // tinted, the reason as their tip and the row number's.
    using RowProblem = std::function<QString(const QStringList &values)>;
    void setRowProblem(RowProblem problem);
    QString rowProblem(int row) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    // Column names across the top, record numbers from 1 down the side.
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    const QStringList &rowValues(int row) const;

    DataSource m_source;
    int m_rows;
    RowProblem m_problem;
    // A view asks for a row's cells one after another; decode the row once.
    mutable int m_cachedRow = -1;
    mutable QStringList m_cachedValues;
    mutable QString m_cachedProblem;
};

} // namespace zl::datasource
