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
            zltest::clickStart(window);
            QVERIFY(!messages.isEmpty());
            QCOMPARE(messages.last().title, QStringLiteral("ERROR"));
            QVERIFY2(messages.last().text.contains(QStringLiteral("応答しませんでした")), qPrintable(messages.last().text));
        }
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
