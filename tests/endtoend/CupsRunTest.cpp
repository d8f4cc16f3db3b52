// Print runs of the program itself into real CUPS queues with CUPS' own
// Zebra ZPL label driver (the schedulers scripts/test starts): what reaches
// the device is decoded back to printer dots and must be the label paper at
// the queue's resolution, scan at that resolution, and have every bar and
// space a whole number of equal modules.
#include "DeviceOutput.h"
#include "IppProxy.h"
#include "TestEnv.h"
#include "TestRegistry.h"
#include "TestScheduler.h"
#include "Zbar.h"

#include "printer/platform/CupsPrinter.h"
#include "label/Barcode.h"

#include <optional>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QScopeGuard>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <cups/cups.h>
#include <QFileInfo>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>
#include <csignal>

#include "printer/PrinterSetup.h"
#include "printer/platform/CupsConnection.h"
#include "printer/platform/SystemPrinters.h"
#include "ui/Dialogs.h"
#include "ui/ScreenRegistry.h"

class CupsRunTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        m_queues = qEnvironmentVariable("ZENLABO_TEST_QUEUES").split(QLatin1Char(','), Qt::SkipEmptyParts);
        m_spool = qEnvironmentVariable("ZENLABO_TEST_SPOOL");
        const QStringList outcomes = qEnvironmentVariable("ZENLABO_TEST_OUTCOME_QUEUES").split(QLatin1Char(','));
        if (outcomes.size() == 3) {
            m_slow = outcomes[0];
            m_cancel = outcomes[1];
            m_fail = outcomes[2];
        }
        if (m_queues.size() < 3 || m_spool.isEmpty())
            QSKIP("CUPS is not up for the tests (ZENLABO_TEST_QUEUES/ZENLABO_TEST_SPOOL not set): run scripts/test.");
    }

    void labelsReachTheDeviceOnItsDotGrid_data()
    {
        QTest::addColumn<QString>("server");   // CUPS_SERVER for the program
        QTest::addColumn<QString>("queue");
        QTest::addColumn<QString>("spool");
        QTest::addColumn<QString>("lpoptions"); // the user's saved options
        QTest::addColumn<QString>("yoshi");     // paper chosen on the paper screen
        QTest::addColumn<int>("dpi");
        const QString local = qEnvironmentVariable("CUPS_SERVER");
        const QString label = m_queues.value(1), label300 = m_queues.value(2);
        // The PPD's own default, 203 dpi, on 2 x 1 inch stock chosen on the paper screen.
        QTest::newRow("ZPL 203 dpi") << local << label << m_spool << QString() << QStringLiteral("w144h72") << 203;
        // The queue set to 300 dpi and 2 x 1 inch by its administrator; nothing chosen.
        QTest::newRow("ZPL 300 dpi, queue default") << local << label300 << m_spool << QString() << QStringLiteral("_")
                                                    << 300;
        // The user's own saved options win over the PPD's 203 dpi.
        QTest::newRow("ZPL 300 dpi from lpoptions")
            << local << label << m_spool << QStringLiteral("Dest %1 Resolution=300dpi media=w144h72").arg(label)
            << QStringLiteral("_") << 300;
        // A print server shared by several counters, reached over IPP.
        const QString server = qEnvironmentVariable("ZENLABO_TEST_PRINT_SERVER");
        if (!server.isEmpty())
            QTest::newRow("print server over TCP")
                << server << qEnvironmentVariable("ZENLABO_TEST_SERVER_QUEUE")
                << qEnvironmentVariable("ZENLABO_TEST_SERVER_SPOOL") << QString() << QStringLiteral("_") << 203;
    }

    void labelsReachTheDeviceOnItsDotGrid()
    {
        QFETCH(QString, server);
        QFETCH(QString, queue);
        QFETCH(QString, spool);
        QFETCH(QString, lpoptions);
        QFETCH(QString, yoshi);
        QFETCH(int, dpi);

        zltest::TempHome home;
        home.installDefaults();
        if (!lpoptions.isEmpty())
            home.writeFile(home.root() + QStringLiteral("/.cups/lpoptions"), lpoptions.toUtf8() + '\n');
        QByteArray oldServer = qgetenv("CUPS_SERVER");
        qputenv("CUPS_SERVER", server.toUtf8());
        cupsSetServer(nullptr);
        QString paperCode = yoshi;
        if (yoshi.startsWith(QLatin1Char('w')))
            paperCode = QString::number(zl::printer::CupsPrinter(queue).paperCodeForMedia(yoshi));
        qputenv("CUPS_SERVER", oldServer);
        cupsSetServer(nullptr);
        QVERIFY2(paperCode != QStringLiteral("0"), qPrintable(QStringLiteral("%1 does not list %2").arg(queue, yoshi)));
        home.writeTable(QStringLiteral("vokiconfig4.txt"),
                        {QStringLiteral("TITLE1"), QStringLiteral("TITLE2"), QStringLiteral("YOSHI"), QStringLiteral("PRINTER")},
                        {QStringLiteral("ゼンラボ"), QStringLiteral("税込"), paperCode, QStringLiteral("0")});

        // A leading zero, JAN-13 and a JAN-8.
        const QStringList values{QStringLiteral("001234500001"), QStringLiteral("4901234"),
                                 QStringLiteral("491234500003"), QStringLiteral("491234500004")};
        home.writeItems(values);

        const QString folder = spool + QLatin1Char('/') + queue;
        const int before = int(zltest::jobFiles(folder).size());
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home.root());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.root() + QStringLiteral("/config"));
        env.insert(QStringLiteral("CUPS_SERVER"), server);
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(ZENLABO_BINARY), {QStringLiteral("--print"), QStringLiteral("--printer"), queue});
        QVERIFY(p.waitForFinished(120000));
        QVERIFY2(p.exitCode() == 0, qPrintable(QString::fromUtf8(p.readAllStandardError())));

        const QStringList jobs = zltest::waitForJobs(folder, before, int(values.size()));
        QCOMPARE(jobs.size(), values.size());
        for (int i = 0; i < jobs.size(); ++i) {
            QFile f(jobs[i]);
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QImage dots = zltest::decodeZplGraphic(f.readAll());
            QVERIFY2(!dots.isNull(), qPrintable(jobs[i] + QStringLiteral(" holds no ZPL graphic")));
            // 2 x 1 inch stock at the queue's resolution, dot for dot.
            QCOMPARE(dots.width(), ((2 * dpi + 7) / 8) * 8);
            QCOMPARE(dots.height(), dpi);
            const QString v = values[i];
            const QString expected = v.size() == 7 || v.size() == 12 ? v + QString::number(zl::label::janCheckDigit(v)) : v;
            const QStringList scanned = zltest::decodeBarcodes(dots);
            QVERIFY2(scanned.size() == 1 && scanned.first().endsWith(QLatin1Char(':') + expected),
                     qPrintable(QStringLiteral("%1: read %2, expected %3").arg(jobs[i], scanned.join(QLatin1Char(' ')), expected)));
            // Every bar and space a whole number of modules of the same dots.
            const QList<int> runs = zltest::runsAlong(dots, zltest::barRow(dots));
            QCOMPARE(runs.size(), expected.size() == 8 ? 43 : 59);
            const int module = *std::min_element(runs.begin(), runs.end());
            QVERIFY(module >= 1);
            for (int r : runs)
                QVERIFY2(r % module == 0 && r <= 4 * module,
                         qPrintable(QStringLiteral("%1: a run of %2 dots with %3-dot modules").arg(jobs[i]).arg(r).arg(module)));
            // What CUPS received for the job.
            const QMap<QString, QString> attrs = zltest::jobAttributes(server, zltest::jobIdOf(jobs[i]));
            QCOMPARE(attrs.value(QStringLiteral("Resolution")), QStringLiteral("%1dpi").arg(dpi));
            QCOMPARE(attrs.value(QStringLiteral("media")), QStringLiteral("w144h72"));
            QCOMPARE(attrs.value(QStringLiteral("copies"), QStringLiteral("1")), QStringLiteral("1"));
        }
    }

    // A scheduler that has stopped answering, or a print server that is
    // down: printing to the built-in PDF printer named on the command line
    // goes ahead; printing to a queue, named or stored as the default, ends
    // with a message naming the print system; nothing hangs, and nothing
    // goes silently to another printer.
    void unansweringPrintSystemNeitherHangsNorPrintsSilently_data()
    {
        QTest::addColumn<QString>("printer"); // empty: the stored default
        QTest::addColumn<QString>("server");  // empty: the test scheduler, frozen
        QTest::addColumn<int>("exitZero");
        QTest::addColumn<QString>("message");
        QTest::newRow("frozen, built-in PDF printer") << QStringLiteral("Zenlabo PDF") << QString() << 1
                                                      << QStringLiteral("印刷しました");
        QTest::newRow("frozen, label queue") << m_queues.value(1) << QString() << 0 << QStringLiteral("応答しな");
        QTest::newRow("frozen, stored default queue") << QString() << QString() << 0 << QStringLiteral("8秒以内に応答しません");
        // Nothing listens on port 9 of this machine.
        QTest::newRow("print server down, stored default") << QString() << QStringLiteral("127.0.0.1:9") << 0
                                                           << QStringLiteral("CUPS)に接続できません");
        QTest::newRow("print server down, named queue") << m_queues.value(1) << QStringLiteral("127.0.0.1:9") << 0
                                                        << QStringLiteral("CUPS)に接続できません");
    }

    void unansweringPrintSystemNeitherHangsNorPrintsSilently()
    {
        QFETCH(QString, printer);
        QFETCH(QString, server);
        QFETCH(int, exitZero);
        QFETCH(QString, message);
        const QString pid = server.isEmpty() ? zltest::schedulerPid() : QString();
        if (server.isEmpty() && pid.isEmpty())
            QSKIP("the test scheduler's process id is not known");
        zltest::TempHome home;
        home.installDefaults();
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home.root());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.root() + QStringLiteral("/config"));
        if (!server.isEmpty())
            env.insert(QStringLiteral("CUPS_SERVER"), server);
        p.setProcessEnvironment(env);
        zltest::FrozenScheduler frozen(pid);
        QVERIFY(frozen.frozen() == !pid.isEmpty());
        QElapsedTimer t;
        t.start();
        QStringList args{QStringLiteral("--print")};
        if (!printer.isEmpty())
            args << QStringLiteral("--printer") << printer;
        p.start(QStringLiteral(ZENLABO_BINARY), args);
        const bool ended = p.waitForFinished(60000);
        if (!ended)
            p.kill();
        QVERIFY2(ended, "the program still waits for the scheduler after 60 s");
        const QString said = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
        QCOMPARE(p.exitCode() == 0, exitZero == 1);
        QVERIFY2(said.contains(message), qPrintable(said));
        if (!exitZero)
            QVERIFY2(!said.contains(QStringLiteral("Zenlabo PDF」に印刷しました")), qPrintable(said));
        qInfo("%s: ended after %lld ms", qPrintable(printer), t.elapsed());
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

    QStringList m_queues;
    QString m_spool;
    QString m_slow, m_cancel, m_fail;
};

ZL_TEST(CupsRunTest)
#include "CupsRunTest.moc"
