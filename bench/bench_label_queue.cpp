// 300 labels through label queues of CUPS, the way a shop prints them,
// `zenlabo --print`, against `lp` of the same 300 labels as PDFs to the same
// queue: a Zebra ZPL queue (its real filters: pdftopdf, Ghostscript,
// rastertolabel; a file device), a DYMO queue (stock with an inset printable
// area) and a driverless IPP Everywhere queue (ippeveprinter as the printer).
// Both are timed until the 300th job has reached the device. Target: within
// 1.2 x lp on each. The per-label time is set against what a thermal printer
// needs anyway: a 30 mm label at 150 mm/s takes 200 ms.
//
// Needs the test schedulers:  eval "$(scripts/cups-up)".
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

struct Queue {
    QString name;
    QString device;  // the folder its device writes jobs into
    QString pattern; // one file a job
    QStringList lpOptions;
};

int jobsIn(const Queue &q)
{
    return int(QDir(q.device).entryList({q.pattern}, QDir::Files).size());
}

// Waits until the device holds `count` jobs; false after 10 minutes.
bool waitForJobs(const Queue &q, int count)
{
    QDeadlineTimer deadline(600000);
    while (jobsIn(q) < count) {
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

// Times zenlabo and lp on one queue; false when either did not get through.
bool measure(const QString &home, const QString &pdfFolder, const QStringList &pdfs, const Queue &q, double &ratio)
{
    int before = jobsIn(q);
    QElapsedTimer t;
    t.start();
    if (!runZenlabo(home, q.name) || !waitForJobs(q, before + kLabels)) {
        std::printf("%s: zenlabo's jobs did not all reach the device\n", qPrintable(q.name));
        return false;
    }
    const double zenlabo = t.nsecsElapsed() / 1e9;

    before = jobsIn(q);
    t.restart();
    for (const QString &name : pdfs) {
        QProcess lp;
        lp.start(QStringLiteral("lp"), QStringList{QStringLiteral("-d"), q.name, QStringLiteral("-s")} + q.lpOptions
                                           + QStringList{pdfFolder + name});
        if (!lp.waitForFinished(60000) || lp.exitCode() != 0) {
            std::printf("lp failed: %s\n", lp.readAllStandardError().constData());
            return false;
        }
    }
    if (!waitForJobs(q, before + kLabels)) {
        std::printf("%s: lp's jobs did not all reach the device\n", qPrintable(q.name));
        return false;
    }
    const double lp = t.nsecsElapsed() / 1e9;

    ratio = zenlabo / lp;
    const double perLabel = zenlabo * 1000 / kLabels;
    std::printf("%s, %d labels to the device: zenlabo %.2f s, lp %.2f s, ratio %.2f (target <= 1.2) %s\n",
                qPrintable(q.name), kLabels, zenlabo, lp, ratio, ratio <= 1.2 ? "MET" : "MISSED");
    std::printf("  per label: zenlabo %.1f ms, lp %.1f ms; a thermal printer needs %.0f ms a 30 mm label at 150 mm/s: %s\n",
                perLabel, lp * 1000 / kLabels, kThermalLimitMs,
                perLabel <= kThermalLimitMs ? "the printer, not the program, sets the pace" : "the program is slower than the printer");
    return true;
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString spool = qEnvironmentVariable("ZENLABO_TEST_SPOOL");
    if (spool.isEmpty() || qEnvironmentVariableIsEmpty("CUPS_SERVER")) {
        std::printf("label queue: not measured; start CUPS with  eval \"$(scripts/cups-up)\"  first\n");
        return 1;
    }
    const QString prn = QStringLiteral("job-*.prn");
    const QList<Queue> queues{
        {QStringLiteral("ZenlaboLabel300"), spool + QStringLiteral("/ZenlaboLabel300"), prn,
         {QStringLiteral("-o"), QStringLiteral("media=w144h72"), QStringLiteral("-o"), QStringLiteral("Resolution=300dpi")}},
        {QStringLiteral("ZenlaboDymo"), spool + QStringLiteral("/ZenlaboDymo"), prn, {}},
        {QStringLiteral("ZenlaboDriverless"), qEnvironmentVariable("ZENLABO_TEST_EVE_SPOOL"), QStringLiteral("*.pwg"), {}},
    };
    QTemporaryDir dir;
    const QString home = dir.path();
    // No paper chosen: each queue's own.
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

    bool met = true;
    for (const Queue &q : queues) {
        double ratio = 0;
        if (!measure(home, pdfFolder, pdfs, q, ratio))
            return 1;
        met = met && ratio <= 1.2;
    }
    return met ? 0 : 1;
}
