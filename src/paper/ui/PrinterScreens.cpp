#include "paper/ui/PrinterScreens.h"

#include "ui/ScreenPlacement.h"
#include "ui/Dialogs.h"
#include "ui/ScreenRegistry.h"
#include "ui/Widgets.h"
#include "ui/WaitingWindow.h"
#include "common/Failure.h"
#include "paper/PaperSelection.h"
#include "printer/PrinterChoice.h"
#include "printer/PrinterSetup.h"
#include "sheets/SheetChoice.h"
#include "sheets/ui/SheetList.h"
#include "cups/ui/SystemPrintSetupDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <utility>

namespace zl::ui {

namespace {
const QString kForm7 = QStringLiteral("Form7");
const QString kForm17 = QStringLiteral("Form17");

// The settings values a screen carries but does not show.
QLineEdit *holder(QWidget *parent, const char *name, const QString &value)
{
    auto *e = named(new QLineEdit(value, parent), name);
    e->hide();
    return e;
}
} // namespace

// Shows the paper list's rows (name, size, code, between tabs) as columns
// that line up, each as wide as its widest entry: a tab stop cut names
// ("ヒサゴ ELM0") and put the codes of long and short names apart.
class PaperColumns : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void measure(const QStringList &rows, const QFontMetrics &metrics)
    {
        m_widths.clear();
        for (const QString &row : rows) {
            const QStringList cells = row.split(QLatin1Char('\t'));
            for (int i = 0; i < cells.size(); ++i) {
                if (i == m_widths.size())
                    m_widths << 0;
                m_widths[i] = std::max(m_widths[i], metrics.horizontalAdvance(cells[i]));
            }
        }
        m_gap = metrics.horizontalAdvance(QStringLiteral("MM"));
    }
    // What the widest row takes, without the item's own margins.
    int rowWidth() const
    {
        int width = 0;
        for (int w : m_widths)
            width += w + m_gap;
        return width;
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem item = option;
        initStyleOption(&item, index);
        const QStringList cells = item.text.split(QLatin1Char('\t'));
        item.text.clear();
        QStyle *style = item.widget ? item.widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &item, painter, item.widget);
        const QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &item, item.widget);
        const QPalette::ColorGroup group = item.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
        painter->save();
        painter->setFont(item.font);
        painter->setPen(item.palette.color(group, item.state & QStyle::State_Selected ? QPalette::HighlightedText
                                                                                      : QPalette::Text));
        int x = text.left();
        for (int i = 0; i < cells.size() && i < m_widths.size(); ++i) {
            // The code, last, is a number: right-aligned, its digits line up.
            const bool last = i == m_widths.size() - 1 && i > 0;
            painter->drawText(QRect(x, text.top(), m_widths[i], text.height()),
                              Qt::AlignVCenter | (last ? Qt::AlignRight : Qt::AlignLeft), cells[i]);
            x += m_widths[i] + m_gap;
        }
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        // The text's margins on either side, as the style draws an item's text.
        const QWidget *view = option.widget;
        const QStyle *style = view ? view->style() : QApplication::style();
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
        size.setWidth(rowWidth() + 2 * margin);
        return size;
    }

private:
    QList<int> m_widths;
    int m_gap = 0;
};

PaperSelectionScreen::PaperSelectionScreen(QWidget *host) : QWidget(host, Qt::Window)
{
    setWindowTitle(QStringLiteral("プリンター設定"));
    const printer::LayoutRow row = printer::readLayoutRow();

    auto *heading = named(new QLabel(QStringLiteral("プリンターを選択してください。"), this), "label1");
    auto *setup = named(new QPushButton(QStringLiteral("プリンターの設定"), this), "Command2");
    auto *paperHeading = named(new QLabel(QStringLiteral("用紙サイズを選択してください"), this), "Label3");
    m_papers = named(new QListWidget(this), "List2");
    m_papers->setProperty("index", 0);
    m_paperColumns = new PaperColumns(m_papers);
    m_papers->setItemDelegate(m_paperColumns);
    m_codes = named(new QListWidget(this), "List2");
    m_codes->setProperty("index", 1);
    m_codes->hide();
    auto *saveButton = named(new QPushButton(QStringLiteral("用紙設定"), this), "Command3");
    setDefaultButton(saveButton);
    auto *note = named(new QLabel(QStringLiteral("※プリンターの設定のみ変更可能です"), this), "Label4");
    m_notice = named(new QLabel(this), "LabelNotice");
    m_notice->setWordWrap(true);
    m_notice->setStyleSheet(QStringLiteral("color: red;"));
    m_text1 = holder(this, "Text1", row.title1);
    m_text2 = holder(this, "Text2", row.title2);
    m_text5 = holder(this, "Text5", row.yoshi);
    m_text4 = holder(this, "Text4", row.printer);

    fillPaperList();
    // A printer not heard from yet lists its papers once it has been.
    connect(&printer::PrinterInForceNews::instance(), &printer::PrinterInForceNews::changed, this, [this] {
        if (m_papersAsked)
            fillPaperList();
    });

    auto *layout = new QGridLayout(this);
    layout->addWidget(heading, 0, 0);
    layout->addWidget(setup, 1, 0, Qt::AlignTop);
    layout->addWidget(note, 2, 0, Qt::AlignBottom);
    layout->addWidget(paperHeading, 0, 1);
    layout->addWidget(m_papers, 1, 1, 2, 1);
    layout->addWidget(m_notice, 3, 0);
    layout->addWidget(saveButton, 3, 1, Qt::AlignRight);
    layout->setColumnStretch(1, 1);
    // Label sheets for office printers, beside the printer's papers.
    m_sheets = new SheetList(this);
    // The paper to go back to is kept with the sheet, so leaving it brings
    // that paper back whenever it happens, this screen closed in between.
    m_paperBeforeSheet = printer::readPaperBeforeSheet();
    layout->addWidget(named(new QLabel(QStringLiteral("ラベルシート"), this), "LabelSheet"), 0, 2);
    layout->addWidget(m_sheets, 1, 2, 2, 1);
    layout->setColumnStretch(2, 1);
    // The layout fills any label larger than itself unless the operator
    // wants it at its own size in the label's corner.
    m_actualSize = named(new QCheckBox(QStringLiteral("原寸で印刷"), this), "CheckActualSize");
    m_actualSize->setToolTip(QStringLiteral("50 x 30 mm より大きいラベルにも、拡大せず原寸でラベルの左上に印刷します。"
                                            "小さいラベルにはいつも縮小して印刷します。"));
    try {
        m_actualSize->setChecked(printer::readLabelScale() == printer::LabelScale::ActualSize);
    } catch (const Failure &) {
        // Saving writes a readable value again.
    }
    layout->addWidget(m_actualSize, 3, 2);

    // As wide as the papers' names need, never narrower than it always was.
    resize(QSize(twips(8000), twips(3000)).expandedTo(sizeHint()));
    move(twips(10), twips(10));

    connect(m_papers, &QListWidget::itemSelectionChanged, this, &PaperSelectionScreen::choosePaper);
    // The paper in use is shown chosen before anything is stored for it: a
    // click on it chooses it all the same.
    connect(m_papers, &QListWidget::itemClicked, this, &PaperSelectionScreen::choosePaper);
    connect(m_sheets, &SheetList::sheetChosen, this, &PaperSelectionScreen::chooseSheet);
    connect(setup, &QPushButton::clicked, this, &PaperSelectionScreen::openPrinterSettings);
    connect(saveButton, &QPushButton::clicked, this, &PaperSelectionScreen::save);
}

void PaperSelectionScreen::choosePaper()
{
    for (int i = 0; i < m_papers->count(); ++i) {
        if (m_papers->item(i)->isSelected() && i < m_codes->count())
            m_text5->setText(m_codes->item(i)->text());
    }
    // Another paper than the sheet's is one label a page again.
    const printer::SheetTemplate *sheet = printer::findSheet(m_sheets->sheetId());
    if (sheet && m_text5->text() != QString::number(sheet->paperCode)) {
        m_paperBeforeSheet.clear();
        m_sheets->setSheetId(QString());
    }
}

void PaperSelectionScreen::chooseSheet(const QString &sheetId)
{
    const printer::SheetTemplate *sheet = printer::findSheet(sheetId);
    if (!sheet) {
        // Leaving the sheet: the paper chosen before it is in force again.
        const QString before = std::exchange(m_paperBeforeSheet, QString());
        if (before.isEmpty())
            return;
        for (int i = 0; i < m_codes->count(); ++i)
            if (m_codes->item(i)->text() == before) {
                m_papers->setCurrentRow(i);
                return;
            }
        // None of this printer's papers ("_", the printer's own, or another
        // printer's): kept as it was, with no paper of the list chosen.
        const QSignalBlocker quiet(m_papers);
        m_papers->clearSelection();
        m_text5->setText(before);
        return;
    }
    const QString code = QString::number(sheet->paperCode);
    if (m_paperBeforeSheet.isEmpty() && m_text5->text() != code)
        m_paperBeforeSheet = m_text5->text();
    for (int i = 0; i < m_codes->count(); ++i)
        if (m_codes->item(i)->text() == code) {
            m_papers->setCurrentRow(i);
            return;
        }
    m_sheets->setSheetId(QString());
    showMessage(this,
                QStringLiteral("プリンター「%1」はA4用紙を使えないため、ラベルシートには印刷できません。"
                               "「プリンターの設定」でA4用紙のプリンターを選んでください。")
                    .arg(printer::currentPrinter() ? printer::currentPrinter()->deviceName() : QString()),
                QStringLiteral("プリンター設定"), Exclamation);
}

void PaperSelectionScreen::openPrinterSettings()
{
    using namespace printer;
    // On this system a print setup means the operator's own printer
    // defaults: the printer and paper confirmed here are the ones every
    // later start takes (a queue becomes the user's default for every other
    // program too), and the current printer follows.
    if (!ShowPrinterSetup(PD_PRINTSETUP | PD_NOPAGENUMS | PD_NOSELECTION | PD_USEDEVMODECOPIESANDCOLLATE
                              | PD_HIDEPRINTTOFILE,
                          this))
        return;
    if (Printer *chosen = currentPrinter()) {
        try {
            keepPrinterChoice(*chosen);
        } catch (const Failure &f) {
            showMessage(this, f.description(), QStringLiteral("プリンター設定"), Critical);
        }
    }
    fillPaperList();
}

void PaperSelectionScreen::fillPaperList()
{
    // Whether the printer is still being asked, before its papers are read:
    // an answer that comes in between only makes the list filled again.
    const printer::PrinterCollection *all = printer::printers();
    const bool noPrinterYet = all && all->stillAsking();
    const printer::Printer *p = printer::currentPrinter();
    m_papersAsked = noPrinterYet || (p && p->stillAsking());
    // The whole list comes from one question to the printer; its paper size
    // is left as it was, so opening the list changes nothing.
    const printer::PaperChoices choices = printer::paperChoices(p);
    const QSignalBlocker quiet(m_papers);
    m_papers->clear();
    m_codes->clear();
    // The name people know the paper by comes first, where it is seen
    // without scrolling; the code the tables store comes last.
    m_papers->addItems(choices.rows);
    m_codes->addItems(choices.codes);
    // Every name whole: the list is as wide as its widest row.
    m_paperColumns->measure(choices.rows, m_papers->fontMetrics());
    const QSize row = m_papers->count() ? m_papers->sizeHintForIndex(m_papers->model()->index(0, 0)) : QSize();
    m_papers->setMinimumWidth(row.width() + 2 * m_papers->frameWidth()
                              + m_papers->verticalScrollBar()->sizeHint().width());
    // A queue that will not turn labels into the printer's language says so
    // before any label is printed.
    m_notice->setText(m_papersAsked ? QStringLiteral("プリンターに用紙を確認しています…")
                      : p           ? p->printingNotice()
                                    : QString());
    m_notice->setVisible(!m_notice->text().isEmpty());
    // The paper in use is the one shown chosen: the stored one, or, where
    // none of the list is stored ("_"), the printer's own, which a run
    // then takes.
    int inUse = int(choices.codes.indexOf(m_text5->text()));
    if (inUse < 0 && p && p->paperSize())
        inUse = int(choices.codes.indexOf(QString::number(*p->paperSize())));
    if (inUse >= 0) {
        m_papers->setCurrentRow(inUse);
        m_papers->scrollToItem(m_papers->item(inUse));
    }
}

void PaperSelectionScreen::save()
{
    for (QLineEdit *e : {m_text1, m_text2, m_text5}) {
        if (e->text().isEmpty())
            e->setText(QStringLiteral("_"));
    }
    try {
        printer::chooseSheet(m_sheets->sheetId(), m_paperBeforeSheet);
        printer::saveLabelScale(m_actualSize->isChecked() ? printer::LabelScale::ActualSize : printer::LabelScale::Fit);
        printer::savePaperChoice({m_text1->text(), m_text2->text(), m_text5->text(), m_text4->text()});
    } catch (const Failure &f) {
        // What was saved before the failure is in force all the same.
        printer::PrinterInForceNews::instance().tell();
        // The screen stays open so the operator can try again.
        showMessage(this, f.description(), QStringLiteral("設定変更"), Critical);
        return;
    }
    close();
    showMessage(nullptr, QStringLiteral("設定が変更されました｡"), QStringLiteral("設定変更"), Information);
}

ConnectionTypeScreen::ConnectionTypeScreen(QWidget *host) : QWidget(host, Qt::Window)
{
    setWindowTitle(QStringLiteral("ﾌﾟﾘﾝﾀｰ接続タイプ設定"));
    const printer::LayoutRow row = printer::readLayoutRow();

    auto *heading = named(new QLabel(QStringLiteral("プリンター接続タイプ設定"), this), "Label1");
    QFont hf = heading->font();
    hf.setBold(true);
    heading->setFont(hf);
    m_fixed = named(new QRadioButton(QStringLiteral("ｽﾀﾝﾄﾞｱﾛﾝ接続(LPT,USB) 通常使用するﾌﾟﾘﾝﾀｰで出力【固定】"), this),
                    "Option1");
    m_fixed->setProperty("index", 0);
    m_variable = named(new QRadioButton(QStringLiteral("通常使用するプリンター以外又はﾈｯﾄﾜｰｸ共有型接続 【変動】"), this),
                       "Option1");
    m_variable->setProperty("index", 1);
    auto *saveButton = named(new QPushButton(QStringLiteral("設定"), this), "Command1");
    setDefaultButton(saveButton);
    m_label2 = named(new QLabel(this), "Label2");
    m_label2->setStyleSheet(QStringLiteral("color: red;"));
    m_label2->setWordWrap(true);
    m_text1 = holder(this, "Text1", row.title1);
    m_text2 = holder(this, "Text2", row.title2);
    m_text3 = holder(this, "Text3", row.yoshi);
    m_text5 = holder(this, "Text5", row.printer);
    m_text4 = holder(this, "Text4", QString());

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(m_fixed);
    layout->addWidget(m_variable);
    layout->addStretch(1);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_label2, 1);
    bottom->addWidget(saveButton);
    layout->addLayout(bottom);

    resize(twips(6200), twips(3000));
    move(twips(300), twips(300));

    connect(m_fixed, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            m_text4->clear();
    });
    connect(m_variable, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            m_text4->setText(QStringLiteral("999"));
    });
    connect(saveButton, &QPushButton::clicked, this, &ConnectionTypeScreen::save);

    bool readable = true;
    const bool variable = printer::isVariableConnection(row.printer, &readable);
    (variable ? m_variable : m_fixed)->setChecked(true);
    if (!readable)
        m_label2->setText(QStringLiteral("保存されている接続タイプ「%1」が読み取れないため、【固定】として表示しています。")
                              .arg(row.printer));

    saveSettingsOnceKnown();
}

void ConnectionTypeScreen::saveSettingsOnceKnown()
{
    // The settings a run goes back to are the printer's as the printing
    // system tells them: taken once it has, the screen open meanwhile.
    const printer::PrinterCollection *all = printer::printers();
    const bool noPrinterYet = all && all->stillAsking();
    const printer::Printer *p = printer::currentPrinter();
    if (noPrinterYet || (p && p->stillAsking())) {
        if (!m_waitingForPrinter)
            m_waitingForPrinter = connect(&printer::PrinterInForceNews::instance(),
                                          &printer::PrinterInForceNews::changed, this,
                                          &ConnectionTypeScreen::saveSettingsOnceKnown);
        return;
    }
    const bool opened = !m_waitingForPrinter;
    disconnect(m_waitingForPrinter);
    try {
        printer::SavePrinterSettings();
    } catch (const Failure &) {
        // At the opening the menu says so; later, the screen does.
        if (opened)
            throw;
        m_label2->setText(QStringLiteral("プリンターエラー"));
    }
}

void ConnectionTypeScreen::save()
{
    const bool variable = !m_text4->text().isEmpty();
    try {
        printer::saveConnectionType({m_text1->text(), m_text2->text(), m_text3->text(), m_text5->text()}, variable);
        if (!variable)
            withWaitingWindow(this, [] { return ScreenRegistry::instance().show(kForm7); });
    } catch (const Failure &) {
        m_label2->setText(QStringLiteral("プリンター設定エラー1525"));
        return;
    }
    close();
}

void registerPrinterScreens(ScreenRegistry &registry)
{
    registry.add(kForm7, [](QWidget *host) { return new PaperSelectionScreen(host); });
    registry.add(kForm17, [](QWidget *host) { return new ConnectionTypeScreen(host); });
}

} // namespace zl::ui
