#include "FakePrinter.h"
#include "TestEnv.h"
#include "TestRegistry.h"

#include "app/ui/MainMenu.h"
#include "app/ui/MainWindow.h"
#include "ui/Dialogs.h"
#include "printing/ui/PrintScreenBase.h"
#include "ui/ScreenPlacement.h"
#include "ui/ScreenRegistry.h"
#include "common/Cp932.h"
#include "pdf/PdfPrinter.h"
#include "cups/platform/CupsConnection.h"
#include "cups/platform/SystemPrinters.h"

#include <QAction>
#include <QApplication>
#include <QTableView>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QScreen>
#include <QTest>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace zl::ui;

namespace {
QStringList actionNames(QMenu *menu)
{
    QStringList names;
    for (QAction *a : menu->actions())
        names << a->objectName() + QLatin1Char('=') + a->text();
    return names;
}
} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_home = std::make_unique<zltest::TempHome>();
        m_home->installDefaults();
        registerAllScreens(ScreenRegistry::instance());
    }
    void cleanup() { m_home.reset(); }

    void menuBarMatchesTheTable()
    {
        MainWindow w(m_home->root());
        QCOMPARE(w.windowTitle(), QStringLiteral("Zenlabo  Va2.0.6　ｵﾝﾗｲﾝｿﾌﾄ"));
        QStringList menus;
        for (QAction *a : w.menuBar()->actions())
            menus << a->menu()->objectName() + QLatin1Char('=') + a->text();
        QCOMPARE(menus, (QStringList{QStringLiteral("mnuFile=ﾌｧｲﾙ(&F)"), QStringLiteral("set=設定(&S)"),
                                     QStringLiteral("印刷=印刷(&P)"), QStringLiteral("mnuView=表示(&V)"),
                                     QStringLiteral("mnuHelp=ﾍﾙﾌﾟ(&H)")}));
        QCOMPARE(actionNames(w.findChild<QMenu *>(QStringLiteral("set"))),
                 (QStringList{QStringLiteral("set1=出力形式(&A)"), QStringLiteral("set2=データベース(&B)"),
                              QStringLiteral("印刷位置調整=印刷位置調整(&I)")}));
        QCOMPARE(actionNames(w.findChild<QMenu *>(QStringLiteral("印刷"))),
                 (QStringList{QStringLiteral("通常印刷=通常印刷"), QStringLiteral("部分印刷=部分印刷")}));
        QCOMPARE(actionNames(w.findChild<QMenu *>(QStringLiteral("mnuView"))),
                 (QStringList{QStringLiteral("mnuViewToolbar=ﾂｰﾙ ﾊﾞｰ(&T)"), QStringLiteral("main1=メインページ")}));
        QCOMPARE(actionNames(w.findChild<QMenu *>(QStringLiteral("mnuHelp"))),
                 (QStringList{QStringLiteral("オンラインヘルプ=ｵﾝﾗｲﾝﾍﾙﾌﾟ(&O)"),
                              QStringLiteral("オンラインサポート=ｵﾝﾗｲﾝｻﾎﾟｰﾄ(&S)"),
                              QStringLiteral("mnuHelpAbout=ﾊﾞｰｼﾞｮﾝ情報(&A)")}));
        QCOMPARE(actionNames(w.findChild<QMenu *>(QStringLiteral("mnuFile"))),
                 (QStringList{QStringLiteral("mnuFileExit=終了(&X)")}));
    }

    void itemsAreEnabledExactlyWhenTheirScreenExists()
    {
        MainWindow w(m_home->root());
        const QHash<QString, QString> screenOf{
            {QStringLiteral("set1"), QStringLiteral("Form3")},
            {QStringLiteral("set2"), QStringLiteral("setOracle")},
            {QStringLiteral("印刷位置調整"), QStringLiteral("Form13")},
            {QStringLiteral("通常印刷"), QStringLiteral("F_CustInput")},
            {QStringLiteral("部分印刷"), QStringLiteral("F_CustInput2")},
            {QStringLiteral("オンラインヘルプ"), QStringLiteral("Form9")},
            {QStringLiteral("オンラインサポート"), QStringLiteral("Form10")},
            {QStringLiteral("mnuHelpAbout"), QStringLiteral("frmAbout")},
        };
        for (auto it = screenOf.begin(); it != screenOf.end(); ++it) {
            auto *a = w.findChild<QAction *>(it.key());
            QVERIFY2(a, qPrintable(it.key()));
            QCOMPARE(a->isEnabled(), ScreenRegistry::instance().has(it.value()));
        }
        QVERIFY(w.findChild<QAction *>(QStringLiteral("mnuHelpAbout"))->isEnabled());
    }

    void eachScreenOpensOnceAndComesForward()
    {
        MainWindow w(m_home->root());
        w.show();
        const QList<std::pair<const char *, const char *>> items{
            {"mnuHelpAbout", "frmAbout"}, {"オンラインヘルプ", "Form9"}, {"オンラインサポート", "Form10"}};
        for (const auto &[item, form] : items) {
            auto *a = w.findChild<QAction *>(QString::fromUtf8(item));
            a->trigger();
            QWidget *first = ScreenRegistry::instance().find(QString::fromLatin1(form));
            QVERIFY2(first && first->isVisible(), item);
            // Chosen again, even from the task bar's minimised state, it comes forward.
            first->showMinimized();
            a->trigger();
            QCOMPARE(ScreenRegistry::instance().find(QString::fromLatin1(form)), first);
            QVERIFY2(!first->isMinimized() && first->isVisible(), item);
            const auto open = w.findChildren<QWidget *>(QString::fromLatin1(form));
            QCOMPARE(open.size(), 1);
            first->close();
        }
    }

    // The print screens as wide as the desktop lets them be, their grid's barcodes whole.
    void printScreensKeepTheirWidthAndShowWholeBarcodes()
    {
        QApplication::setFont(QFont(QStringLiteral("IPAPGothic"), 9));
        m_home->writeFile(QStringLiteral("jan13.csv"),
                          zltest::sjis(QStringLiteral("JANコード,商品名,規格,価格\r\n4988888888888,緑茶,500ml,150\r\n")));
        m_home->writeTable(QStringLiteral("vokiconfig2.txt"), {QStringLiteral("DB1"), QStringLiteral("DB2")},
                           {m_home->settingsFolder(), QStringLiteral("jan13.csv")});
        for (const char *form : {"F_CustInput", "F_CustInput2"}) {
            QWidget *screen = ScreenRegistry::instance().show(QString::fromLatin1(form));
            QVERIFY2(screen, form);
            QVERIFY(QTest::qWaitForWindowExposed(screen));
            const int width = fitToDesktop(kPrintScreenSize, screen->screen()->availableGeometry()).width();
            QVERIFY2(screen->width() == width, qPrintable(QStringLiteral("%1 is %2 px wide").arg(QLatin1String(form)).arg(screen->width())));
            auto *grid = screen->findChild<QTableView *>(QStringLiteral("DataGrid1"));
            QVERIFY(grid && grid->model() && grid->model()->rowCount() > 0);
            // What the view itself needs to show the column's texts without eliding.
            const int needed = static_cast<QAbstractItemView *>(grid)->sizeHintForColumn(0);
            QVERIFY2(grid->columnWidth(0) >= needed,
                     qPrintable(QStringLiteral("%1: JAN column %2 px, needs %3 px")
                                    .arg(QLatin1String(form)).arg(grid->columnWidth(0)).arg(needed)));
            const int name = grid->columnWidth(1); // product names take what a wider window gives
            screen->resize(screen->width() + 200, screen->height());
            QTRY_VERIFY2(grid->columnWidth(1) >= name + 100, form);
            delete screen;
        }
    }

    void toolbarToggleTwiceLeavesItChecked()
    {
        MainWindow w(m_home->root());
        auto *a = w.findChild<QAction *>(QStringLiteral("mnuViewToolbar"));
        QVERIFY(a->isChecked());
        a->trigger();
        QVERIFY(!a->isChecked());
        a->trigger();
        QVERIFY(a->isChecked());
    }

    void startUpShowsMainMenuAndMainPageOpensASecondOne()
    {
        MainWindow w(m_home->root());
        QCOMPARE(w.mdiArea()->subWindowList().size(), 1);
        auto *menu = w.startupMenu();
        QCOMPARE(menu->objectName(), QStringLiteral("Form1"));
        // The stored default folder is relative; the operator sees where it is.
        QCOMPARE(menu->findChild<QLabel *>(QStringLiteral("Label7"))->text(),
                 QDir::toNativeSeparators(m_home->settingsFolder() + QStringLiteral("sample")));
        QCOMPARE(menu->findChild<QLabel *>(QStringLiteral("Label15"))->text(), QStringLiteral("barcodelist.csv"));
        QCOMPARE(menu->findChild<QLabel *>(QStringLiteral("Label4"))->text(), QStringLiteral("税込価格"));
        QVERIFY(menu->findChild<QLabel *>(QStringLiteral("Label12"))->text().isEmpty());

        // A settings change made since start-up shows in the second main menu.
        m_home->writeTable(QStringLiteral("vokiconfig2.txt"), {QStringLiteral("DB1"), QStringLiteral("DB2")},
                           {QStringLiteral("/other"), QStringLiteral("other.csv")});
        auto *mainPage = w.findChild<QAction *>(QStringLiteral("main1"));
        mainPage->trigger();
        QCOMPARE(w.mdiArea()->subWindowList().size(), 2);
        auto *second = qobject_cast<MainMenu *>(w.mdiArea()->subWindowList().last()->widget());
        QCOMPARE(second->findChild<QLabel *>(QStringLiteral("Label7"))->text(), QStringLiteral("/other"));
        // Later uses bring that window forward, minimised or not.
        w.mdiArea()->subWindowList().last()->showMinimized();
        mainPage->trigger();
        QCOMPARE(w.mdiArea()->subWindowList().size(), 2);
        QVERIFY(!w.mdiArea()->subWindowList().last()->isMinimized());
        QCOMPARE(w.mdiArea()->activeSubWindow(), w.mdiArea()->subWindowList().last());
    }

    void mainMenuControls()
    {
        MainWindow w(m_home->root());
        QWidget *menu = w.startupMenu();
        QCOMPARE(menu->windowTitle(), QStringLiteral("メインメニュー　　Va2.0.6"));
        const QHash<QString, QString> captions{
            {QStringLiteral("Command1"), QStringLiteral("発行開始")},
            {QStringLiteral("Command2"), QStringLiteral("用紙変更")},
            {QStringLiteral("Command3"), QStringLiteral("CSV接続　==>　件数表示")},
            {QStringLiteral("Command4"), QStringLiteral("プリンター/用紙設定")},
            {QStringLiteral("Command5"), QStringLiteral("部分発行")},
        };
        for (auto it = captions.begin(); it != captions.end(); ++it)
            QCOMPARE(menu->findChild<QPushButton *>(it.key())->text(), it.value());
        QCOMPARE(menu->size(), QSize(589, 442));
        for (const auto &[button, form] :
             {std::pair{"Command1", "F_CustInput"}, {"Command3", "Form6"}, {"Command4", "Form17"},
              {"Command5", "F_CustInput2"}})
            QCOMPARE(menu->findChild<QPushButton *>(QString::fromLatin1(button))->isEnabled(),
                     ScreenRegistry::instance().has(QString::fromLatin1(form)));
    }

    // A print system that takes connections and never answers, as a
    // frozen scheduler does: the main window opens without waiting for it
    // and, once the print system is known to be silent, says that no
    // printer can be used and why.
    void mainWindowOpensWhileThePrintSystemIsSilent()
    {
        const QByteArray path = QFile::encodeName(m_home->root() + QStringLiteral("/silent.sock"));
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, path.constData(), sizeof address.sun_path);
        QVERIFY(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 && ::listen(fd, 16) == 0);
        const QByteArray server = qgetenv("CUPS_SERVER");
        auto restore = qScopeGuard([&] {
            ::close(fd);
            qputenv("CUPS_SERVER", server);
            zl::printer::installPrinters(nullptr);
            zl::printer::setCupsTimeLimitSeconds(8);
            zl::printer::cupsAnswered();
        });
        qputenv("CUPS_SERVER", path);
        zl::printer::setCupsTimeLimitSeconds(2);
        zl::printer::installSystemPrinters(std::make_unique<zl::printer::PdfPrinter>());
        MainWindow w(m_home->root());
        auto *line = w.startupMenu()->findChild<QLabel *>(QStringLiteral("Label9"));
        QCOMPARE(line->text(), QStringLiteral("プリンター: 確認しています…"));
        // Its default unknown, no printer is named as the one a run takes.
        QTRY_VERIFY_WITH_TIMEOUT(line->text().startsWith(QStringLiteral("プリンター: なし（印刷しません）")), 60000);
    }

    void exitClosesTheMainWindow()
    {
        MainWindow w(m_home->root());
        w.show();
        w.findChild<QAction *>(QStringLiteral("mnuFileExit"))->trigger();
        QVERIFY(!w.isVisible());
    }

    // Every screen: opens over the main window without covering its menus,
    // a step away from the others, on the (800 x 600) screen unless wider
    // than it; has a default button; closes on Esc.
    void everyScreenOpensOverTheMainWindowAndClosesOnEsc()
    {
        QList<ShownMessage> messages;
        recordMessagesInto(&messages);
        std::vector<std::unique_ptr<zltest::FakePrinter>> printers;
        printers.push_back(std::make_unique<zltest::FakePrinter>(QStringLiteral("Office")));
        printers.back()->accept(9, 11906, 16838);
        zltest::installFakePrinters(std::move(printers));
        MainWindow w(m_home->root());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const int menusEnd = w.menuBar()->mapToGlobal(QPoint(0, w.menuBar()->height())).y();
        const QRect available = w.screen()->availableGeometry();
        QList<QPoint> places;
        QList<QWidget *> screens; // all left open, to be closed by Esc
        for (const char *form : {"Form3", "Form13", "setOracle", "Form6", "Form17", "Form7", "F_CustInput",
                                 "F_CustInput2", "frmAbout", "Form9", "Form10", "Form12"}) {
            QWidget *screen = ScreenRegistry::instance().show(QString::fromLatin1(form));
            QVERIFY2(screen, form);
            const QRect r = screen->frameGeometry();
            QVERIFY2(r.top() >= menusEnd || r.height() > available.height() - menusEnd, form);
            QVERIFY2(available.contains(r) || r.width() > available.width(), form);
            for (const QPoint &other : std::as_const(places))
                QVERIFY2((other - r.topLeft()).manhattanLength() >= 28, form);
            places << r.topLeft();
            screens << screen;
            const QList<QPushButton *> buttons = screen->findChildren<QPushButton *>();
            QVERIFY2(std::count_if(buttons.begin(), buttons.end(), [](QPushButton *b) { return b->isDefault(); }) == 1, form);
        }
        for (QPointer<QWidget> open : std::as_const(screens)) {
            QTest::keyClick(open, Qt::Key_Escape);
            QVERIFY(!open || !open->isVisible());
        }
        recordMessagesInto(nullptr);
        zl::printer::installPrinters(nullptr);
    }

    // Enter in a field presses the default button (saving the titles here);
    // Enter on a choice does not. Tab goes through the main menu as it reads.
    void enterInAFieldSavesAndTabFollowsTheScreen()
    {
        QList<ShownMessage> messages;
        recordMessagesInto(&messages);
        QWidget *screen = ScreenRegistry::instance().show(QStringLiteral("Form3"));
        screen->findChild<QLineEdit *>(QStringLiteral("Text1"))->setText(QStringLiteral("新しい店名"));
        screen->findChild<QRadioButton *>(QStringLiteral("Option1_0"))->setChecked(true);
        for (const char *name : {"Option1_0", "Text1"}) {
            QWidget *target = screen->findChild<QWidget *>(QString::fromLatin1(name));
            target->setFocus();
            QTest::keyClick(target, Qt::Key_Return);
            const QString table = zl::cp932::decode(m_home->readFile(QStringLiteral("vokiconfig4.txt")));
            QVERIFY2(table.contains(QStringLiteral("新しい店名")) == (qstrcmp(name, "Text1") == 0), name);
        }
        recordMessagesInto(nullptr);

        MainWindow w(m_home->root());
        w.show();
        QWidget *menu = w.startupMenu();
        QStringList order;
        for (QWidget *at = menu->findChild<QWidget *>(QStringLiteral("Command3")); order.size() < 5; at = at->nextInFocusChain())
            if (at->isEnabled() && at->isVisible() && (at->focusPolicy() & Qt::TabFocus) && menu->isAncestorOf(at))
                order << at->objectName();
        QCOMPARE(order, (QStringList{QStringLiteral("Command3"), QStringLiteral("Command4"), QStringLiteral("Combo1"),
                                     QStringLiteral("Command1"), QStringLiteral("Command5")}));
    }

private:
    std::unique_ptr<zltest::TempHome> m_home;
};

ZL_TEST(MainWindowTest)
#include "MainWindowTest.moc"
