#pragma once
// The label sheets beside the printer's papers on the printer and paper
// screen: a table a shop finds its product in by typing its maker, part
// number or label size. "No sheet" first, the sheets chosen last next, then
// every sheet by maker and part.
#include <QAbstractTableModel>
#include <QWidget>

class QLineEdit;
class QTreeView;

namespace zl::printer {
struct SheetTemplate;
}

namespace zl::ui {

// The rows: maker, part, label size, labels a sheet, paper, description.
// Qt::UserRole of any column is the sheet's id (empty for no sheet).
class SheetTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    SheetTableModel(QObject *parent, const QList<printer::SheetTemplate> &sheets, const QStringList &recent);
    // Keeps the sheets every typed word is found in (maker, part or label
    // size, letter case and "×" ignored); "no sheet" always stays.
    void setFilter(const QString &text);
    // The row of this sheet, or -1 when it is filtered out.
    int rowOf(const QString &id) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const QList<printer::SheetTemplate> &m_sheets;
    QList<qsizetype> m_order;  // the recent sheets first, then the rest, as listed
    QList<qsizetype> m_recent; // the sheets chosen last, m_order's first
    QStringList m_haystacks;   // per sheet, what typing is matched against
    QList<qsizetype> m_rows;   // m_order's entries shown; -1 is "no sheet"
};

class SheetList : public QWidget {
    Q_OBJECT
public:
    // Shows the stored choice selected (none when it cannot be read).
    explicit SheetList(QWidget *parent);
    // The chosen sheet's id; empty for no sheet.
    QString sheetId() const;
    void setSheetId(const QString &id);
    QLineEdit *filter() const { return m_filter; }
    QTreeView *view() const { return m_view; }

signals:
    // The operator picked an entry (not sent for setSheetId).
    void sheetChosen(const QString &id);

private:
    void select(const QString &id);

    QLineEdit *m_filter = nullptr;
    QTreeView *m_view = nullptr;
    SheetTableModel *m_model = nullptr;
    QString m_chosen;
    bool m_quiet = false;
};

} // namespace zl::ui
