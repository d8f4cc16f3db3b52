// Print runs of the program itself into CUPS queues whose printers take
// their time, cancel or fail every job (the schedulers scripts/test
// starts): how a run ends, what it counts as printed, and what it asks the
// scheduler on the way.
#include "DeviceOutput.h"
#include "PdfPages.h"
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

    // Printers that take their time, cancel or fail the job, and a job the
    // queue holds, through `zenlabo --print`: the run is one job, it ends
    // when its labels are out, the count it gives is what reached the
    // device or is said to be unknown (the test printers are raw queues,
    // which count no pages), the row to go on from follows from it, and
    // nothing of the run is left queued. What the run asks the scheduler is
    // counted on the way: one Print-Job, over one connection (a second
    // carries a cancel out).
    void runEndsWhenItsLabelsAreOut_data()
    {
        QTest::addColumn<QString>("queue");
        QTest::addColumn<QStringList>("range");
        // While the job is held, or at a gated printer: "SIGINT", "delete"
        // the queue, "release" the job; and those below.
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("said");
        QTest::addColumn<QString>("notSaid");
        // "Operation=count", "Operation<=count" or "connections<=count"
        // (those that asked anything of the run's).
        QTest::addColumn<QStringList>("traffic");
        const QStringList four{QStringLiteral("--from"), QStringLiteral("1"), QStringLiteral("--to"), QStringLiteral("4")};
        const QStringList one{QStringLiteral("connections<=1"), QStringLiteral("Print-Job=1"), QStringLiteral("Create-Job=0"),
                              QStringLiteral("Get-Jobs=0")};
        const QString held = QStringLiteral("ZenlaboHeld");
        QTest::newRow("slow printer, every label")
            << m_slow << four << QString() << 0 << QStringList{QStringLiteral("4枚のラベル")} << QString() << one;
        // A raw queue counts no pages: a job it ended otherwise may have
        // printed any of its labels, and no row is named.
        QTest::newRow("printer cancels the job")
            << m_cancel << four << QString() << 1 << QStringList{QStringLiteral("用紙切れ"), QStringLiteral("分かりません")}
            << QStringLiteral("--from") << one;
        QTest::newRow("job aborted, a jam")
            << m_fail << four << QString() << 1 << QStringList{QStringLiteral("紙詰まり"), QStringLiteral("分かりません")}
            << QStringLiteral("label jam") << one;
        QTest::newRow("Ctrl-C while the job is held")
            << held << QStringList() << QStringLiteral("SIGINT") << 1
            << QStringList{QStringLiteral("中断しました。0枚"), QStringLiteral("--from 1 ")} << QString()
            << QStringList{QStringLiteral("connections<=2"), QStringLiteral("Print-Job=1"), QStringLiteral("Cancel-Job=1")};
        QTest::newRow("queue deleted while the job is held")
            << held << QStringList() << QStringLiteral("delete") << 1
            << QStringList{QStringLiteral("消えました"), QStringLiteral("--from 1 ")} << QString() << QStringList();
        QTest::newRow("held job released") << held << QStringList() << QStringLiteral("release") << 0
                                           << QStringList{QStringLiteral("12枚のラベル")} << QString() << QStringList{};
        // A queue whose printer keeps the job in hand until the test lets
        // it go on. Once it has the job: Ctrl-C (a raw queue cannot tell how
        // far the printer got); a "second run" at once on the queue, the
        // printer waiting for both jobs; the scheduler stopped until the run
        // says it waits for it, and started again ("restart"); or frozen for
        // longer than the program waits for an answer ("SIGSTOP"). The run
        // follows its job to the end: every label out once, none named to
        // be printed again.
        const QString gated = QStringLiteral("ZenlaboGated");
        const QStringList all{QStringLiteral("12枚のラベルを「%1」に印刷しました。").arg(gated)};
        QTest::newRow("Ctrl-C while the job is at the printer")
            << gated << QStringList() << QStringLiteral("SIGINT") << 1 << QStringList{QStringLiteral("分かりません")}
            << QStringLiteral("--from") << QStringList();
        QTest::newRow("two runs at once, a job each")
            << gated << QStringList() << QStringLiteral("second run") << 0 << all << QStringLiteral("--from")
            << QStringList{QStringLiteral("Print-Job=2"), QStringLiteral("Create-Job=0")};
        QTest::newRow("scheduler restarted while the job prints")
            << gated << QStringList() << QStringLiteral("restart") << 0 << all << QStringLiteral("--from") << QStringList();
        QTest::newRow("scheduler frozen past the time limit while the job prints")
            << gated << QStringList() << QStringLiteral("SIGSTOP") << 0 << all << QStringLiteral("--from") << QStringList();
    }

    void runEndsWhenItsLabelsAreOut()
    {
        QFETCH(QString, queue);
        QFETCH(QStringList, range);
        QFETCH(QString, meanwhile);
        QFETCH(int, exitCode);
        QFETCH(QStringList, said);
        QFETCH(QString, notSaid);
        QFETCH(QStringList, traffic);
        if (m_slow.isEmpty())
            QSKIP("the test scheduler has no cancelling, failing and slow printers (ZENLABO_TEST_OUTCOME_QUEUES)");
        if ((meanwhile == QLatin1String("restart") || meanwhile == QLatin1String("SIGSTOP")) && zltest::schedulerPid().isEmpty())
            QSKIP("the test scheduler's process id is not known");
        const QString scheduler = qEnvironmentVariable("CUPS_SERVER");
        const zltest::IppProxy proxy(scheduler, {});
        zltest::TempHome home;
        home.installDefaults();
        const QString folder = m_spool + QLatin1Char('/') + queue;
        const bool gated = queue == QLatin1String("ZenlaboGated");
        // The gated queue's printer keeps the job in hand while this is there.
        const QString gate = folder + QStringLiteral("/gate");
        std::optional<TestQueue> own;
        if (gated) {
            QDir().mkpath(folder);
            QFile closed(gate);
            QVERIFY(closed.open(QIODevice::WriteOnly));
            own.emplace(queue, folder, QStringList(), QStringLiteral("?gate=") + gate);
        } else if (!meanwhile.isEmpty()) {
            own.emplace(queue, folder, QStringList{QStringLiteral("-o"), QStringLiteral("job-hold-until-default=indefinite")});
        }
        std::optional<zltest::FrozenScheduler> frozen;
        // Before the queue goes: a scheduler a failed check left stopped
        // or frozen runs again, a printer left waiting goes on.
        auto cleanUp = qScopeGuard([&] {
            frozen.reset();
            if (meanwhile == QLatin1String("restart"))
                zltest::startScheduler();
            QFile::remove(gate);
        });
        const int before = labelsIn(folder, 0);
        // With something done meanwhile, the run tells what it waits for.
        const QStringList verbose = meanwhile.isEmpty() ? QStringList() : QStringList{QStringLiteral("--verbose")};
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // Through the counting proxy where the row counts what is asked;
        // else the scheduler itself, which may go away and come back.
        env.insert(QStringLiteral("CUPS_SERVER"), traffic.isEmpty() ? scheduler : proxy.socket());
        struct Run {
            std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
            QByteArray out, err;
            QString text() const { return QString::fromUtf8(out + err); }
            // For a failure's message, which Qt Test cuts at 1 KB: how the
            // run ended and its last words.
            QString shown() const
            {
                const QString status = process->state() != QProcess::NotRunning ? QStringLiteral("running")
                    : process->exitStatus() == QProcess::CrashExit             ? QStringLiteral("crashed")
                                                                                : QStringLiteral("exit %1").arg(process->exitCode());
                return QStringLiteral("[%1] …%2").arg(status, text().right(120));
            }
        };
        std::vector<Run> started;
        auto startRun = [&] {
            Run &r = started.emplace_back();
            r.process->setProcessEnvironment(env);
            r.process->start(QStringLiteral(ZENLABO_BINARY),
                             QStringList{QStringLiteral("--print"), QStringLiteral("--printer"), queue} + range + verbose);
            return r.process->waitForStarted();
        };
        auto shownOfAll = [&] {
            QString all;
            for (const Run &r : started)
                all += r.shown() + QLatin1Char('\n');
            return all;
        };
        // Reads what the runs say until `done` holds: false once every run
        // has ended before, or after a minute (less than the program waits
        // for a scheduler that does not answer).
        auto waitFor = [&](const std::function<bool()> &done) {
            for (QDeadlineTimer givenUp(60000);;) {
                bool ended = true;
                for (Run &r : started) {
                    r.process->waitForReadyRead(100 / int(started.size()));
                    r.out += r.process->readAllStandardOutput();
                    r.err += r.process->readAllStandardError();
                    ended = ended && r.process->state() != QProcess::Running;
                }
                if (done())
                    return true;
                if (ended || givenUp.hasExpired())
                    return false;
            }
        };
        auto saysSoFar = [&](const char *words) { return started.front().err.contains(words); };
        const char *waiting = "印刷システムの応答を待っています";
        QVERIFY(startRun());
        if (!meanwhile.isEmpty()) {
            // Once the job is held at the queue, as the run says; or in the
            // gated printer's hands.
            QVERIFY2(waitFor([&] { return gated ? printing(queue) : saysSoFar("保留"); }), qPrintable(shownOfAll()));
            if (meanwhile == QLatin1String("SIGINT")) {
                ::kill(pid_t(started.front().process->processId()), SIGINT);
            } else if (meanwhile == QLatin1String("delete")) {
                QCOMPARE(QProcess::execute(QStringLiteral("lpadmin"), {QStringLiteral("-x"), queue}), 0);
            } else if (meanwhile == QLatin1String("release")) {
                QCOMPARE(QProcess::execute(QStringLiteral("lp"), {QStringLiteral("-i"), heldJob(queue), QStringLiteral("-H"),
                                                                  QStringLiteral("resume")}),
                         0);
            } else if (meanwhile == QLatin1String("second run")) {
                QVERIFY(startRun());
                QVERIFY2(waitFor([&] { return queuedJobs(queue) == 2; }), qPrintable(shownOfAll()));
                QFile::remove(gate);
            } else if (meanwhile == QLatin1String("restart")) {
                QVERIFY(zltest::stopScheduler());
                // Down until the run has noticed.
                QVERIFY2(waitFor([&] { return saysSoFar(waiting); }), qPrintable(shownOfAll()));
                QVERIFY(zltest::startScheduler());
                QFile::remove(gate);
            } else if (meanwhile == QLatin1String("SIGSTOP")) {
                frozen.emplace(zltest::schedulerPid());
                QVERIFY(frozen->frozen());
                // Past the time the program gives one question: a shorter
                // stop only slows an answer down.
                const QDeadlineTimer pastTheLimit((zl::printer::cupsTimeLimitSeconds() + 4) * 1000);
                QVERIFY2(waitFor([&] { return saysSoFar(waiting) && pastTheLimit.hasExpired(); }), qPrintable(shownOfAll()));
                frozen.reset();
                QFile::remove(gate);
            }
        }
        int printed = 0;
        for (Run &r : started) {
            const bool ended = r.process->state() == QProcess::NotRunning || r.process->waitForFinished(120000);
            r.out += r.process->readAllStandardOutput();
            r.err += r.process->readAllStandardError();
            const QString text = r.text();
            QVERIFY2(ended && r.process->exitStatus() == QProcess::NormalExit && r.process->exitCode() == exitCode,
                     qPrintable(r.shown()));
            for (const QString &words : said)
                QVERIFY2(text.contains(words), qPrintable(QStringLiteral("「%1」 not in: %2").arg(words, r.shown())));
            QVERIFY2(notSaid.isEmpty() || !text.contains(notSaid), qPrintable(r.shown()));
            static const QRegularExpression count(QStringLiteral("(\\d+)枚のラベル|(1)枚も|印刷が確かな"));
            const QRegularExpressionMatch m = count.match(text);
            QVERIFY2(m.hasMatch(), qPrintable(r.shown()));
            printed += m.captured(1).toInt();
        }
        if (meanwhile != QLatin1String("delete"))
            QCOMPARE(queuedJobs(queue), 0);
        // Never a label counted that did not reach the device, nor one
        // that reached it twice.
        const int out = labelsIn(folder, before);
        QVERIFY2(printed == out, qPrintable(QStringLiteral("%1 labels on the device: %2").arg(out).arg(shownOfAll())));

        const QMap<QString, int> asked = proxy.operations();
        static const QStringList runs{QStringLiteral("Print-Job"), QStringLiteral("Create-Job"), QStringLiteral("Get-Jobs"),
                                      QStringLiteral("Get-Job-Attributes"), QStringLiteral("Cancel-Job")};
        QString seen = QStringLiteral("connections %1;").arg(proxy.connectionsAsking(runs));
        for (auto a = asked.begin(); a != asked.end(); ++a)
            seen += QStringLiteral(" %1 %2").arg(a.key()).arg(a.value());
        qInfo("%s", qPrintable(seen));
        static const QRegularExpression expectation(QStringLiteral("^([\\w-]+)(=|<=)(\\d+)$"));
        for (const QString &e : traffic) {
            const QRegularExpressionMatch m = expectation.match(e);
            QVERIFY(m.hasMatch());
            const int n = m.captured(1) == QLatin1String("connections") ? proxy.connectionsAsking(runs)
                                                                          : asked.value(m.captured(1));
            const int want = m.captured(3).toInt();
            QVERIFY2(m.captured(2) == QLatin1String("=") ? n == want : n <= want,
                     qPrintable(QStringLiteral("%1, but %2").arg(e, seen)));
        }
    }

    // The cancel button clicked in the progress window while the queue
    // holds the run's job (the window says so), or while the scheduler,
    // frozen, has not answered the first label's question. The run ends at
    // once, the queue is empty afterwards and nothing reached the device.
    void cancelInTheWindowTakesBackTheQueuedLabels_data()
    {
        QTest::addColumn<bool>("frozen");
        QTest::newRow("job held at the queue") << false;
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
        const QString queue = frozen ? m_slow : QStringLiteral("ZenlaboHeld");
        const QString folder = m_spool + QLatin1Char('/') + queue;
        std::optional<TestQueue> held;
        if (!frozen)
            held.emplace(queue, folder, QStringList{QStringLiteral("-o"), QStringLiteral("job-hold-until-default=indefinite")});
        zl::printer::installSystemPrinters(nullptr);
        zl::printer::Printer *slow = zl::printer::findPrinter(queue);
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
                if (frozen ? zltest::waitingConnections(socket) > 0 : counts->text().contains(QStringLiteral("保留"))) {
                    QTest::mouseClick(w->findChild<QPushButton *>(QStringLiteral("comcancel1")), Qt::LeftButton);
                    clicked = true;
                }
            }
        });
        watch.start(10);
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
        QCOMPARE(queuedJobs(queue), 0);
        QCOMPARE(messages.size(), 1 + int(messages.size() > 1)); // the check's question, if any, then the end
        const int out = int(zltest::jobFiles(folder).size()) - before;
        const QString said = messages.last().text;
        static const QRegularExpression count(QStringLiteral("この印刷では(\\d+)枚"));
        const int printed = count.match(said).captured(1).toInt();
        QVERIFY2(out == 0 && printed == 0 && said.contains(QStringLiteral("印刷をキャンセルしました。ラベルは1枚も印刷していません")),
                 qPrintable(said));
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

    // Labels a raw queue's device got in its jobs after the first `skip`
    // labels: the pages of the PDFs it was passed.
    static int labelsIn(const QString &folder, int skip)
    {
        int labels = 0;
        for (const QString &job : zltest::jobFiles(folder))
            labels += std::max(0, zltest::pdfPageCount(job));
        return labels - skip;
    }

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

    // The id of the queue's held job.
    static QString heldJob(const QString &queue)
    {
        QProcess lpstat;
        lpstat.start(QStringLiteral("lpstat"), {QStringLiteral("-o"), queue});
        lpstat.waitForFinished();
        const QString line = QString::fromUtf8(lpstat.readAllStandardOutput()).section(QLatin1Char(' '), 0, 0);
        return line.section(QLatin1Char('-'), -1);
    }

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
