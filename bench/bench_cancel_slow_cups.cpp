// A cancel while the printing system does not answer: a continuous run of
// 20 labels to a CUPS queue whose scheduler is frozen (SIGSTOP) just before
// the run, the time limit far beyond the figure, so that only an honoured
// cancel ends the run. Timed from the cancel (given once the run's first
// question waits at the scheduler's socket) to the run's end. Target: every
// cancel honoured within 100 ms.
//
// Needs the test schedulers:  eval "$(scripts/cups-up)".
#include "BenchHome.h"
#include "TestScheduler.h"

#include "common/Failure.h"
#include "cups/platform/CupsConnection.h"
#include "cups/platform/CupsPrinter.h"
#include "printing/ProgramRun.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <vector>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString socket = qEnvironmentVariable("CUPS_SERVER");
    const QString queue = qEnvironmentVariable("ZENLABO_TEST_OUTCOME_QUEUES").section(QLatin1Char(','), 0, 0);
    const QString pid = zltest::schedulerPid();
    if (queue.isEmpty() || !socket.startsWith(QLatin1Char('/')) || pid.isEmpty()) {
        std::fprintf(stderr, "needs the test schedulers: eval \"$(scripts/cups-up)\"\n");
        return 2;
    }
    QTemporaryDir dir;
    zlbench::writeSettings(dir.path(), zlbench::productsCsv(20), QStringLiteral("_"));
    zl::printing::loadAdjustmentsIntoLabelFields();
    zl::printer::setCupsTimeLimitSeconds(600);

    constexpr int kRounds = 10;
    std::vector<double> ms;
    int cancelled = 0, printed = 0;
    for (int round = 0; round < kRounds; ++round) {
        std::vector<std::unique_ptr<zl::printer::Printer>> printers;
        printers.push_back(std::make_unique<zl::printer::CupsPrinter>(queue));
        printers.front()->pageGeometry(); // asked before the scheduler stops
        zl::printer::installPrinters(std::make_unique<zl::printer::OwnedPrinterCollection>(std::move(printers)));
        zl::printing::RunControl control;
        std::atomic<bool> &cancel = control.cancel;
        std::atomic<bool> ended{false};
        // Prepared on this thread, as the windows prepare a run.
        zl::printing::RunContext context = *zl::printing::prepareRun({});
        QElapsedTimer sinceCancel;
        double took = -1;
        zl::printing::RunResult result;
        zltest::FrozenScheduler frozen(pid);
        std::unique_ptr<QThread> run(QThread::create([&] {
            zl::printing::ProgramRunServices services(context, control, {});
            int cap = 300, remaining = 0;
            try {
                result = zl::printing::runContinuous(services, cap, remaining);
            } catch (const zl::Failure &f) {
                std::fprintf(stderr, "the run failed: %s\n", f.what());
            }
            if (cancel)
                took = sinceCancel.nsecsElapsed() / 1e6;
            ended = true;
        }));
        run->start();
        QElapsedTimer waiting;
        waiting.start();
        while (!ended && zltest::waitingConnections(socket) == 0 && waiting.elapsed() < 60000)
            QThread::msleep(2);
        sinceCancel.start();
        cancel = true;
        // Should the cancel not be honoured, the scheduler is let go after
        // a minute so the figure says so.
        if (!run->wait(60000)) {
            frozen.thaw();
            run->wait();
        }
        frozen.thaw();
        if (took >= 0)
            ms.push_back(took);
        cancelled += result.outcome == zl::printing::RunOutcome::Cancelled ? 1 : 0;
        printed += result.printed;
    }
    zl::printer::installPrinters(nullptr);
    std::sort(ms.begin(), ms.end());
    const bool met = int(ms.size()) == kRounds && cancelled == kRounds && ms.back() <= 100;
    std::printf("cancel while the scheduler is frozen, %d runs: %d ended as cancelled, %d labels printed; "
                "cancel to the run's end: median %.1f ms, slowest %.1f ms (target <= 100 ms) %s\n",
                kRounds, cancelled, printed, ms.empty() ? -1.0 : ms[ms.size() / 2], ms.empty() ? -1.0 : ms.back(),
                met ? "MET" : "MISSED");
    return met ? 0 : 1;
}
