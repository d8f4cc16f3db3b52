// Print runs through the screens into CUPS queues (the schedulers
// scripts/test starts): what the progress window counts while a printer
// works through a run, and its キャンセル while labels come out or while
// the scheduler, frozen, has not answered.
#include "CupsRunFixture.h"
#include "ScreenRuns.h"
#include "DeviceOutput.h"
#include "TestEnv.h"
#include "TestRegistry.h"
#include "TestScheduler.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <optional>

#include "printing/PrintRun.h"
#include "cups/platform/CupsConnection.h"
#include "ui/Dialogs.h"
#include "ui/ScreenRegistry.h"

class CupsRunWindowTest : public CupsRunFixture {
    Q_OBJECT
private slots:
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
        zltest::clickStart(screen);
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
        zltest::clickStart(screen);
        stopped.reset();
        delete screen;
        QVERIFY(clicked);
        QVERIFY(jobsOf(m_slow).isEmpty());
        QCOMPARE(int(zltest::jobFiles(folder).size()), before);
        QVERIFY2(!messages.isEmpty()
                     && messages.last().text.contains(QStringLiteral("印刷をキャンセルしました。ラベルは1枚も印刷していません")),
                 qPrintable(messages.isEmpty() ? QString() : messages.last().text));
    }
};

ZL_TEST(CupsRunWindowTest)
#include "CupsRunWindowTest.moc"
