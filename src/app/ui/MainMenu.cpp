#include "app/ui/MainMenu.h"

#include "app/Startup.h"
#include "datasource/DataSource.h"
#include "paper/PaperSelection.h"
#include "printer/PrinterNews.h"
#include "ui/ScreenRegistry.h"
#include "ui/Widgets.h"
#include "ui/WaitingWindow.h"
#include "common/Failure.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace zl::ui {

namespace {


// A button whose screen is not part of this build stays disabled.
void enableFor(QPushButton *b, const QString &formName)
{
    const bool present = ScreenRegistry::instance().has(formName);
    b->setEnabled(present);
    if (!present)
        b->setToolTip(QStringLiteral("この機能はまだ利用できません。"));
}
} // namespace

MainMenu::MainMenu(const QString &workingFolder, QWidget *parent)
    : QWidget(parent), m_workingFolder(workingFolder)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("メインメニュー　　Va2.0.6"));
    setFixedSize(twips(8835), twips(6630));

    auto *title = label(this, "Label2", QStringLiteral("Zenlabo メインメニュー"));
    QFont tf = title->font();
    tf.setPointSizeF(16);
    tf.setBold(true);
    title->setFont(tf);

    auto *frame = new QGroupBox(QStringLiteral("発行前確認"), this);
    frame->setObjectName(QStringLiteral("Frame1"));
    auto *grid = new QGridLayout(frame);
    grid->setColumnStretch(1, 1);

    grid->addWidget(label(frame, "Label1", QStringLiteral("データ件数")), 0, 0);
    auto *command3 = button(frame, "Command3", QStringLiteral("CSV接続　==>　件数表示"));
    grid->addWidget(command3, 0, 1, Qt::AlignLeft);

    grid->addWidget(label(frame, "Label6", QStringLiteral("ファイルパス")), 1, 0);
    m_label7 = label(frame, "Label7", QString());
    m_label7->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(m_label7, 1, 1);

    grid->addWidget(label(frame, "Label14", QStringLiteral("ファイル名")), 2, 0);
    m_label15 = label(frame, "Label15", QString());
    m_label15->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(m_label15, 2, 1);

    grid->addWidget(label(frame, "Label8", QStringLiteral("出力プリンター設定")), 3, 0);
    auto *command4 = button(frame, "Command4", QStringLiteral("プリンター/用紙設定"));
    auto *printerRow = new QHBoxLayout;
    printerRow->addWidget(command4);
    QLabel *label9 = label(frame, "Label9", QString());
    // The printer's and the paper's names can be long: the line wraps.
    label9->setWordWrap(true);
    printerRow->addWidget(label9, 1);
    grid->addLayout(printerRow, 3, 1);

    grid->addWidget(label(frame, "Label10", QStringLiteral("OSバージョン")), 4, 0);
    m_label11 = label(frame, "Label11", QString());
    m_label11->setWordWrap(true);
    grid->addWidget(m_label11, 4, 1);

    m_label12 = label(this, "Label12", QString());
    m_label12->setStyleSheet(QStringLiteral("color: red;"));
    m_label12->setWordWrap(true);

    auto *combo = new QComboBox(this);
    combo->setObjectName(QStringLiteral("Combo1"));
    combo->addItems({QStringLiteral("A3"), QStringLiteral("A4"), QStringLiteral("A4SMALL"), QStringLiteral("A5"),
                      QStringLiteral("B4"), QStringLiteral("B5"), QStringLiteral("ハガキ")});

    auto *command1 = button(this, "Command1", QStringLiteral("発行開始"));
    auto *command5 = button(this, "Command5", QStringLiteral("部分発行"));
    auto *command2 = button(this, "Command2", QStringLiteral("用紙変更"));
    // The paper is chosen on the printer screen; this button never had an action.
    command2->setEnabled(false);
    for (QPushButton *b : {command1, command5}) {
        QFont f = b->font();
        f.setPointSizeF(12);
        f.setBold(true);
        b->setFont(f);
        b->setMinimumHeight(40);
    }

    m_label4 = label(this, "Label4", QString());
    QFont lf = m_label4->font();
    lf.setBold(true);
    m_label4->setFont(lf);

    m_textuser = new QLineEdit(QStringLiteral("Text1"), this);
    m_textuser->setObjectName(QStringLiteral("Textuser"));
    m_textdb = new QLineEdit(QStringLiteral("Text1"), this);
    m_textdb->setObjectName(QStringLiteral("Textdb"));
    auto *textpass = new QLineEdit(QStringLiteral("Text1"), this);
    textpass->setObjectName(QStringLiteral("Textpass"));
    auto *texttb = new QLineEdit(QStringLiteral("Text1"), this);
    texttb->setObjectName(QStringLiteral("Texttb"));
    for (QLineEdit *holder : {m_textuser, m_textdb, textpass, texttb})
        holder->hide();

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addWidget(frame);
    layout->addWidget(m_label12);
    auto *paperRow = new QHBoxLayout;
    paperRow->addWidget(label(this, "Label4caption", QStringLiteral("使用中のレイアウト:")));
    paperRow->addWidget(m_label4, 1);
    paperRow->addWidget(combo);
    paperRow->addWidget(command2);
    layout->addLayout(paperRow);
    auto *runRow = new QHBoxLayout;
    runRow->addWidget(command1);
    runRow->addWidget(command5);
    layout->addLayout(runRow);
    auto *footer = new QHBoxLayout;
    footer->addWidget(label(this, "Label3", QStringLiteral("DB by CSV")));
    footer->addStretch(1);
    footer->addWidget(label(this, "Label5", QStringLiteral("Tavizo")));
    layout->addLayout(footer);

    enableFor(command1, QStringLiteral("F_CustInput"));
    enableFor(command3, QStringLiteral("Form6"));
    enableFor(command4, QStringLiteral("Form17"));
    enableFor(command5, QStringLiteral("F_CustInput2"));

    connect(command1, &QPushButton::clicked, this, [this] { openWithWaiting(QStringLiteral("F_CustInput"), {}); });
    connect(command3, &QPushButton::clicked, this, [this] {
        openWithWaiting(QStringLiteral("Form6"), QStringLiteral("DBの設定が不正です。設定し直して下さい"));
    });
    connect(command4, &QPushButton::clicked, this,
            [this] { openWithWaiting(QStringLiteral("Form17"), QStringLiteral("プリンターエラー")); });
    connect(command5, &QPushButton::clicked, this, &MainMenu::openPartialRun);

    load();
}

void MainMenu::load()
{
    m_view = app::runStartup(m_workingFolder);
    m_label11->setText(m_view.label11);
    m_label12->setText(m_view.label12);
    showSettings();
    // The panel shows what the next run takes: a data source, layout,
    // printer or paper saved on any screen shows here at once, not only in
    // a menu loaded afterwards.
    connect(&printer::PrinterInForceNews::instance(), &printer::PrinterInForceNews::changed, this, [this] {
        // A table that cannot be read now keeps what was shown; the screen
        // that wrote it has said what went wrong.
        app::readShownSettings(m_view, [](const Failure &) {});
        showSettings();
    });
    if (auto *printerInForce = findChild<QLabel *>(QStringLiteral("Label9")))
        showPrinterInForce(printerInForce);
}

void MainMenu::showSettings()
{
    m_label4->setText(m_view.label4);
    if (!m_view.textuser.isNull())
        m_textuser->setText(m_view.textuser);
    if (!m_view.textdb.isNull())
        m_textdb->setText(m_view.textdb);
    // The whole folder, as the program will look for it.
    m_label7->setText(QDir::toNativeSeparators(datasource::dataFolderPath(m_view.label7)));
    m_label15->setText(m_view.label15);
}

void MainMenu::showPrinterInForce(QLabel *line)
{
    // What is known now (「確認しています…」 while the printing system is
    // asked, on a worker), and again whenever a printer, paper or sheet is
    // chosen or an answer comes in.
    const auto show = [line] { line->setText(printer::printerInForceText()); };
    connect(&printer::PrinterInForceNews::instance(), &printer::PrinterInForceNews::changed, line, show);
    show();
}

void MainMenu::openWithWaiting(const QString &formName, const QString &failureText)
{
    try {
        withWaitingWindow(this, [&] { return ScreenRegistry::instance().show(formName); });
    } catch (const Failure &f) {
        // The print screens report their own opening errors; anything that
        // still escapes is shown here rather than ending the program.
        m_label12->setText(failureText.isEmpty() ? f.description() : failureText);
    }
}

void MainMenu::openPartialRun()
{
    ScreenRegistry::instance().show(QStringLiteral("F_CustInput2"));
}

} // namespace zl::ui
