// Print runs of the program itself into CUPS queues whose printers take
// their time, cancel or fail every job (the schedulers scripts/test
// starts): how a run ends, what it counts as printed, and what it asks the
// scheduler on the way.
#include "DeviceOutput.h"
#include "IppProxy.h"
#include "TestEnv.h"
#include "TestRegistry.h"
#include "TestScheduler.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <optional>

#include "printer/PrinterSetup.h"
#include "cups/platform/CupsConnection.h"
#include "cups/platform/SystemPrinters.h"
#include "ui/Dialogs.h"
#include "ui/ScreenRegistry.h"

class CupsRunEndTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        m_spool = qEnvironmentVariable("ZENLABO_TEST_SPOOL");
        const QStringList outcomes = qEnvironmentVariable("ZENLABO_TEST_OUTCOME_QUEUES").split(QLatin1Char(','));
        if (outcomes.size() == 3) {
            m_slow = outcomes[0];
            m_cancel = outcomes[1];
            m_fail = outcomes[2];
        }
        if (m_spool.isEmpty())
            QSKIP("CUPS is not up for the tests (ZENLABO_TEST_SPOOL not set): run scripts/test.");
    }

    // Printers that take their time, cancel every job or fail every job,
    // through `zenlabo --print`: the run ends when the labels are out, the
    // count it gives is what reached the device, the row to go on from
    // follows from it, and nothing of the run is left queued. What the run
    // asks the scheduler is counted on the way: its labels, the watch on
    // them and their cancel go over one connection (a second carries a
    // cancel out), the jobs' ends come from a subscription rather than
    // listings, and the rest is cancelled with one request; a scheduler
    // that refuses both still sees the run end the same.
    void runEndsWhenItsLabelsAreOut_data()
    {
        QTest::addColumn<QString>("queue");
        QTest::addColumn<QStringList>("range");
        // Once the first label is out: "SIGINT", or "delete" the queue.
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("refused"); // operations the scheduler refuses
        // "Operation=count", "Operation>=count" or "connections<=count"
        // (those that asked anything of the run's).
        QTest::addColumn<QStringList>("traffic");
        const QStringList four{QStringLiteral("--from"), QStringLiteral("1"), QStringLiteral("--to"), QStringLiteral("4")};
        const QStringList none;
        const QStringList refused{QStringLiteral("Create-Printer-Subscriptions"), QStringLiteral("Cancel-Jobs")};
        QTest::newRow("slow printer, every label")
            << m_slow << four << QString() << 0 << QStringLiteral("4枚のラベル") << none
            << QStringList{QStringLiteral("connections<=1"), QStringLiteral("Get-Jobs<=1"),
                           QStringLiteral("Create-Printer-Subscriptions=1"), QStringLiteral("Cancel-Subscription=1")};
        QTest::newRow("printer cancels every job") << m_cancel << four << QString() << 1 << QStringLiteral("用紙切れ") << none
                                                   << QStringList{QStringLiteral("connections<=1")};
        QTest::newRow("every job aborted") << m_fail << QStringList{QStringLiteral("--from"), QStringLiteral("1"),
                                                                    QStringLiteral("--to"), QStringLiteral("5")}
                                           << QString() << 1 << QStringLiteral("--from 1 --to 5") << none
                                           << QStringList{QStringLiteral("connections<=1")};
        QTest::newRow("Ctrl-C while labels are queued")
            << m_slow << QStringList() << QStringLiteral("SIGINT") << 1 << QStringLiteral("中断しました") << none
            << QStringList{QStringLiteral("connections<=2"), QStringLiteral("Get-Jobs<=1"), QStringLiteral("Cancel-Jobs=1"),
                           QStringLiteral("Cancel-Job=0")};
        QTest::newRow("Ctrl-C, subscriptions and Cancel-Jobs refused")
            << m_slow << QStringList() << QStringLiteral("SIGINT") << 1 << QStringLiteral("中断しました") << refused
            << QStringList{QStringLiteral("connections<=2"), QStringLiteral("Get-Notifications=0"),
                           QStringLiteral("Get-Jobs>=1"), QStringLiteral("Cancel-Job>=1")};
        QTest::newRow("queue deleted mid-run") << QStringLiteral("ZenlaboGone") << QStringList() << QStringLiteral("delete")
                                               << 1 << QStringLiteral("消えました") << none << QStringList();
    }

    void runEndsWhenItsLabelsAreOut()
    {
        QFETCH(QString, queue);
        QFETCH(QStringList, range);
        QFETCH(QString, meanwhile);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        QFETCH(QStringList, refused);
        QFETCH(QStringList, traffic);
        if (m_slow.isEmpty())
            QSKIP("the test scheduler has no cancelling, failing and slow printers (ZENLABO_TEST_OUTCOME_QUEUES)");
        const zltest::IppProxy proxy(qEnvironmentVariable("CUPS_SERVER"), refused);
        zltest::TempHome home;
        home.installDefaults();
        const QString folder = m_spool + QLatin1Char('/') + queue;
        if (meanwhile == QLatin1String("delete")) {
            // A slow queue of the test's own, for deleting.
            QDir().mkpath(folder);
            QFile(folder).setPermissions(QFileDevice::Permissions(0x7777));
            QCOMPARE(QProcess::execute(QStringLiteral("lpadmin"), {QStringLiteral("-p"), queue, QStringLiteral("-E"),
                                                                   QStringLiteral("-v"), QStringLiteral("zenlabo-slow:") + folder,
                                                                   QStringLiteral("-m"), QStringLiteral("raw")}),
                     0);
        }
        const int before = int(zltest::jobFiles(folder).size());
        QProcess p;
        // With something done meanwhile, the run tells its counts as they change.
        const QStringList verbose = meanwhile.isEmpty() ? QStringList() : QStringList{QStringLiteral("--verbose")};
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("CUPS_SERVER"), proxy.socket());
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(ZENLABO_BINARY),
                QStringList{QStringLiteral("--print"), QStringLiteral("--printer"), queue} + range + verbose);
        QVERIFY(p.waitForStarted());
        QByteArray early;
        if (!meanwhile.isEmpty()) {
            // Once the run itself knows a label came out: a queue deleted
            // takes its jobs' history with it.
            static const QRegularExpression seen(QStringLiteral("印刷済み [1-9]"));
            QDeadlineTimer givenUp(60000);
            while (!seen.match(QString::fromUtf8(early)).hasMatch() && !givenUp.hasExpired()
                   && p.state() == QProcess::Running) {
                p.waitForReadyRead(100);
                early += p.readAllStandardError();
            }
            if (meanwhile == QLatin1String("SIGINT"))
                ::kill(pid_t(p.processId()), SIGINT);
            else
                QCOMPARE(QProcess::execute(QStringLiteral("lpadmin"), {QStringLiteral("-x"), queue}), 0);
        }
        QVERIFY(p.waitForFinished(120000));
        const QString said = QString::fromUtf8(p.readAllStandardOutput() + early + p.readAllStandardError());
        QVERIFY2(p.exitCode() == exitCode && said.contains(message), qPrintable(said));
        QCOMPARE(queuedJobs(queue), 0);
        static const QRegularExpression count(QStringLiteral("(\\d+)枚のラベル|(1)枚も"));
        const QRegularExpressionMatch m = count.match(said);
        QVERIFY2(m.hasMatch(), qPrintable(said));
        const int printed = m.captured(2).isEmpty() ? m.captured(1).toInt() : 0;
        const int out = int(zltest::jobFiles(folder).size()) - before;
        // Never a label counted that did not reach the device. Taken back or
        // deleted meanwhile, the job in the backend may have handed its label
        // over a moment before CUPS ended it otherwise; a deleted queue's
        // history is gone: such labels are not counted, and print again.
        if (meanwhile.isEmpty())
            QCOMPARE(out, printed);
        else
            QVERIFY2(printed <= out && (meanwhile == QLatin1String("delete") || out <= printed + 1), qPrintable(said));
        if (!meanwhile.isEmpty())
            QVERIFY2(printed > 0 && printed < 12 && said.contains(QStringLiteral("--from %1 ").arg(printed + 1)), qPrintable(said));

        const QMap<QString, int> asked = proxy.operations();
        static const QStringList runs{QStringLiteral("Create-Job"), QStringLiteral("Get-Jobs"), QStringLiteral("Get-Notifications"),
                                      QStringLiteral("Cancel-Job"), QStringLiteral("Cancel-Jobs")};
        QString seen = QStringLiteral("connections %1;").arg(proxy.connectionsAsking(runs));
        for (auto a = asked.begin(); a != asked.end(); ++a)
            seen += QStringLiteral(" %1 %2").arg(a.key()).arg(a.value());
        qInfo("%s", qPrintable(seen));
        static const QRegularExpression expectation(QStringLiteral("^([\\w-]+)(=|>=|<=)(\\d+)$"));
        for (const QString &e : traffic) {
            const QRegularExpressionMatch m = expectation.match(e);
            QVERIFY(m.hasMatch());
            const int n = m.captured(1) == QLatin1String("connections") ? proxy.connectionsAsking(runs)
                                                                          : asked.value(m.captured(1));
            const int want = m.captured(3).toInt();
            const QString op = m.captured(2);
            QVERIFY2(op == QLatin1String("=") ? n == want : op == QLatin1String(">=") ? n >= want : n <= want,
                     qPrintable(QStringLiteral("%1, but %2").arg(e, seen)));
        }
    }

    // The cancel button clicked in the progress window while the printer
    // still works through the run's labels, or while the scheduler, frozen,
    // has not answered the first label's question. The run ends at once,
    // the queue is empty afterwards and the message's count is what
    // reached the device.
    void cancelInTheWindowTakesBackTheQueuedLabels_data()
    {
        QTest::addColumn<bool>("frozen");
        QTest::newRow("slow printer, labels queued") << false;
        QTest::newRow("scheduler frozen at the first label") << true;
    }

    void cancelInTheWindowTakesBackTheQueuedLabels()
    {
        QFETCH(bool, frozen);
        if (m_slow.isEmpty())
            QSKIP("the test scheduler has no slow printer (ZENLABO_TEST_OUTCOME_QUEUES)");
        const QString pid = frozen ? zltest::schedulerPid() : QString();
        if (frozen && pid.isEmpty())
            QSKIP("the test scheduler's process id is not known");
        zltest::TempHome home;
        home.installDefaults();
        zl::printer::installSystemPrinters(nullptr);
        zl::printer::Printer *slow = zl::printer::findPrinter(m_slow);
        QVERIFY(slow);
        zl::printer::printers()->setCurrent(slow);
        // Asked now, so that the run's first question is its first label's.
        slow->pageGeometry();
        QList<zl::ui::ShownMessage> messages;
        zl::ui::recordMessagesInto(&messages);
        zl::ui::answerQuestionsWith([](const zl::ui::ShownMessage &) { return true; });
        zl::ui::registerAllScreens(zl::ui::ScreenRegistry::instance());
        zl::ui::ScreenRegistry::instance().setHost(nullptr);
        std::optional<zltest::FrozenScheduler> stopped;
        auto restore = qScopeGuard([&] {
            stopped.reset();
            zl::printer::setCupsTimeLimitSeconds(8);
            zl::ui::recordMessagesInto(nullptr);
            zl::ui::answerQuestionsWith({});
            zl::ui::ScreenRegistry::instance().setHost(nullptr);
            zl::printer::installPrinters(nullptr);
        });
        // Clicked once the printer said a label came out, with more queued;
        // or once the run's question waits at the frozen scheduler.
        const QString socket = qEnvironmentVariable("CUPS_SERVER");
        bool clicked = false;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                auto *counts = w->findChild<QLabel *>(QStringLiteral("lblcounts"));
                if (clicked || !counts || !w->isVisible())
                    continue;
                if (frozen ? zltest::waitingConnections(socket) > 0 : counts->text().contains(QStringLiteral("印刷済み 1 /"))) {
                    QTest::mouseClick(w->findChild<QPushButton *>(QStringLiteral("comcancel1")), Qt::LeftButton);
                    clicked = true;
                }
            }
        });
        watch.start(10);
        const QString folder = m_spool + QLatin1Char('/') + m_slow;
        const int before = int(zltest::jobFiles(folder).size());
        QWidget *screen = zl::ui::ScreenRegistry::instance().show(QStringLiteral("F_CustInput"));
        // Frozen until the run has ended: a cancel not honoured would end
        // it only by the time limit, a minute later, with another message.
        if (frozen) {
            zl::printer::setCupsTimeLimitSeconds(60);
            stopped.emplace(pid);
            QVERIFY(stopped->frozen());
        }
        screen->findChild<QPushButton *>(QStringLiteral("Command3"))->click();
        stopped.reset();
        delete screen;
        QVERIFY(clicked);
        QCOMPARE(queuedJobs(m_slow), 0);
        QCOMPARE(messages.size(), 1 + int(messages.size() > 1)); // the check's question, if any, then the end
        const int out = int(zltest::jobFiles(folder).size()) - before;
        const QString said = messages.last().text;
        static const QRegularExpression count(QStringLiteral("この印刷では(\\d+)枚"));
        const int printed = count.match(said).captured(1).toInt();
        // The job in the backend when the cancel came may have handed its
        // label over a moment before CUPS ended it as cancelled.
        QVERIFY2(frozen ? out == 0 : out >= 1 && out < 12 && printed <= out && out <= printed + 1, qPrintable(said));
        QVERIFY2(said.contains(printed ? QStringLiteral("印刷をキャンセルしました。この印刷では%1枚").arg(printed)
                                       : QStringLiteral("印刷をキャンセルしました。ラベルは1枚も印刷していません"))
                     && (!printed || said.contains(QStringLiteral("%1行目から").arg(printed + 1))),
                 qPrintable(said));
    }

private:
    // Jobs of the queue not yet ended.
    static int queuedJobs(const QString &queue)
    {
        QProcess lpstat;
        lpstat.start(QStringLiteral("lpstat"), {QStringLiteral("-o"), queue});
        lpstat.waitForFinished();
        return int(QString::fromUtf8(lpstat.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts).size());
    }

    QString m_spool;
    QString m_slow, m_cancel, m_fail;
};

ZL_TEST(CupsRunEndTest)
#include "CupsRunEndTest.moc"
