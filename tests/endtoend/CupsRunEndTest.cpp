// Print runs of the program itself into CUPS queues whose printers take
// their time, cancel, fail or hold the job (the schedulers scripts/test
// starts): how a run ends and what it counts as printed.
#include "DeviceOutput.h"
#include "PdfPages.h"
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
#include <functional>
#include <memory>
#include <optional>
#include <vector>

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

    // Through `zenlabo --print`, one table: printers that cancel or fail
    // the job, a job the queue holds, a printer that keeps the job in hand
    // ("gated") until the test lets it go on. Meanwhile: Ctrl-C, the queue
    // deleted, the held job released, a second run at once, the scheduler
    // restarted or frozen past the program's time limit. The run is one
    // job holding all its labels; it ends when they are out; the count it
    // gives is what reached the device, or is said to be unknown (the test
    // printers are raw queues, which count no pages), with no row named
    // then; nothing of the run is left queued.
    void runEndsWhenItsLabelsAreOut_data()
    {
        QTest::addColumn<QString>("queue");
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("said");
        QTest::addColumn<QString>("notSaid");
        const QString held = QStringLiteral("ZenlaboHeld"), gated = QStringLiteral("ZenlaboGated");
        const QStringList all{QStringLiteral("12枚のラベルを「%1」に印刷しました。").arg(gated)};
        QTest::newRow("slow printer") << m_slow << QString() << 0 << QStringList{QStringLiteral("12枚のラベル")} << QString();
        QTest::newRow("printer cancels the job") << m_cancel << QString() << 1
                                                 << QStringList{QStringLiteral("用紙切れ"), QStringLiteral("分かりません")}
                                                 << QStringLiteral("--from");
        QTest::newRow("job aborted, a jam") << m_fail << QString() << 1
                                            << QStringList{QStringLiteral("紙詰まり"), QStringLiteral("分かりません")}
                                            << QStringLiteral("label jam");
        QTest::newRow("Ctrl-C while the job is held")
            << held << QStringLiteral("SIGINT") << 1 << QStringList{QStringLiteral("中断しました。0枚"), QStringLiteral("--from 1 ")}
            << QString();
        QTest::newRow("queue deleted while the job is held")
            << held << QStringLiteral("delete") << 1 << QStringList{QStringLiteral("消えました"), QStringLiteral("--from 1 ")}
            << QString();
        QTest::newRow("held job released") << held << QStringLiteral("release") << 0 << QStringList{QStringLiteral("12枚のラベル")}
                                           << QString();
        QTest::newRow("Ctrl-C while the job is at the printer")
            << gated << QStringLiteral("SIGINT") << 1 << QStringList{QStringLiteral("分かりません")} << QStringLiteral("--from");
        QTest::newRow("two runs at once") << gated << QStringLiteral("second run") << 0 << all << QStringLiteral("--from");
        QTest::newRow("scheduler restarted while the job prints")
            << gated << QStringLiteral("restart") << 0 << all << QStringLiteral("--from");
        QTest::newRow("scheduler frozen past the time limit while the job prints")
            << gated << QStringLiteral("SIGSTOP") << 0 << all << QStringLiteral("--from");
    }

    void runEndsWhenItsLabelsAreOut()
    {
        QFETCH(QString, queue);
        QFETCH(QString, meanwhile);
        QFETCH(int, exitCode);
        QFETCH(QStringList, said);
        QFETCH(QString, notSaid);
        if (m_slow.isEmpty())
            QSKIP("the test scheduler has no cancelling, failing and slow printers (ZENLABO_TEST_OUTCOME_QUEUES)");
        if ((meanwhile == QLatin1String("restart") || meanwhile == QLatin1String("SIGSTOP")) && zltest::schedulerPid().isEmpty())
            QSKIP("the test scheduler's process id is not known");
        zltest::TempHome home;
        home.installDefaults();
        const QString folder = m_spool + QLatin1Char('/') + queue;
        const bool gated = queue == QLatin1String("ZenlaboGated");
        // The gated printer keeps the job in hand while this file is there.
        const QString gate = folder + QStringLiteral("/gate");
        std::optional<TestQueue> own;
        if (gated) {
            QDir().mkpath(folder);
            QVERIFY(QFile(gate).open(QIODevice::WriteOnly));
            own.emplace(queue, folder, QStringList(), QStringLiteral("?gate=") + gate);
        } else if (!meanwhile.isEmpty()) {
            own.emplace(queue, folder, QStringList{QStringLiteral("-o"), QStringLiteral("job-hold-until-default=indefinite")});
        }
        std::optional<zltest::FrozenScheduler> frozen;
        // A scheduler a failed check left stopped or frozen runs again, a
        // printer left waiting goes on.
        auto cleanUp = qScopeGuard([&] {
            frozen.reset();
            if (meanwhile == QLatin1String("restart"))
                zltest::startScheduler();
            QFile::remove(gate);
        });
        const QStringList jobsBefore = zltest::jobFiles(folder);
        std::vector<std::unique_ptr<QProcess>> runs;
        QByteArray said1; // what the first run said so far
        auto startRun = [&] {
            auto &p = runs.emplace_back(std::make_unique<QProcess>());
            p->setProcessChannelMode(QProcess::MergedChannels);
            p->start(QStringLiteral(ZENLABO_BINARY),
                     {QStringLiteral("--print"), QStringLiteral("--printer"), queue, QStringLiteral("--verbose")});
            return p->waitForStarted();
        };
        // Reads the first run until `done` holds; false once it has ended
        // before, or after a minute (less than the program waits for a
        // scheduler that does not answer).
        auto waitFor = [&](const std::function<bool()> &done) {
            for (QDeadlineTimer givenUp(60000); !done();) {
                if (runs.front()->state() != QProcess::Running || givenUp.hasExpired())
                    return false;
                runs.front()->waitForReadyRead(50);
                said1 += runs.front()->readAll();
            }
            return true;
        };
        const QString waiting = QStringLiteral("印刷システムの応答を待っています");
        auto saying = [&](const QString &words) { return [&, words] { return QString::fromUtf8(said1).contains(words); }; };
        QVERIFY(startRun());
        if (!meanwhile.isEmpty()) {
            // Once the run says the queue holds its job; or once the gated
            // printer has it in hand.
            QVERIFY2(waitFor(gated ? std::function<bool()>([&] { return printing(queue); }) : saying(QStringLiteral("保留"))),
                     said1.right(500).constData());
            if (meanwhile == QLatin1String("SIGINT")) {
                ::kill(pid_t(runs.front()->processId()), SIGINT);
            } else if (meanwhile == QLatin1String("delete")) {
                QCOMPARE(QProcess::execute(QStringLiteral("lpadmin"), {QStringLiteral("-x"), queue}), 0);
            } else if (meanwhile == QLatin1String("release")) {
                QCOMPARE(QProcess::execute(QStringLiteral("lp"), {QStringLiteral("-i"), jobsOf(queue).value(0),
                                                                  QStringLiteral("-H"), QStringLiteral("resume")}),
                         0);
            } else if (meanwhile == QLatin1String("second run")) {
                QVERIFY(startRun());
                QVERIFY2(waitFor([&] { return jobsOf(queue).size() == 2; }), said1.right(500).constData());
            } else if (meanwhile == QLatin1String("restart")) {
                QVERIFY(zltest::stopScheduler());
                QVERIFY2(waitFor(saying(waiting)), said1.right(500).constData());
                QVERIFY(zltest::startScheduler());
            } else if (meanwhile == QLatin1String("SIGSTOP")) {
                frozen.emplace(zltest::schedulerPid());
                QVERIFY(frozen->frozen());
                // Past the time the program gives one question: a shorter
                // stop only slows an answer down.
                const QDeadlineTimer pastTheLimit((zl::printer::cupsTimeLimitSeconds() + 4) * 1000);
                QVERIFY2(waitFor([&] { return saying(waiting)() && pastTheLimit.hasExpired(); }), said1.right(500).constData());
                frozen.reset();
            }
            QFile::remove(gate);
        }
        int printed = 0;
        for (auto &p : runs) {
            QVERIFY(p->state() == QProcess::NotRunning || p->waitForFinished(120000));
            const QString text = QString::fromUtf8((p == runs.front() ? said1 : QByteArray()) + p->readAll());
            QVERIFY2(p->exitStatus() == QProcess::NormalExit && p->exitCode() == exitCode, qPrintable(text.right(500)));
            for (const QString &words : said)
                QVERIFY2(text.contains(words), qPrintable(QStringLiteral("「%1」 not in: %2").arg(words, text.right(500))));
            QVERIFY2(notSaid.isEmpty() || !text.contains(notSaid), qPrintable(text.right(500)));
            static const QRegularExpression count(QStringLiteral("(\\d+)枚のラベルを|(1)枚も|印刷が確かな"));
            const QRegularExpressionMatch m = count.match(text);
            QVERIFY2(m.hasMatch(), qPrintable(text.right(500)));
            printed += m.captured(1).toInt();
        }
        if (meanwhile != QLatin1String("delete"))
            QVERIFY(jobsOf(queue).isEmpty());
        // What came out is what was counted, each run's labels one job
        // together: never a label counted that did not reach the device,
        // nor one that reached it twice.
        int out = 0;
        for (const QString &job : zltest::jobFiles(folder)) {
            if (jobsBefore.contains(job))
                continue;
            const int labels = zltest::pdfPageCount(job);
            QCOMPARE(labels, 12);
            out += labels;
        }
        QCOMPARE(out, printed);
    }

    // The cancel button clicked in the progress window while the scheduler,
    // frozen, has not answered the first label's question: the run ends at
    // once (a cancel not honoured would end it only by the time limit, a
    // minute later, with another message), with nothing printed or queued.
    void cancelInTheWindowWhileTheSchedulerIsFrozen()
    {
        const QString pid = zltest::schedulerPid();
        if (m_slow.isEmpty() || pid.isEmpty())
            QSKIP("the test scheduler has no slow printer, or its process id is not known");
        zltest::TempHome home;
        home.installDefaults();
        const QString folder = m_spool + QLatin1Char('/') + m_slow;
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
        // Clicked once the run's question waits at the frozen scheduler.
        const QString socket = qEnvironmentVariable("CUPS_SERVER");
        bool clicked = false;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                if (!clicked && w->isVisible() && w->findChild<QLabel *>(QStringLiteral("lblcounts"))
                    && zltest::waitingConnections(socket) > 0) {
                    QTest::mouseClick(w->findChild<QPushButton *>(QStringLiteral("comcancel1")), Qt::LeftButton);
                    clicked = true;
                }
            }
        });
        watch.start(10);
        const int before = int(zltest::jobFiles(folder).size());
        QWidget *screen = zl::ui::ScreenRegistry::instance().show(QStringLiteral("F_CustInput"));
        zl::printer::setCupsTimeLimitSeconds(60);
        stopped.emplace(pid);
        QVERIFY(stopped->frozen());
        screen->findChild<QPushButton *>(QStringLiteral("Command3"))->click();
        stopped.reset();
        delete screen;
        QVERIFY(clicked);
        QVERIFY(jobsOf(m_slow).isEmpty());
        QCOMPARE(int(zltest::jobFiles(folder).size()), before);
        QVERIFY2(!messages.isEmpty()
                     && messages.last().text.contains(QStringLiteral("印刷をキャンセルしました。ラベルは1枚も印刷していません")),
                 qPrintable(messages.isEmpty() ? QString() : messages.last().text));
    }

private:
    // A slow raw queue of the test's own, with `options` and its device
    // URI's `query`, gone with it.
    struct TestQueue {
        QString name;
        TestQueue(const QString &queue, const QString &folder, const QStringList &options, const QString &query = QString())
            : name(queue)
        {
            QDir().mkpath(folder);
            QFile(folder).setPermissions(QFileDevice::Permissions(0x7777));
            QProcess::execute(QStringLiteral("lpadmin"), QStringList{QStringLiteral("-p"), queue, QStringLiteral("-E"),
                                                                     QStringLiteral("-v"), QStringLiteral("zenlabo-slow:") + folder + query,
                                                                     QStringLiteral("-m"), QStringLiteral("raw")}
                                                             + options);
        }
        ~TestQueue() { QProcess::execute(QStringLiteral("lpadmin"), {QStringLiteral("-x"), name}); }
    };

    // The queue's printer has a job in hand.
    static bool printing(const QString &queue)
    {
        QProcess lpstat;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
        lpstat.setProcessEnvironment(env);
        lpstat.start(QStringLiteral("lpstat"), {QStringLiteral("-p"), queue});
        lpstat.waitForFinished();
        return lpstat.readAllStandardOutput().contains(" now printing ");
    }

    // The ids of the queue's jobs not yet ended.
    static QStringList jobsOf(const QString &queue)
    {
        QProcess lpstat;
        lpstat.start(QStringLiteral("lpstat"), {QStringLiteral("-o"), queue});
        lpstat.waitForFinished();
        QStringList ids;
        for (const QString &line : QString::fromUtf8(lpstat.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            ids << line.section(QLatin1Char(' '), 0, 0).section(QLatin1Char('-'), -1);
        return ids;
    }

    QString m_spool;
    QString m_slow, m_cancel, m_fail;
};

ZL_TEST(CupsRunEndTest)
#include "CupsRunEndTest.moc"
