#include "app/ui/MainWindow.h"

#include "app/ui/MainMenu.h"

#include "ui/Dialogs.h"
#include "ui/ScreenPlacement.h"
#include "ui/ScreenRegistry.h"
#include "common/Failure.h"

#include <QDateTime>
#include <QLabel>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>

namespace zl::ui {

MainWindow::MainWindow(const QString &workingFolder, QWidget *parent)
    : QMainWindow(parent), m_workingFolder(workingFolder)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Zenlabo  Va2.0.6　ｵﾝﾗｲﾝｿﾌﾄ"));
    ScreenRegistry::instance().setHost(this);

    m_mdi = new QMdiArea(this);
    m_mdi->setObjectName(QStringLiteral("mdiArea"));
    setCentralWidget(m_mdi);

    auto *bar = menuBar();
    auto *file = bar->addMenu(QStringLiteral("ﾌｧｲﾙ(&F)"));
    file->setObjectName(QStringLiteral("mnuFile"));
    auto *exit = file->addAction(QStringLiteral("終了(&X)"));
    exit->setObjectName(QStringLiteral("mnuFileExit"));
    connect(exit, &QAction::triggered, this, &QWidget::close);

    auto *settings = bar->addMenu(QStringLiteral("設定(&S)"));
    settings->setObjectName(QStringLiteral("set"));
    screenItem(settings, "set1", QStringLiteral("出力形式(&A)"), QStringLiteral("Form3"));
    screenItem(settings, "set2", QStringLiteral("データベース(&B)"), QStringLiteral("setOracle"));
    screenItem(settings, "印刷位置調整", QStringLiteral("印刷位置調整(&I)"), QStringLiteral("Form13"));

    auto *print = bar->addMenu(QStringLiteral("印刷(&P)"));
    print->setObjectName(QStringLiteral("印刷"));
    screenItem(print, "通常印刷", QStringLiteral("通常印刷"), QStringLiteral("F_CustInput"));
    screenItem(print, "部分印刷", QStringLiteral("部分印刷"), QStringLiteral("F_CustInput2"));

    auto *view = bar->addMenu(QStringLiteral("表示(&V)"));
    view->setObjectName(QStringLiteral("mnuView"));
    auto *toolbar = view->addAction(QStringLiteral("ﾂｰﾙ ﾊﾞｰ(&T)"));
    toolbar->setObjectName(QStringLiteral("mnuViewToolbar"));
    toolbar->setCheckable(true);
    toolbar->setChecked(true);
    auto *mainPage = view->addAction(QStringLiteral("メインページ"));
    mainPage->setObjectName(QStringLiteral("main1"));
    connect(mainPage, &QAction::triggered, this, &MainWindow::showSharedMainMenu);

    auto *help = bar->addMenu(QStringLiteral("ﾍﾙﾌﾟ(&H)"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    screenItem(help, "オンラインヘルプ", QStringLiteral("ｵﾝﾗｲﾝﾍﾙﾌﾟ(&O)"), QStringLiteral("Form9"));
    screenItem(help, "オンラインサポート", QStringLiteral("ｵﾝﾗｲﾝｻﾎﾟｰﾄ(&S)"), QStringLiteral("Form10"));
    screenItem(help, "mnuHelpAbout", QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報(&A)"), QStringLiteral("frmAbout"));

    auto *status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("sbStatusBar"));
    setStatusBar(status);
    auto *panel1 = new QLabel(QStringLiteral("ｽﾃｰﾀｽ"), status);
    panel1->setObjectName(QStringLiteral("Panel1"));
    m_date = new QLabel(status);
    m_date->setObjectName(QStringLiteral("Panel2"));
    m_time = new QLabel(status);
    m_time->setObjectName(QStringLiteral("Panel3"));
    status->addWidget(panel1, 1);
    status->addPermanentWidget(m_date);
    status->addPermanentWidget(m_time);
    updateClock();
    auto *clock = new QTimer(this);
    connect(clock, &QTimer::timeout, this, &MainWindow::updateClock);
    clock->start(1000);

    // Client area 11880 x 7815 twips, plus the menu and status bars.
    resize(twips(11880), twips(7815) + bar->sizeHint().height() + status->sizeHint().height());

    m_startupMenu = addMainMenu();
}

QAction *MainWindow::screenItem(QMenu *menu, const char *name, const QString &caption, const QString &formName)
{
    QAction *a = menu->addAction(caption);
    a->setObjectName(QString::fromUtf8(name));
    a->setEnabled(ScreenRegistry::instance().has(formName));
    connect(a, &QAction::triggered, this, [this, formName] {
        // A screen that cannot open says why; it never takes the program down.
        try {
            ScreenRegistry::instance().show(formName);
        } catch (const Failure &f) {
            showMessage(this, f.description(), QStringLiteral("エラー"), Critical);
        }
    });
    return a;
}

MainMenu *MainWindow::addMainMenu()
{
    auto *menu = new MainMenu(m_workingFolder);
    QMdiSubWindow *sub = m_mdi->addSubWindow(menu, Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowMinMaxButtonsHint);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->move(twips(10), twips(10));
    sub->adjustSize();
    sub->show();
    orderTabsByPlace(menu);
    return menu;
}

void MainWindow::showSharedMainMenu()
{
    if (m_sharedMenu) {
        auto *sub = qobject_cast<QMdiSubWindow *>(m_sharedMenu->parentWidget());
        if (sub && sub->isMinimized())
            sub->showNormal();
        m_mdi->setActiveSubWindow(sub);
        m_sharedMenu->parentWidget()->raise();
        return;
    }
    m_sharedMenu = addMainMenu();
}

void MainWindow::updateClock()
{
    const QDateTime now = QDateTime::currentDateTime();
    // The program's (Japanese) format, 2004/11/12, like the rest of the screens.
    const QLocale locale;
    m_date->setText(locale.toString(now.date(), QLocale::ShortFormat));
    m_time->setText(locale.toString(now.time(), QStringLiteral("HH:mm")));
}

} // namespace zl::ui
