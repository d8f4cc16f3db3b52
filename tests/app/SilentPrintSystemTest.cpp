// A print server that takes connections and never answers, with one of its
// queues current: every window opens while the queue is asked what it
// offers, and says so; a run there ends with the message for a print
// system that does not answer.
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

#include <QLabel>
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
            window->findChild<QPushButton *>(QStringLiteral("Command3"))->click();
            QVERIFY(!messages.isEmpty());
            QCOMPARE(messages.last().title, QStringLiteral("ERROR"));
            QVERIFY2(messages.last().text.contains(QStringLiteral("応答しませんでした")), qPrintable(messages.last().text));
        }
    }
};

ZL_TEST(SilentPrintSystemTest)
#include "SilentPrintSystemTest.moc"
