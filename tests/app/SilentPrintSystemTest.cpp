// A print server that takes connections and never answers, with one of its
// queues current: every window opens while the queue is asked what it
// offers, and says so; a run there ends with the message for a print
// system that does not answer.
#include "ScreenRuns.h"
#include "TestEnv.h"
#include "TestRegistry.h"

#include "app/ui/MainMenu.h"
#include "app/ui/MainWindow.h"
#include "paper/PaperSelection.h"
#include "pdf/PdfPrinter.h"
#include "cups/platform/CupsConnection.h"
#include "cups/platform/CupsPrinter.h"
#include "ui/Dialogs.h"
#include "ui/ScreenRegistry.h"
#include "cups/platform/SystemPrinters.h"
#include "cups/ui/SystemPrintSetupDialog.h"
#include "printer/PrinterSetup.h"
#include "ModalDialogs.h"

#include <QComboBox>
#include <QDir>
#include <algorithm>

#include <QLabel>
#include <QListWidget>
#include <QThreadPool>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QSocketNotifier>
#include <QTest>
#include <QTimer>

#include <arpa/inet.h>
#include <cups/cups.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace zl;

namespace {

// Takes every connection and keeps it open without a word.
class SilentServer {
public:
    SilentServer()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(m_fd, reinterpret_cast<sockaddr *>(&address), length) != 0 || ::listen(m_fd, 64) != 0
            || ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            return;
        m_port = ntohs(address.sin_port);
        m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] {
            const int taken = ::accept(m_fd, nullptr, nullptr);
            if (taken >= 0)
                m_taken << taken;
        });
    }
    ~SilentServer()
    {
        m_notifier.reset();
        for (int fd : std::as_const(m_taken))
            ::close(fd);
        ::close(m_fd);
    }
    QString name() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }
    bool listening() const { return m_port != 0; }

private:
    int m_fd = -1;
    int m_port = 0;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QList<int> m_taken;
};

QString unansweredProblem()
{
    const printer::WithoutWaiting withoutWaiting;
    return printer::currentPrinter()->unansweredProblem();
}

// What a window shows: its title, and the text of every label, list row
// and box it shows.
QString shownText(const QWidget *window)
{
    QStringList shown{window->windowTitle()};
    for (const QLabel *l : window->findChildren<QLabel *>())
        if (l->isVisible())
            shown << l->text();
    for (const QListWidget *list : window->findChildren<QListWidget *>())
        if (list->isVisible())
            for (int i = 0; i < list->count(); ++i)
                shown << list->item(i)->text();
    for (const QComboBox *box : window->findChildren<QComboBox *>())
        if (box->isVisible())
            shown << box->currentText();
    return shown.join(QLatin1Char('\n'));
}

} // namespace

class SilentPrintSystemTest : public QObject {
    Q_OBJECT
private slots:
    void windowsOpenAndAnswerWhileTheQueueIsAsked_data()
    {
        QTest::addColumn<QString>("form");  // empty: the main window
        QTest::addColumn<QString>("line");  // the printer line's name
        QTest::addColumn<bool>("printing"); // the screen's start button runs a print run
        QTest::newRow("main window") << QString() << QStringLiteral("Label9") << false;
        QTest::newRow("continuous printing") << QStringLiteral("F_CustInput") << QStringLiteral("LabelPrinterInForce")
                                             << true;
    }
    void windowsOpenAndAnswerWhileTheQueueIsAsked()
    {
        QFETCH(QString, form);
        QFETCH(QString, line);
        QFETCH(bool, printing);
        zltest::TempHome home;
        home.installDefaults();
        home.writeItems({QStringLiteral("4912345000019"), QStringLiteral("4912345000026")});
        SilentServer server;
        QVERIFY(server.listening());
        QList<ui::ShownMessage> messages;
        const QByteArray named = qgetenv("CUPS_SERVER");
        auto restore = qScopeGuard([&] {
            ui::recordMessagesInto(nullptr);
            ui::answerQuestionsWith({});
            if (QWidget *screen = ui::ScreenRegistry::instance().find(form); screen && !form.isEmpty())
                delete screen;
            printer::installPrinters(nullptr);
            qputenv("CUPS_SERVER", named);
            cupsSetServer(nullptr);
            printer::setCupsTimeLimitSeconds(8);
            printer::cupsAnswered();
        });
        qputenv("CUPS_SERVER", server.name().toUtf8());
        cupsSetServer(nullptr);
        printer::setCupsTimeLimitSeconds(5);
        printer::cupsAnswered();
        std::vector<std::unique_ptr<printer::Printer>> installed;
        installed.push_back(std::make_unique<printer::CupsPrinter>(QStringLiteral("Labels")));
        installed.push_back(std::make_unique<printer::PdfPrinter>(home.root()));
        printer::installPrinters(std::make_unique<printer::OwnedPrinterCollection>(std::move(installed)));
        ui::registerAllScreens(ui::ScreenRegistry::instance());
        ui::recordMessagesInto(&messages);
        ui::answerQuestionsWith([](const ui::ShownMessage &) { return true; });

        // Opened from the event loop, as a click opens it. A window that
        // asked the queue itself would show it only after the time limit,
        // and say it does not answer rather than that it is being asked.
        std::unique_ptr<ui::MainWindow> mainWindow;
        QPointer<QWidget> window;
        QTimer::singleShot(0, [&] {
            if (form.isEmpty()) {
                mainWindow = std::make_unique<ui::MainWindow>(home.root());
                mainWindow->show();
                window = mainWindow->startupMenu();
            } else {
                window = ui::ScreenRegistry::instance().show(form);
            }
        });
        QTRY_VERIFY(window);
        QLabel *printerLine = window->findChild<QLabel *>(line);
        QVERIFY(printerLine);
        QTRY_VERIFY2(printerLine->text().contains(QStringLiteral("Labels　用紙: 確認しています…")), qPrintable(printerLine->text()));
        QVERIFY2(!printerLine->text().contains(QStringLiteral("注意")), qPrintable(printerLine->text()));

        // The queue is heard not to answer after the time limit, and the
        // line says so.
        QTRY_VERIFY_WITH_TIMEOUT(!unansweredProblem().isEmpty(), 30000);
        QVERIFY2(unansweredProblem().contains(QStringLiteral("応答しませんでした")), qPrintable(unansweredProblem()));
        QTRY_VERIFY2(printerLine->text().contains(QStringLiteral("\n注意: ") + unansweredProblem()), qPrintable(printerLine->text()));

        if (printing) {
            zltest::clickStart(window);
            QVERIFY(!messages.isEmpty());
            QCOMPARE(messages.last().title, QStringLiteral("ERROR"));
            QVERIFY2(messages.last().text.contains(QStringLiteral("応答しませんでした")), qPrintable(messages.last().text));
        }
    }

    // Every screen opened while the printing system's first answer is out
    // (0.5 s and 2 s after the start, the time limit far beyond) and once it
    // is known to be silent (after the time limit, as at 9 s against the
    // program's 8 s): the moment its opening returns it is up and shows
    // what is known then; while the question is out, it still is then, so
    // the opening did not wait for it.
    void everyScreenOpensAtOnceWhateverThePrintSystemSays_data()
    {
        QTest::addColumn<QString>("form");   // empty: the main window itself
        QTest::addColumn<QString>("button"); // what opens it: a main menu button, else the registry
        QTest::addColumn<int>("moment");     // ms after the start; -1: once the time limit has run out
        QTest::addColumn<QString>("shows");
        struct Screen {
            const char *name;
            QString form, button, asking, silent;
        };
        const QString line = QStringLiteral("プリンター: 確認しています…");
        const QString noPrinter = QStringLiteral("プリンター: なし（印刷しません）");
        const Screen screens[] = {
            {"main menu", {}, {}, line, noPrinter},
            {"continuous printing", QStringLiteral("F_CustInput"), QStringLiteral("Command1"), line, noPrinter},
            {"partial printing", QStringLiteral("F_CustInput2"), QStringLiteral("Command5"), line, noPrinter},
            {"connection type", QStringLiteral("Form17"), QStringLiteral("Command4"),
             QStringLiteral("プリンター接続タイプ設定"), QStringLiteral("プリンター接続タイプ設定")},
            {"paper", QStringLiteral("Form7"), {}, QStringLiteral("プリンターに用紙を確認しています…"),
             QStringLiteral("ユーザー定義サイズ")},
            {"print position", QStringLiteral("Form13"), {}, QStringLiteral("印刷位置調整"), QStringLiteral("印刷位置調整")},
            // Opened from the paper screen's 「プリンターの設定」.
            {"printer setup", QStringLiteral("Form7"), QStringLiteral("Command2"),
             QStringLiteral("印刷システム(CUPS)に問い合わせています…"), QStringLiteral("応答しなかった")},
        };
        const std::pair<const char *, int> moments[] = {{"0.5 s", 500}, {"2 s", 2000}, {"after the time limit", -1}};
        for (const Screen &screen : screens)
            for (const auto &[when, ms] : moments)
                QTest::addRow("%s at %s", screen.name, when)
                    << screen.form << screen.button << ms << (ms < 0 ? screen.silent : screen.asking);
    }
    void everyScreenOpensAtOnceWhateverThePrintSystemSays()
    {
        QFETCH(QString, form);
        QFETCH(QString, button);
        QFETCH(int, moment);
        QFETCH(QString, shows);
        zltest::TempHome home;
        home.installDefaults();
        home.writeItems({QStringLiteral("4912345000019"), QStringLiteral("4912345000026")});
        auto server = std::make_unique<SilentServer>();
        QVERIFY(server->listening());
        const QByteArray named = qgetenv("CUPS_SERVER");
        std::unique_ptr<ui::MainWindow> mainWindow;
        auto restore = qScopeGuard([&] {
            for (const QString &open : ui::ScreenRegistry::instance().names())
                delete ui::ScreenRegistry::instance().find(open);
            mainWindow.reset();
            printer::installPrinters(nullptr);
            printer::installPrintSetupDialog(nullptr);
            // The questions still out end with the server, before the next
            // case asks anew.
            server.reset();
            printer::waitForAskingWorkers();
            qputenv("CUPS_SERVER", named);
            cupsSetServer(nullptr);
            printer::setCupsTimeLimitSeconds(8);
            printer::cupsAnswered();
        });
        qputenv("CUPS_SERVER", server->name().toUtf8());
        cupsSetServer(nullptr);
        // While the first question is out, it stays out well past the
        // moment whatever the machine's load; after it, a short limit.
        printer::setCupsTimeLimitSeconds(moment < 0 ? 2 : 60);
        printer::cupsAnswered();
        printer::installSystemPrinters(std::make_unique<printer::PdfPrinter>(home.root()));
        ui::installSystemPrintSetupDialog();
        ui::registerAllScreens(ui::ScreenRegistry::instance());

        // The start: the main window asks the printing system.
        const auto openMainWindow = [&] {
            mainWindow = std::make_unique<ui::MainWindow>(home.root());
            mainWindow->show();
        };
        if (!form.isEmpty())
            openMainWindow();
        if (moment < 0) {
            QTRY_VERIFY_WITH_TIMEOUT(!printer::printers()->stillAsking(), 60000);
            QVERIFY(printer::cupsRecentlySilent());
        } else {
            QTest::qWait(moment);
        }

        // What the screen shows, and whether the question is still out, the
        // moment its opening has returned.
        QString shown;
        bool visible = false;
        bool asking = false;
        const auto judge = [&](QWidget *window) {
            visible = window->isVisible();
            shown = shownText(window);
            asking = printer::printers()->stillAsking();
        };
        if (form.isEmpty()) {
            openMainWindow();
            judge(mainWindow->startupMenu());
        } else if (button == QStringLiteral("Command2")) {
            QWidget *paper = ui::ScreenRegistry::instance().show(form);
            QVERIFY(paper);
            zltest::whenDialogIsUp(
                this, [](QDialog *d) { return d->objectName() == QStringLiteral("PrintSetupWithoutCups"); },
                [&](QDialog *dialog) {
                    judge(dialog);
                    dialog->reject();
                });
            paper->findChild<QPushButton *>(button)->click();
        } else {
            if (button.isEmpty())
                QVERIFY(ui::ScreenRegistry::instance().show(form));
            else
                mainWindow->startupMenu()->findChild<QPushButton *>(button)->click();
            QWidget *window = ui::ScreenRegistry::instance().find(form);
            QVERIFY2(window, qPrintable(mainWindow->startupMenu()->findChild<QLabel *>(QStringLiteral("Label12"))->text()));
            judge(window);
        }
        QVERIFY(visible);
        QVERIFY2(shown.contains(shows), qPrintable(shown));
        QCOMPARE(asking, moment >= 0);
    }

    // The printing system's default cannot be known, so no printer is the
    // operator's: the printer line says so (never naming the PDF printer it
    // will not print on), a run says so before its rows are checked, and
    // 「プリンターの設定」 offers 「Zenlabo PDF」 at once; chosen there, the
    // labels print to it from the windows.
    void pdfPrinterChosenAndPrintedWhileNothingAnswers()
    {
        zltest::TempHome home;
        home.installDefaults();
        // The second code makes the check before the first label ask.
        home.writeItems({QStringLiteral("4912345000019"), QStringLiteral("123")});
        SilentServer server;
        QVERIFY(server.listening());
        QList<ui::ShownMessage> messages;
        const QByteArray named = qgetenv("CUPS_SERVER");
        auto restore = qScopeGuard([&] {
            ui::recordMessagesInto(nullptr);
            ui::answerQuestionsWith({});
            printer::installPrinters(nullptr);
            printer::installPrintSetupDialog(nullptr);
            qputenv("CUPS_SERVER", named);
            cupsSetServer(nullptr);
            printer::setCupsTimeLimitSeconds(8);
            printer::cupsAnswered();
        });
        qputenv("CUPS_SERVER", server.name().toUtf8());
        cupsSetServer(nullptr);
        printer::setCupsTimeLimitSeconds(3);
        printer::cupsAnswered();
        printer::installSystemPrinters(std::make_unique<printer::PdfPrinter>());
        ui::installSystemPrintSetupDialog();
        ui::registerAllScreens(ui::ScreenRegistry::instance());
        ui::recordMessagesInto(&messages);
        ui::answerQuestionsWith([](const ui::ShownMessage &) { return true; });
        const auto questionsAsked = [&messages] {
            return std::count_if(messages.begin(), messages.end(),
                                 [](const ui::ShownMessage &m) { return m.title == QStringLiteral("印刷の前の確認"); });
        };

        ui::MainWindow w(home.root());
        QLabel *line = w.startupMenu()->findChild<QLabel *>(QStringLiteral("Label9"));
        QTRY_VERIFY_WITH_TIMEOUT(!line->text().contains(QStringLiteral("確認しています")), 30000);
        const QString unknown = QStringLiteral("通常使うプリンターが分からないため印刷しません");
        QVERIFY2(line->text().startsWith(QStringLiteral("プリンター: なし（印刷しません）\n注意: ") + unknown),
                 qPrintable(line->text()));
        QVERIFY2(!line->text().contains(QStringLiteral("Zenlabo PDF　用紙")), qPrintable(line->text()));

        QWidget *printScreen = ui::ScreenRegistry::instance().show(QStringLiteral("F_CustInput"));
        QVERIFY(printScreen);
        zltest::clickStart(printScreen);
        QVERIFY(!messages.isEmpty());
        QCOMPARE(messages.last().title, QStringLiteral("ERROR"));
        QVERIFY2(messages.last().text.contains(unknown), qPrintable(messages.last().text));
        QCOMPARE(questionsAsked(), 0);

        QWidget *form7 = ui::ScreenRegistry::instance().show(QStringLiteral("Form7"));
        QVERIFY(form7);
        QStringList offered;
        zltest::whenDialogIsUp(
            this, [](QDialog *d) { return d->objectName() == QStringLiteral("PrintSetupWithoutCups"); },
            [&](QDialog *dialog) {
                auto *box = dialog->findChild<QComboBox *>(QStringLiteral("printers"));
                QVERIFY(box);
                for (int i = 0; i < box->count(); ++i)
                    offered << box->itemText(i);
                box->setCurrentIndex(box->findText(QStringLiteral("Zenlabo PDF")));
                dialog->accept();
            });
        form7->findChild<QPushButton *>(QStringLiteral("Command2"))->click();
        QCOMPARE(offered, QStringList{QStringLiteral("Zenlabo PDF")});
        QCOMPARE(printer::currentPrinter()->deviceName(), QStringLiteral("Zenlabo PDF"));
        QVERIFY2(line->text().startsWith(QStringLiteral("プリンター: Zenlabo PDF　用紙: ")) && !line->text().contains(unknown),
                 qPrintable(line->text()));

        zltest::clickStart(printScreen);
        QCOMPARE(questionsAsked(), 1);
        const QStringList files =
            QDir(printer::PdfPrinter::defaultOutputFolder()).entryList({QStringLiteral("*.pdf")}, QDir::Files);
        QCOMPARE(files.size(), 1);
        QVERIFY2(messages.last().text.contains(QStringLiteral("ラベル2枚をPDFファイル")), qPrintable(messages.last().text));
    }
};

ZL_TEST(SilentPrintSystemTest)
#include "SilentPrintSystemTest.moc"
