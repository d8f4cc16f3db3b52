// 300 labels through label queues of CUPS, the way a shop prints them,
// `zenlabo --print`, against one `lp` of the same 300 labels as one 300-page
// PDF (the built-in PDF printer's run file) to the same queue: a Zebra ZPL
// queue (its real filters: pdftopdf, Ghostscript, rastertolabel; a file
// device), a DYMO queue (stock with an inset printable area) and a driverless
// IPP Everywhere queue (ippeveprinter as the printer). Both are timed until
// the last label is out: the labels in the device's files are counted, so it
// does not matter whether they came as one job or as one job a label.
// Target: within 1.2 x lp on each. The per-label time is set against what a
// thermal printer needs anyway: a 30 mm label at 150 mm/s takes 200 ms.
//
// Needs the test schedulers:  eval "$(scripts/cups-up)".
#include "BenchHome.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QTemporaryFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QtEndian>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kLabels = 300;
constexpr int kRounds = 5; // pairs a queue; medians are compared
constexpr double kThermalLimitMs = 30.0 / 150.0 * 1000; // 30 mm at 150 mm/s

// Whole labels in a stretch of a device file, and the bytes up to the end of
// the last of them: counting goes on from there once the file has grown.
struct Tally {
    int labels = 0;
    qint64 end = 0;
};

// `data` runs from a label's start (or the file's start when `fileStart`)
// to whatever the device has written so far.
using Counter = Tally (*)(const QByteArray &data, bool fileStart);

// rastertolabel stores each label as a graphic (~DG), prints it in a format of
// its own (^XA ... ^XG ... ^XZ) and deletes it in another (^XA ^ID ^XZ): ^XZ
// comes twice a label, ^XG once. Copies would come as ^PQ n in the format.
Tally zplLabels(const QByteArray &data, bool)
{
    Tally t;
    for (qsizetype at = data.indexOf("^XG"); at >= 0; at = data.indexOf("^XG", at + 3)) {
        const qsizetype format = std::max<qsizetype>(0, data.lastIndexOf("^XA", at));
        const qsizetype copies = data.indexOf("^PQ", format);
        t.labels += copies >= 0 && copies < at ? std::max(1, std::atoi(data.constData() + copies + 3)) : 1;
        t.end = at + 3;
    }
    return t;
}

// rastertolabel's DYMO stream: ESC L/D/q set up a label, each raster line is
// SYN and the line's bytes (ESC D says how many), ESC f skips blank lines and
// ESC E ejects the label. The lines are binary, so they are stepped over
// rather than searched for ESC E.
Tally dymoLabels(const QByteArray &data, bool)
{
    Tally t;
    qsizetype line = 0;
    for (qsizetype p = 0; p < data.size();) {
        if (data[p] == '\x16') {
            p += 1 + line;
            continue;
        }
        if (data[p] != '\x1b' || p + 1 >= data.size()) {
            ++p;
            continue;
        }
        switch (data[p + 1]) {
        case 'E':
            p += 2;
            ++t.labels;
            t.end = p;
            break;
        case 'D':
            if (p + 2 < data.size())
                line = quint8(data[p + 2]);
            p += 3;
            break;
        case 'L':
        case 'f':
            p += 4;
            break;
        case 'q':
            p += 3;
            break;
        default: // the job's run of ESC bytes, ESC @, the darkness
            ++p;
        }
    }
    return t;
}

// PWG raster: "RaS2", then a page at a time a 1796-byte header ("PwgRaster"
// first) and its lines, each a repeat count and runs of pixels. The printer
// writes the document as it arrives, so a page counts once its last line is
// in; a header alone does not.
Tally pwgLabels(const QByteArray &data, bool fileStart)
{
    constexpr qsizetype kHeader = 1796;
    Tally t;
    qsizetype pos = 0;
    if (fileStart) {
        if (!data.startsWith("RaS2"))
            return t;
        pos = t.end = 4;
    }
    const auto *bytes = reinterpret_cast<const uchar *>(data.constData());
    const qsizetype size = data.size();
    while (pos + kHeader <= size && data.mid(pos, 9) == "PwgRaster") {
        const quint32 height = qFromBigEndian<quint32>(bytes + pos + 376);
        const qsizetype pixel = std::max<quint32>(1, qFromBigEndian<quint32>(bytes + pos + 388) / 8);
        const qsizetype line = qFromBigEndian<quint32>(bytes + pos + 392);
        qsizetype p = pos + kHeader;
        for (quint32 y = 0; y < height;) {
            if (p >= size)
                return t;
            y += bytes[p++] + 1u;
            for (qsizetype x = 0; x < line;) {
                if (p >= size)
                    return t;
                const int run = bytes[p++];
                const qsizetype pixels = run < 128 ? run + 1 : 257 - run;
                p += run < 128 ? pixel : pixels * pixel;
                x += pixels * pixel;
            }
        }
        if (p > size)
            return t;
        ++t.labels;
        pos = t.end = p;
    }
    return t;
}

// The labels a queue's device has put out so far, all its files together.
// Each file is read on from where its last whole label ended, so that
// watching a long run does not cost the run its processor.
class Device
{
public:
    Device(QString folder, QString pattern, Counter count)
        : m_folder(std::move(folder)), m_pattern(std::move(pattern)), m_count(count)
    {
    }

    int labels()
    {
        int total = 0;
        for (const QFileInfo &info : QDir(m_folder).entryInfoList({m_pattern}, QDir::Files)) {
            Seen &seen = m_seen[info.fileName()];
            QFile f(info.filePath());
            if (info.size() > seen.end && f.open(QIODevice::ReadOnly) && f.seek(seen.end)) {
                const Tally t = m_count(f.readAll(), seen.end == 0);
                seen.labels += t.labels;
                seen.end += t.end;
            }
            total += seen.labels;
        }
        return total;
    }

    // Waits until `count` labels are out; false after 10 minutes.
    bool waitFor(int count)
    {
        QDeadlineTimer deadline(600000);
        while (labels() < count) {
            if (deadline.hasExpired())
                return false;
            QThread::msleep(20);
        }
        return true;
    }

private:
    struct Seen {
        qint64 end = 0;
        int labels = 0;
    };
    QString m_folder;
    QString m_pattern;
    Counter m_count;
    QHash<QString, Seen> m_seen;
};

struct Queue {
    QString name;
    QString device;  // the folder its device writes into
    QString pattern; // the device's files
    Counter count;
    QStringList lpOptions;
};

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

// Pages of a PDF by poppler's pdfinfo; -1 when it cannot tell.
int pdfPages(const QString &path)
{
    QProcess info;
    info.start(QStringLiteral("pdfinfo"), {path});
    if (!info.waitForFinished(60000) || info.exitCode() != 0)
        return -1;
    const auto m = QRegularExpression(QStringLiteral("^Pages:\\s+(\\d+)"), QRegularExpression::MultilineOption)
                       .match(QString::fromLocal8Bit(info.readAllStandardOutput()));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// The document the queue's newest job was sent, as the scheduler keeps it
// (d<job>-001 in its spool), and the options it was sent with, for `lp -o`:
// lp then gets the very labels and settings the program sent.
struct SentJob {
    QString document;
    QStringList lpOptions;
};

SentJob lastJobOf(const QString &queue)
{
    SentJob sent;
    QProcess lpstat;
    lpstat.start(QStringLiteral("lpstat"), {QStringLiteral("-W"), QStringLiteral("completed"), QStringLiteral("-o"), queue});
    lpstat.waitForFinished(60000);
    int id = 0;
    for (const QString &line : QString::fromLocal8Bit(lpstat.readAllStandardOutput()).split(QLatin1Char('\n')))
        id = std::max(id, line.section(QLatin1Char(' '), 0, 0).section(QLatin1Char('-'), -1).toInt());
    const QString spool = QFileInfo(qEnvironmentVariable("ZENLABO_TEST_SPOOL")).path() + QStringLiteral("/spool/");
    if (!id || !QFile::exists(spool + QStringLiteral("d%1-001").arg(id, 5, 10, QLatin1Char('0'))))
        return sent;
    sent.document = spool + QStringLiteral("d%1-001").arg(id, 5, 10, QLatin1Char('0'));
    QTemporaryFile test;
    test.open();
    test.write("{ OPERATION Get-Job-Attributes\nGROUP operation-attributes-tag\n"
               "ATTR charset attributes-charset utf-8\nATTR naturalLanguage attributes-natural-language en\n"
               "ATTR uri printer-uri $uri\nATTR integer job-id $job\nATTR name requesting-user-name $user\n"
               "ATTR keyword requested-attributes job-template\n}\n");
    test.flush();
    QString server = qEnvironmentVariable("CUPS_SERVER");
    server.replace(QLatin1Char('/'), QStringLiteral("%2F"));
    QProcess ipptool;
    ipptool.start(QStringLiteral("ipptool"), {QStringLiteral("-d"), QStringLiteral("job=%1").arg(id), QStringLiteral("-d"),
                                              QStringLiteral("user=%1").arg(qEnvironmentVariable("USER", QStringLiteral("root"))),
                                              QStringLiteral("-tv"), QStringLiteral("ipp://%1/printers/%2").arg(server, queue),
                                              test.fileName()});
    ipptool.waitForFinished(60000);
    static const QRegularExpression option(QStringLiteral("^\\s*([\\w-]+) \\((?:keyword|resolution|nameWithoutLanguage)\\) = (\\S+)$"),
                                           QRegularExpression::MultilineOption);
    const QString said = QString::fromLocal8Bit(ipptool.readAllStandardOutput());
    for (auto m = option.globalMatch(said.mid(said.indexOf(QStringLiteral("RECEIVED")))); m.hasNext();) {
        const auto o = m.next();
        if (o.captured(1) != QLatin1String("job-sheets") && o.captured(1) != QLatin1String("job-hold-until"))
            sent.lpOptions << QStringLiteral("-o") << o.captured(1) + QLatin1Char('=') + o.captured(2);
    }
    return sent;
}

// One zenlabo run, then lp of what it sent; seconds each until the last
// label was out. False when either did not get through.
bool timePair(const QString &home, const QString &pdf, const Queue &q, double &zenlabo, double &lpSeconds, SentJob &sent,
              int &extra)
{
    Device device(q.device, q.pattern, q.count);
    int before = device.labels();
    QElapsedTimer t;
    t.start();
    // Timed until the device has the last label, as lp is: the program
    // itself returns only once CUPS has marked its job done, which on a
    // driverless queue comes a while after the printer has finished.
    QProcess p;
    p.setProcessEnvironment(zlbench::environmentFor(home));
    p.start(QStringLiteral(ZENLABO_BINARY), {QStringLiteral("--print"), QStringLiteral("--printer"), q.name});
    const bool out = device.waitFor(before + kLabels);
    zenlabo = t.nsecsElapsed() / 1e9;
    if (!p.waitForFinished(600000) || p.exitCode() != 0 || !out) {
        std::printf("%s: zenlabo's labels did not all reach the device (%d of %d): %s\n", qPrintable(q.name),
                    device.labels() - before, kLabels, p.readAllStandardError().constData());
        return false;
    }
    // More than asked for would mean the figures compare different work.
    extra = std::max(extra, device.labels() - before - kLabels);

    // Where the scheduler kept what the program sent, lp sends the same.
    sent = lastJobOf(q.name);
    const QString document = sent.document.isEmpty() ? pdf : sent.document;
    const QStringList options = sent.document.isEmpty() ? q.lpOptions : sent.lpOptions;
    before = device.labels();
    t.restart();
    QProcess lp;
    lp.start(QStringLiteral("lp"), QStringList{QStringLiteral("-d"), q.name, QStringLiteral("-s")} + options
                                       + QStringList{document});
    if (!lp.waitForFinished(60000) || lp.exitCode() != 0) {
        std::printf("lp failed: %s\n", lp.readAllStandardError().constData());
        return false;
    }
    if (!device.waitFor(before + kLabels)) {
        std::printf("%s: lp's labels did not all reach the device (%d of %d)\n", qPrintable(q.name),
                    device.labels() - before, kLabels);
        return false;
    }
    lpSeconds = t.nsecsElapsed() / 1e9;
    return true;
}

double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v[v.size() / 2];
}

// Times zenlabo and lp on one queue, in alternating pairs: CUPS' IPP backend
// looks at a driverless printer's job about once a second, so one run alone
// says little. False when either did not get through.
bool measure(const QString &home, const QString &pdf, const Queue &q, double &ratio)
{
    QList<double> zenlaboTimes, lpTimes;
    SentJob sent;
    int extra = 0;
    for (int round = 0; round < kRounds; ++round) {
        double z = 0, l = 0;
        if (!timePair(home, pdf, q, z, l, sent, extra))
            return false;
        zenlaboTimes << z;
        lpTimes << l;
    }
    const QStringList options = sent.lpOptions;
    const double zenlabo = median(zenlaboTimes);
    const double lpSeconds = median(lpTimes);
    ratio = zenlabo / lpSeconds;
    const double perLabel = zenlabo * 1000 / kLabels;
    std::printf("%s, %d labels until the last is out (median of %d): zenlabo %.2f s, lp of %s %.2f s, ratio %.2f "
                "(target <= 1.2) %s\n",
                qPrintable(q.name), kLabels, kRounds, zenlabo,
                sent.document.isEmpty() ? "the PDF printer's 300-page PDF" : "the 300-page PDF zenlabo sent, its options",
                lpSeconds, ratio, ratio <= 1.2 ? "MET" : "MISSED");
    if (!sent.document.isEmpty())
        std::printf("  lp %s\n", qPrintable(options.join(QLatin1Char(' '))));
    std::printf("  per label: zenlabo %.1f ms, lp %.1f ms; a thermal printer needs %.0f ms a 30 mm label at 150 mm/s: "
                "%s\n",
                perLabel, lpSeconds * 1000 / kLabels, kThermalLimitMs,
                perLabel <= kThermalLimitMs ? "the printer, not the program, sets the pace"
                                            : "the program is slower than the printer");
    if (extra > 0)
        std::printf("  zenlabo put out %d labels more than %d\n", extra, kLabels);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString spool = qEnvironmentVariable("ZENLABO_TEST_SPOOL");
    if (spool.isEmpty() || qEnvironmentVariableIsEmpty("CUPS_SERVER")) {
        std::printf("label queue: not measured; start CUPS with  eval \"$(scripts/cups-up)\"  first\n");
        return 1;
    }
    // The copy backend gives a file its job-N.prn name only once it is whole.
    const QString prn = QStringLiteral("job-*.prn");
    const QList<Queue> queues{
        {QStringLiteral("ZenlaboLabel300"), spool + QStringLiteral("/ZenlaboLabel300"), prn, zplLabels,
         {QStringLiteral("-o"), QStringLiteral("media=w144h72"), QStringLiteral("-o"), QStringLiteral("Resolution=300dpi")}},
        {QStringLiteral("ZenlaboDymo"), spool + QStringLiteral("/ZenlaboDymo"), prn, dymoLabels, {}},
        {QStringLiteral("ZenlaboDriverless"), qEnvironmentVariable("ZENLABO_TEST_EVE_SPOOL"), QStringLiteral("*.pwg"),
         pwgLabels, {}},
    };
    QTemporaryDir dir;
    const QString home = dir.path();
    // No paper chosen: each queue's own.
    zlbench::writeSettings(home, zlbench::productsCsv(kLabels), QStringLiteral("_"));

    // The same labels as one PDF, for lp: the built-in PDF printer's run file.
    if (!runZenlabo(home, QStringLiteral("Zenlabo PDF")))
        return 1;
    const QString pdf = zlbench::runPdf(home + QStringLiteral("/Documents/Zenlabo"));
    const int pages = pdf.isEmpty() ? -1 : pdfPages(pdf);
    if (pages != kLabels) {
        std::printf("expected one PDF of %d pages, found %s (%d pages)\n", kLabels,
                    pdf.isEmpty() ? "no single run file" : qPrintable(pdf), pages);
        return 1;
    }

    bool met = true;
    for (const Queue &q : queues) {
        double ratio = 0;
        if (!measure(home, pdf, q, ratio))
            return 1;
        met = met && ratio <= 1.2;
    }
    return met ? 0 : 1;
}
