// 300 labels through a Zebra ZPL label queue of CUPS (its real filters:
// pdftopdf, Ghostscript, rastertolabel; a file device), the way a shop
// prints them, `zenlabo --print`, against `lp` of the same 300 labels as
// PDFs to the same queue. Both are timed until the 300th job has reached the
// device. Target: within 1.2 x lp. The per-label time is set against what a
// thermal printer needs anyway: a 30 mm label at 150 mm/s takes 200 ms.
//
// Needs the test schedulers:  eval "$(scripts/cups-up)"  (queue
// ZenlaboLabel300: 300 dpi, 2 x 1 inch stock).
#include "BenchHome.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>

namespace {

constexpr int kLabels = 300;
constexpr double kThermalLimitMs = 30.0 / 150.0 * 1000; // 30 mm at 150 mm/s

int jobsIn(const QString &folder)
{
    return int(QDir(folder).entryList({QStringLiteral("job-*.prn")}, QDir::Files).size());
}

// Waits until the folder holds `count` jobs; false after 10 minutes.
bool waitForJobs(const QString &folder, int count)
{
    QDeadlineTimer deadline(600000);
    while (jobsIn(folder) < count) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}

bool runZenlabo(const QString &home, const QString &printer)
{
    QProcess p;
    p.setProcessEnvironment(zlbench::environmentFor(home));
    p.start(QStringLiteral(ZENLABO_BINARY), {QStringLiteral("--print"), QStringLiteral("--printer"), printer});
    if (!p.waitForFinished(600000) || p.exitCode() != 0) {
        std::fprintf(stderr, "zenlabo failed: %s\n", p.readAllStandardError().constData());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString queue = QStringLiteral("ZenlaboLabel300");
    const QString spool = qEnvironmentVariable("ZENLABO_TEST_SPOOL");
    if (spool.isEmpty() || qEnvironmentVariableIsEmpty("CUPS_SERVER")) {
        std::printf("label queue: not measured; start CUPS with  eval \"$(scripts/cups-up)\"  first\n");
        return 1;
    }
    const QString device = spool + QLatin1Char('/') + queue;
    QTemporaryDir dir;
    const QString home = dir.path();
    // No paper chosen: the queue's own (2 x 1 inch).
    zlbench::writeSettings(home, zlbench::productsCsv(kLabels), QStringLiteral("_"));

    // The same labels as PDFs, for lp.
    if (!runZenlabo(home, QStringLiteral("Zenlabo PDF")))
        return 1;
    const QString pdfFolder = home + QStringLiteral("/Documents/Zenlabo/");
    // The PDF printer writes the run as one file; lp gets one file a label,
    // as the queue gets one job a label from zenlabo.
    const QStringList pdfs = zlbench::splitRunPdf(pdfFolder);
    if (pdfs.size() != kLabels) {
        std::printf("expected %d one-label PDFs, found %lld\n", kLabels, qlonglong(pdfs.size()));
        return 1;
    }

    int before = jobsIn(device);
    QElapsedTimer t;
    t.start();
    if (!runZenlabo(home, queue) || !waitForJobs(device, before + kLabels)) {
        std::printf("zenlabo: the jobs did not all reach the device\n");
        return 1;
    }
    const double zenlabo = t.nsecsElapsed() / 1e9;

    before = jobsIn(device);
    t.restart();
    for (const QString &name : pdfs) {
        QProcess lp;
        lp.start(QStringLiteral("lp"), {QStringLiteral("-d"), queue, QStringLiteral("-s"), QStringLiteral("-o"),
                                        QStringLiteral("media=w144h72"), QStringLiteral("-o"),
                                        QStringLiteral("Resolution=300dpi"), pdfFolder + name});
        if (!lp.waitForFinished(60000) || lp.exitCode() != 0) {
            std::printf("lp failed: %s\n", lp.readAllStandardError().constData());
            return 1;
        }
    }
    if (!waitForJobs(device, before + kLabels)) {
        std::printf("lp: the jobs did not all reach the device\n");
        return 1;
    }
    const double lp = t.nsecsElapsed() / 1e9;

    const double ratio = zenlabo / lp;
    const double perLabel = zenlabo * 1000 / kLabels;
    std::printf("Zebra ZPL queue %s, %d labels to the device: zenlabo %.2f s, lp %.2f s, ratio %.2f (target <= 1.2) %s\n",
                qPrintable(queue), kLabels, zenlabo, lp, ratio, ratio <= 1.2 ? "MET" : "MISSED");
    std::printf("per label: zenlabo %.1f ms, lp %.1f ms; a thermal printer needs %.0f ms a 30 mm label at 150 mm/s: %s\n",
                perLabel, lp * 1000 / kLabels, kThermalLimitMs,
                perLabel <= kThermalLimitMs ? "the printer, not the program, sets the pace" : "the program is slower than the printer");
    return ratio <= 1.2 ? 0 : 1;
}
