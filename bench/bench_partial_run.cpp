// 100 labels from the end and from the start of a 1,000,000-row data file
// through `zenlabo --print --from N --to M`, against the same 100 labels
// from a 100-row file; and one record whose name is 5 and 20 MB long.
// Targets: a partial run within 3x the small file's time; the long field's
// time growing with its length, not its square.
#include "BenchHome.h"

#include "settings/SettingsTable.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Median seconds of `runs` runs, or a negative number when one failed.
double timeRun(const QString &home, const QStringList &args, int runs = 3)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        times.push_back(zlbench::timeRun(home, args));
        if (times.back() < 0)
            return -1;
        QDir(home + QStringLiteral("/Documents/Zenlabo")).removeRecursively();
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

QStringList range(int from, int to)
{
    return {QStringLiteral("--print"), QStringLiteral("--from"), QString::number(from), QStringLiteral("--to"),
            QString::number(to)};
}

// A file of 1,000,000 products written straight as bytes (ASCII is CP932).
void writeBigFile(const QString &home)
{
    QFile f(zl::settings::folderPath() + QStringLiteral("items.csv"));
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(f.fileName()));
    QByteArray chunk = "JAN,name,size,price\r\n";
    for (int i = 1; i <= 1000000; ++i) {
        // 491 and nine digits: a JAN whose check digit the program adds.
        chunk += "491" + QByteArray::number(i).rightJustified(9, '0') + ",item " + QByteArray::number(i) + ",500ml,"
            + QByteArray::number(100 + i % 900) + "\r\n";
        if (chunk.size() > (1 << 20)) {
            f.write(chunk);
            chunk.clear();
        }
    }
    f.write(chunk);
    Q_UNUSED(home);
}

void writeLongField(qsizetype bytes)
{
    QFile f(zl::settings::folderPath() + QStringLiteral("items.csv"));
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(f.fileName()));
    f.write("JAN,name,size,price\r\n4912345000012,");
    f.write(QByteArray(bytes, 'x'));
    f.write(",500ml,100\r\n");
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir smallDir, bigDir;
    zlbench::writeSettings(smallDir.path(), zlbench::productsCsv(100), QStringLiteral("9"));
    zlbench::writeSettings(bigDir.path(), zlbench::productsCsv(1), QStringLiteral("9"));
    writeBigFile(bigDir.path());

    const double small = timeRun(smallDir.path(), range(1, 100));
    const double end = timeRun(bigDir.path(), range(999001, 999100));
    const double start = timeRun(bigDir.path(), range(1, 100));
    if (small < 0 || end < 0 || start < 0)
        return 1;
    const bool endMet = end <= 3 * small, startMet = start <= 3 * small;
    std::printf("100 labels from a 100-row file:                 %.3f s\n", small);
    std::printf("rows 999001-999100 of a 1,000,000-row file:     %.3f s, %.2fx (target <= 3x) %s\n", end, end / small,
                endMet ? "MET" : "MISSED");
    std::printf("rows 1-100 of the same file:                    %.3f s, %.2fx (target <= 3x) %s\n", start,
                start / small, startMet ? "MET" : "MISSED");

    QTemporaryDir longDir;
    zlbench::writeSettings(longDir.path(), zlbench::productsCsv(1), QStringLiteral("9"));
    writeLongField(5 << 20);
    const double five = timeRun(longDir.path(), {QStringLiteral("--print")}, 1);
    writeLongField(20 << 20);
    const double twenty = timeRun(longDir.path(), {QStringLiteral("--print")}, 1);
    if (five < 0 || twenty < 0)
        return 1;
    // Linear: four times the length, about four times the time (at most 6x).
    const bool linear = twenty <= 6 * five;
    std::printf("one record with a 5 MB name:  %.2f s; 20 MB: %.2f s, %.1fx for 4x the length %s\n", five, twenty,
                twenty / five, linear ? "MET" : "MISSED");
    return endMet && startMet && linear ? 0 : 1;
}
