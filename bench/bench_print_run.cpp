// 300 labels printed the way a shop system prints them, `zenlabo --print`:
//   (a) to the built-in PDF printer;
//   (b) to a raw CUPS queue (run scripts/cups-up first; it names the queue in
//       ZENLABO_TEST_RAW_QUEUE), against the same 300 labels submitted with lp,
//       one job each (the PDF run's pages, split by poppler's pdfseparate).
// Targets: (a) under 10 ms a label; (b) the submission alone (until the run
// starts waiting for its labels to come out, told by --verbose) within
// 1.2 x plain lp submission; the whole run, to the last job's end, is shown.
#include "BenchHome.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

namespace {

constexpr int kLabels = 300;

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString home = dir.path();
    zlbench::writeSettings(home, zlbench::productsCsv(kLabels), QStringLiteral("9"));
    bool ok = true;

    const double pdf = zlbench::timeRun(home, {QStringLiteral("--print"), QStringLiteral("--printer"), QStringLiteral("Zenlabo PDF")});
    const QString folder = home + QStringLiteral("/Documents/Zenlabo/");
    const QStringList runs = QDir(folder).entryList({QStringLiteral("*.pdf")}, QDir::Files, QDir::Name);
    // The run is one file of 300 pages; one file a label is what lp gets below.
    const QStringList pdfs = pdf >= 0 ? zlbench::splitRunPdf(folder) : QStringList();
    if (pdf < 0 || pdfs.size() != kLabels) {
        std::printf("(a) built-in PDF printer: FAILED (%lld files, %lld pages)\n", qlonglong(runs.size()),
                    qlonglong(pdfs.size()));
        return 1;
    }
    const double pdfMs = pdf * 1000 / kLabels;
    std::printf("(a) built-in PDF printer: %d labels in %.2f s, %.2f ms a label (target < 10 ms) %s\n", kLabels, pdf,
                pdfMs, pdfMs < 10 ? "MET" : "MISSED");
    ok = ok && pdfMs < 10;

    const QString queue = qEnvironmentVariable("ZENLABO_TEST_RAW_QUEUE");
    if (queue.isEmpty() || qEnvironmentVariableIsEmpty("CUPS_SERVER")) {
        std::printf("(b) raw CUPS queue: not measured; start CUPS with  eval \"$(scripts/cups-up)\"  first\n");
        return ok ? 0 : 1;
    }
    double cups = 0;
    const double whole = zlbench::timeRun(home, {QStringLiteral("--print"), QStringLiteral("--printer"), queue}, &cups);
    if (whole < 0 || cups < 0)
        return 1;

    // The floor: the same 300 documents, already rendered, one lp job each.
    QElapsedTimer t;
    t.start();
    for (const QString &name : pdfs) {
        QProcess lp;
        lp.start(QStringLiteral("lp"), {QStringLiteral("-d"), queue, QStringLiteral("-s"),
                                        home + QStringLiteral("/Documents/Zenlabo/") + name});
        if (!lp.waitForFinished(60000) || lp.exitCode() != 0) {
            std::printf("lp failed: %s\n", lp.readAllStandardError().constData());
            return 1;
        }
    }
    const double lp = t.nsecsElapsed() / 1e9;
    const double ratio = cups / lp;
    std::printf("(b) raw CUPS queue %s: submission %.2f ms a label through zenlabo, %.2f ms a label with plain lp, "
                "ratio %.2f (target <= 1.2) %s; the whole run until every job ended %.2f s\n",
                qPrintable(queue), cups * 1000 / kLabels, lp * 1000 / kLabels, ratio, ratio <= 1.2 ? "MET" : "MISSED",
                whole);
    ok = ok && ratio <= 1.2;
    return ok ? 0 : 1;
}
