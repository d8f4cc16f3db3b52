#include "sheets/ui/SheetList.h"

#include "common/Failure.h"
#include "sheets/SheetChoice.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QTreeView>
#include <QStyle>
#include <QVBoxLayout>

namespace zl::ui {

namespace {

enum Column { Maker, Part, Size, Labels, Paper, Description, Columns };

QString folded(QString text)
{
    return text.toCaseFolded().replace(QChar(0xD7), QLatin1Char('x')).remove(QLatin1Char(' '));
}

} // namespace

SheetTableModel::SheetTableModel(QObject *parent, const QList<printer::SheetTemplate> &sheets, const QStringList &recent)
    : QAbstractTableModel(parent), m_sheets(sheets)
{
    m_haystacks.reserve(sheets.size());
    for (const printer::SheetTemplate &s : sheets)
        m_haystacks << folded(s.maker + QLatin1Char('\n') + s.part + QLatin1Char('\n') + s.labelSizeText()
                              + QLatin1Char('\n') + s.id
                              // The maker as a Japanese shop names it.
                              + (s.maker == QLatin1String("Hisago") ? QStringLiteral("\nヒサゴ") : QString()));
    for (const QString &id : recent)
        for (qsizetype i = 0; i < sheets.size(); ++i)
            if (sheets[i].id == id)
                m_recent << i;
    m_order = m_recent;
    for (qsizetype i = 0; i < sheets.size(); ++i)
        if (!m_recent.contains(i))
            m_order << i;
    setFilter(QString());
}

void SheetTableModel::setFilter(const QString &text)
{
    // "86.4 x 42.3" and "86.4x42.3" both find the size; spaces between
    // words ask for each word.
    const QStringList words = text.simplified().toCaseFolded().replace(QChar(0xD7), QLatin1Char('x')).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    beginResetModel();
    m_rows = {-1};
    for (qsizetype i : std::as_const(m_order)) {
        bool all = true;
        for (const QString &w : words)
            if (w != QLatin1String("x") && !m_haystacks[i].contains(w)) {
                all = false;
                break;
            }
        if (all)
            m_rows << i;
    }
    endResetModel();
}

int SheetTableModel::rowOf(const QString &id) const
{
    for (qsizetype r = 0; r < m_rows.size(); ++r)
        if (m_rows[r] < 0 ? id.isEmpty() : m_sheets[m_rows[r]].id == id)
            return int(r);
    return -1;
}

int SheetTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int SheetTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : Columns;
}

QVariant SheetTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const qsizetype i = m_rows[index.row()];
    if (i < 0) {
        if (role == Qt::UserRole)
            return QString();
        if (role == Qt::DisplayRole && index.column() == Maker)
            return QStringLiteral("シートなし（1ページに1枚）");
        return {};
    }
    const printer::SheetTemplate &s = m_sheets[i];
    switch (role) {
    case Qt::UserRole:
        return s.id;
    case Qt::ToolTipRole:
        return s.name;
    case Qt::DisplayRole:
        switch (index.column()) {
        case Maker:
            return s.maker;
        case Part:
            // The program's own ids stay readable: older tables and scripts name them.
            return s.id == s.maker + QLatin1Char(' ') + s.part ? s.part : QStringLiteral("%1 (%2)").arg(s.part, s.id);
        case Size:
            return s.labelSizeText();
        case Labels:
            return s.positions();
        case Paper:
            return s.paperName;
        case Description:
            return s.description;
        }
        return {};
    case Qt::FontRole:
        if (m_recent.contains(i)) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return {};
    case Qt::TextAlignmentRole:
        return index.column() == Labels ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    }
    return {};
}

QVariant SheetTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char *const titles[] = {"メーカー", "品番", "ラベル (mm)", "面数", "用紙", "説明"};
    return section >= 0 && section < Columns ? QString::fromUtf8(titles[section]) : QVariant();
}

SheetList::SheetList(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("ListSheet"));
    m_filter = new QLineEdit(this);
    m_filter->setObjectName(QStringLiteral("TextSheetFilter"));
    m_filter->setPlaceholderText(QStringLiteral("メーカー・品番・大きさで絞り込み（例: ヒサゴ ELM、Avery 5160、86.4x42.3）"));
    m_filter->setClearButtonEnabled(true);
    m_view = new QTreeView(this);
    m_view->setObjectName(QStringLiteral("TreeSheets"));
    m_view->setRootIsDecorated(false);
    m_view->setUniformRowHeights(true);
    m_view->setAllColumnsShowFocus(true);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_model = new SheetTableModel(this, printer::sheetTemplates(), printer::recentSheets());
    m_view->setModel(m_model);
    // Widths from the font rather than from every row: a thousand rows
    // measured would slow the screen's opening.
    const QFontMetrics fm(font());
    const int widths[] = {fm.horizontalAdvance(QStringLiteral("Online Labels")), fm.horizontalAdvance(QStringLiteral("ELM000 (A4-00)")),
                          fm.horizontalAdvance(QStringLiteral("ラベル (mm)_")), fm.horizontalAdvance(QStringLiteral("面数__")),
                          fm.horizontalAdvance(QStringLiteral("US Letter_"))};
    for (int c = 0; c < int(std::size(widths)); ++c)
        m_view->setColumnWidth(c, widths[c] + 12);
    m_view->header()->setStretchLastSection(true);
    // Maker, part, size and labels a sheet in view without scrolling: what
    // a shop tells its sheets apart by.
    int shown = 2 * m_view->frameWidth() + style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    for (int c = 0; c < 4; ++c)
        shown += widths[c] + 12;
    setMinimumWidth(shown);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_filter);
    layout->addWidget(m_view, 1);

    QString stored;
    try {
        stored = printer::readSheetChoice().sheetId;
    } catch (const Failure &) {
    }
    select(stored);
    connect(m_filter, &QLineEdit::textChanged, this, [this](const QString &text) {
        m_model->setFilter(text);
        m_view->setFirstColumnSpanned(0, QModelIndex(), true);
        select(m_chosen);
    });
    m_view->setFirstColumnSpanned(0, QModelIndex(), true); // 「シートなし」 across the columns
    connect(m_view->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex &current) {
        if (m_quiet || !current.isValid())
            return;
        m_chosen = current.data(Qt::UserRole).toString();
        emit sheetChosen(m_chosen);
    });
}

QString SheetList::sheetId() const
{
    return m_chosen;
}

void SheetList::setSheetId(const QString &id)
{
    select(id);
}

void SheetList::select(const QString &id)
{
    const printer::SheetTemplate *sheet = printer::findSheet(id);
    m_chosen = sheet ? sheet->id : QString();
    m_quiet = true;
    const int row = m_model->rowOf(m_chosen);
    if (row >= 0) {
        const QModelIndex index = m_model->index(row, 0);
        m_view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        m_view->scrollTo(index);
    } else {
        // Filtered out: still the choice, with no row shown for it.
        m_view->selectionModel()->clearSelection();
        m_view->selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    }
    m_quiet = false;
}

} // namespace zl::ui
