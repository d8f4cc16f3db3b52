// Print runs of the program itself into CUPS queues whose printers take
// their time, cancel, fail or hold the job (the schedulers scripts/test
// starts): how a run ends and what it counts as printed.
#include "DeviceOutput.h"
#include "PdfPages.h"
#include "TestEnv.h"
#include "TestRegistry.h"
#include "TestScheduler.h"
#include "Zbar.h"

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
#include <algorithm>
#include <csignal>
#include <functional>
#include <memory>
#include <numeric>
#include <optional>
#include <vector>

#include "printer/PrinterSetup.h"
#include "printing/PrintRun.h"
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
        QTest::newRow("printer cancels the job")
            << m_cancel << QString() << 1
            << QStringList{QStringLiteral("用紙切れ"), QStringLiteral("1行目〜12行目のラベルは、印刷されたかどうか分かりません"),
                           QStringLiteral("--from 1 ")}
            << QStringLiteral("保留");
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
            << gated << QStringLiteral("SIGINT") << 1 << QStringList{QStringLiteral("分かりません"), QStringLiteral("--from 1 ")}
            << QStringLiteral("印刷しました");
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

    // Runs of 30 labels stopped while their labels come out, on a printer
    // that reads the job at a label printer's pace and keeps what it read
    // (the stock Zebra ZPL driver), and on LPrint: what the program says
    // is checked against the labels decoded and scanned at the device.
    // Never a label counted that did not come out, never a row to go on
    // from past one that did not, exit 0 only with every label out, and
    // 「重複」 where the device got labels twice.
    void countNeverExceedsWhatCameOut_data()
    {
        QTest::addColumn<QString>("queue");     // pace, lprint or fail
        QTest::addColumn<QString>("meanwhile"); // what is done to the run or its job
        QTest::addColumn<int>("when");          // labels at the device (pace), processed (lprint)
        QTest::addColumn<QStringList>("said");
        QTest::newRow("Ctrl-C as the first label comes out") << "pace" << "SIGINT" << 1 << QStringList();
        QTest::newRow("Ctrl-C halfway") << "pace" << "SIGINT" << 12 << QStringList();
        QTest::newRow("SIGTERM") << "pace" << "SIGTERM" << 5 << QStringList();
        QTest::newRow("queue stopped") << "pace" << "cupsdisable" << 5 << QStringList{QStringLiteral("止まりました")};
        QTest::newRow("job held, then released") << "pace" << "hold" << 5 << QStringList{QStringLiteral("重複")};
        QTest::newRow("scheduler restarted") << "pace" << "restart" << 5 << QStringList{QStringLiteral("重複")};
        QTest::newRow("backend failing every job") << "fail" << QString() << 0
                                                   << QStringList{QStringLiteral("紙詰まり"), QStringLiteral("--from 1 ")};
        QTest::newRow("LPrint cancelled mid-run") << "lprint" << "SIGINT" << 3 << QStringList();
    }

    void countNeverExceedsWhatCameOut()
    {
        QFETCH(QString, queue);
        QFETCH(QString, meanwhile);
        QFETCH(int, when);
        QFETCH(QStringList, said);
        const QString pace = qEnvironmentVariable("ZENLABO_TEST_PACE_QUEUE");
        const QString lprint = qEnvironmentVariable("ZENLABO_TEST_LPRINT_QUEUE");
        if (pace.isEmpty() || lprint.isEmpty())
            QSKIP("the test scheduler has no printer that prints at a label printer's pace, or no LPrint");
        if (meanwhile == QLatin1String("restart") && zltest::schedulerPid().isEmpty())
            QSKIP("the test scheduler's process id is not known");
        zltest::TempHome home;
        writeThirtyItems(home);
        QString name = queue == QLatin1String("pace") ? pace : queue == QLatin1String("lprint") ? lprint : QStringLiteral("ZenlaboJam");
        const QString device = queue == QLatin1String("lprint") ? qEnvironmentVariable("ZENLABO_TEST_LPRINT_OUT")
                                                                 : m_spool + QLatin1Char('/') + name;
        auto cleanUp = qScopeGuard([&] {
            QProcess::execute(QStringLiteral("cancel"), {QStringLiteral("-a"), name});
            if (meanwhile == QLatin1String("restart") && !zltest::schedulerPid().isEmpty())
                zltest::startScheduler();
            if (queue == QLatin1String("fail"))
                QProcess::execute(QStringLiteral("lpadmin"), {QStringLiteral("-x"), name});
            else
                QProcess::execute(QStringLiteral("cupsenable"), {name});
        });
        if (queue == QLatin1String("fail")) {
            // The default error policy: the queue stops on the failing job.
            QDir().mkpath(device);
            QCOMPARE(QProcess::execute(QStringLiteral("lpadmin"),
                                       {QStringLiteral("-p"), name, QStringLiteral("-E"), QStringLiteral("-v"),
                                        QStringLiteral("zenlabo-fail:") + device, QStringLiteral("-m"),
                                        QStringLiteral("drv:///sample.drv/zebra.ppd")}),
                     0);
        }
        const QStringList before = zltest::jobFiles(device);
        // The labels that came out: new device files, and what the pace
        // printer is still reading.
        auto labelsAtDevice = [&] {
            QList<QImage> labels;
            for (const QString &file : zltest::jobFiles(device)) {
                QFile f(file);
                if (before.contains(file) || !f.open(QIODevice::ReadOnly))
                    continue;
                labels += completeZplLabels(f.readAll());
            }
            return labels;
        };
        auto countAtDevice = [&] {
            int n = 0;
            for (const QString &file : zltest::jobFiles(device)) {
                QFile f(file);
                if (!before.contains(file) && f.open(QIODevice::ReadOnly))
                    n += int(f.readAll().count("^XZ\n^XA\n^IDR"));
            }
            return n;
        };
        QProcess run;
        run.setProcessChannelMode(QProcess::MergedChannels);
        run.start(QStringLiteral(ZENLABO_BINARY), {QStringLiteral("--print"), QStringLiteral("--printer"), name, QStringLiteral("--verbose")});
        QVERIFY(run.waitForStarted());
        QByteArray text;
        auto waitFor = [&](const std::function<bool()> &done) {
            for (QDeadlineTimer givenUp(90000); !done();) {
                if (run.state() != QProcess::Running || givenUp.hasExpired())
                    return false;
                run.waitForReadyRead(50);
                text += run.readAll();
            }
            return true;
        };
        static const QRegularExpression processed(QStringLiteral("処理済み (\\d+) /"));
        auto processedAtLeast = [&](int n) {
            return [&, n] {
                int most = 0;
                for (auto it = processed.globalMatch(QString::fromUtf8(text)); it.hasNext();)
                    most = std::max(most, it.next().captured(1).toInt());
                return most >= n;
            };
        };
        if (!meanwhile.isEmpty()) {
            const bool started = queue == QLatin1String("lprint") ? waitFor(processedAtLeast(when))
                                                                   : waitFor([&] { return countAtDevice() >= when; });
            QVERIFY2(started, text.right(800).constData());
            if (meanwhile == QLatin1String("SIGINT") || meanwhile == QLatin1String("SIGTERM")) {
                ::kill(pid_t(run.processId()), meanwhile == QLatin1String("SIGINT") ? SIGINT : SIGTERM);
            } else if (meanwhile == QLatin1String("cupsdisable")) {
                QCOMPARE(QProcess::execute(QStringLiteral("cupsdisable"), {name}), 0);
            } else if (meanwhile == QLatin1String("hold")) {
                const QString job = jobsOf(name).value(0);
                QCOMPARE(QProcess::execute(QStringLiteral("lp"), {QStringLiteral("-i"), job, QStringLiteral("-H"), QStringLiteral("hold")}), 0);
                QVERIFY2(waitFor([&] { return text.contains("保留"); }), text.right(800).constData());
                QCOMPARE(QProcess::execute(QStringLiteral("lp"), {QStringLiteral("-i"), job, QStringLiteral("-H"), QStringLiteral("resume")}), 0);
            } else if (meanwhile == QLatin1String("restart")) {
                QVERIFY(zltest::stopScheduler());
                QVERIFY2(waitFor([&] { return text.contains("印刷システムの応答を待っています"); }), text.right(800).constData());
                QVERIFY(zltest::startScheduler());
            }
        }
        QVERIFY(run.state() == QProcess::NotRunning || run.waitForFinished(180000));
        text += run.readAll();
        const QString words = QString::fromUtf8(text);
        for (const QString &w : said)
            QVERIFY2(words.contains(w), qPrintable(QStringLiteral("「%1」 not in: %2").arg(w, words.right(800))));
        // What came out, by the rows its barcodes name.
        QMap<int, int> out; // row -> labels
        for (const QImage &label : labelsAtDevice()) {
            const QStringList codes = zltest::decodeBarcodes(label);
            QVERIFY2(!codes.isEmpty(), "a label at the device does not scan");
            ++out[codes.first().mid(codes.first().indexOf(QLatin1Char(':')) + 1).left(12).right(4).toInt()];
        }
        const int counted = countedPrinted(words);
        const QString seen = QStringLiteral("rows out %1; said: %2").arg(out.size()).arg(words.right(800));
        QVERIFY2(counted <= out.size(), qPrintable(seen));
        static const QRegularExpression from(QStringLiteral("--from (\\d+)"));
        if (const QRegularExpressionMatch f = from.match(words); f.hasMatch())
            for (int row = 1; row < f.captured(1).toInt(); ++row)
                QVERIFY2(out.contains(row), qPrintable(QStringLiteral("row %1 skipped; %2").arg(row).arg(seen)));
        QVERIFY2(run.exitCode() != 0 || out.size() == 30, qPrintable(seen));
        const QRegularExpressionMatch fromRow = from.match(words);
        qInfo("%s: exit %d, %d counted printed, %d rows out at the device (%lld labels), go on from %s", qPrintable(name),
              run.exitCode(), counted, int(out.size()), qlonglong(std::accumulate(out.begin(), out.end(), 0)),
              fromRow.hasMatch() ? qPrintable(fromRow.captured(1)) : "-");
        bool twice = false;
        for (const int n : out)
            twice = twice || n > 1;
        QVERIFY2(!twice || words.contains(QStringLiteral("重複")), qPrintable(seen));
    }

    // The same through the screens: the progress window shows what was
    // sent, processed and is known printed while the pace printer works
    // through a run; キャンセル once labels come out ends the run with a
    // message that counts no more than the device got and is never only
    // the end message.
    void progressWindowCountsAndCancelThroughTheScreens()
    {
        const QString pace = qEnvironmentVariable("ZENLABO_TEST_PACE_QUEUE");
        if (pace.isEmpty())
            QSKIP("the test scheduler has no printer that prints at a label printer's pace");
        zltest::TempHome home;
        writeThirtyItems(home);
        const QString device = m_spool + QLatin1Char('/') + pace;
        const QStringList before = zltest::jobFiles(device);
        ScreensOnQueue screens(pace);
        QVERIFY(screens.printer);
        auto cancelLeftOvers = qScopeGuard([&] { QProcess::execute(QStringLiteral("cancel"), {QStringLiteral("-a"), pace}); });
        const QList<zl::ui::ShownMessage> &messages = screens.messages;
        auto labelsOut = [&] {
            int n = 0;
            for (const QString &file : zltest::jobFiles(device)) {
                QFile f(file);
                if (!before.contains(file) && f.open(QIODevice::ReadOnly))
                    n += int(completeZplLabels(f.readAll()).size());
            }
            return n;
        };
        // The counts as the window showed them, and the cancel once three
        // labels are out.
        QStringList shown;
        bool clicked = false;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                auto *counts = w->isVisible() ? w->findChild<QLabel *>(QStringLiteral("lblcounts")) : nullptr;
                if (!counts)
                    continue;
                if (shown.isEmpty() || shown.last() != counts->text())
                    shown << counts->text();
                if (!clicked && labelsOut() >= 3) {
                    QTest::mouseClick(w->findChild<QPushButton *>(QStringLiteral("comcancel1")), Qt::LeftButton);
                    clicked = true;
                }
            }
        });
        watch.start(20);
        QWidget *screen = zl::ui::ScreenRegistry::instance().show(QStringLiteral("F_CustInput"));
        screen->findChild<QPushButton *>(QStringLiteral("Command3"))->click();
        watch.stop();
        QVERIFY(clicked);
        const QString said = messages.isEmpty() ? QString() : messages.last().text;
        const QString status = screen->findChild<QLabel *>(QStringLiteral("Label1"))->text();
        delete screen;
        static const QRegularExpression three(QStringLiteral("送信 30 / 30　処理済み \\d+ / 30　印刷済み \\d+ / 30"));
        QVERIFY2(std::any_of(shown.begin(), shown.end(), [](const QString &t) { return three.match(t).hasMatch(); }),
                 qPrintable(shown.join(QLatin1Char('|'))));
        QVERIFY2(said.startsWith(QStringLiteral("印刷をキャンセルしました。")) && !said.contains(zl::printing::kEndMessage),
                 qPrintable(said));
        QVERIFY2(countedPrinted(said) <= labelsOut(), qPrintable(said));
        QVERIFY2(status.startsWith(QStringLiteral("※印刷を中断しました!!")), qPrintable(status));
        qInfo("window showed %s; %d labels at the device; said: %s", qPrintable(shown.join(QStringLiteral(" | "))), labelsOut(),
              qPrintable(said));
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
        ScreensOnQueue screens(m_slow);
        QVERIFY(screens.printer);
        const QList<zl::ui::ShownMessage> &messages = screens.messages;
        std::optional<zltest::FrozenScheduler> stopped;
        auto restore = qScopeGuard([&] {
            stopped.reset();
            zl::printer::setCupsTimeLimitSeconds(8);
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
    // The print screens printing on `queue`, what the queue offers asked
    // already (so that a run's first question is its first label's),
    // message boxes recorded and questions answered yes; all put back after.
    struct ScreensOnQueue {
        QList<zl::ui::ShownMessage> messages;
        zl::printer::Printer *printer = nullptr;
        explicit ScreensOnQueue(const QString &queue)
        {
            zl::printer::installSystemPrinters(nullptr);
            // Asked as a run asks: waiting for the answers.
            const zl::printer::WaitingAllowed asARun;
            printer = zl::printer::findPrinter(queue);
            if (printer) {
                zl::printer::printers()->setCurrent(printer);
                printer->pageGeometry();
            }
            zl::ui::recordMessagesInto(&messages);
            zl::ui::answerQuestionsWith([](const zl::ui::ShownMessage &) { return true; });
            zl::ui::registerAllScreens(zl::ui::ScreenRegistry::instance());
            zl::ui::ScreenRegistry::instance().setHost(nullptr);
        }
        ~ScreensOnQueue()
        {
            zl::ui::recordMessagesInto(nullptr);
            zl::ui::answerQuestionsWith({});
            zl::ui::ScreenRegistry::instance().setHost(nullptr);
            zl::printer::installPrinters(nullptr);
        }
    };

    // Thirty records with barcodes that name their rows (…0001 to …0030).
    static void writeThirtyItems(zltest::TempHome &home)
    {
        home.installDefaults();
        QStringList values;
        for (int i = 1; i <= 30; ++i)
            values << QStringLiteral("49123450%1").arg(i, 4, 10, QLatin1Char('0'));
        home.writeItems(values);
    }

    // The labels a message says are printed.
    static int countedPrinted(const QString &said)
    {
        static const QRegularExpression count(QStringLiteral("印刷が確かなラベルは(\\d+)枚|(\\d+)枚のラベルを"));
        const QRegularExpressionMatch m = count.match(said);
        return m.hasMatch() ? (m.captured(1) + m.captured(2)).toInt() : 0;
    }

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

    // The labels of a ZPL job that reached the printer whole: a graphic
    // printed by the format after it. A job cut short and printed again
    // holds a graphic cut short, with no format, before the next one.
    static QList<QImage> completeZplLabels(const QByteArray &job)
    {
        QList<QImage> labels;
        for (qsizetype at = job.indexOf("~DG"); at >= 0;) {
            const qsizetype next = job.indexOf("~DG", at + 3);
            const QByteArray one = job.mid(at, next < 0 ? -1 : next - at);
            const qsizetype format = one.indexOf("^XG");
            if (format >= 0 && one.indexOf("^XZ", format) >= 0)
                labels << zltest::decodeZplGraphic(one);
            at = next;
        }
        return labels;
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
