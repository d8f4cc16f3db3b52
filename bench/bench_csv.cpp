// Reading a large data file: a million label records in CP932, the size a
// shop's whole catalogue reaches. Prints each figure with its target and
// exits non-zero when one is missed.
#include "datasource/DataSource.h"
#include "datasource/DataSourceModel.h"
#include "common/Cp932.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

namespace {

constexpr int kRecords = 1000000;

QByteArray sjis(const QString &text)
{
    return *zl::cp932::encode(text);
}

QByteArray utf8(const QString &text)
{
    return text.toUtf8();
}

int eanCheckDigit(const char *twelve)
{
    int sum = 0;
    for (int i = 0; i < 12; ++i)
        sum += (twelve[i] - '0') * (i % 2 ? 3 : 1);
    return (10 - sum % 10) % 10;
}

// The label shape: 13-digit code, two Japanese texts, a price. In CP932, or
// in UTF-8 with a byte-order mark as Excel's "CSV UTF-8" saves it.
qint64 writeDataFile(const QString &path, QByteArray (*encode)(const QString &) = sjis)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    const QByteArray header = (encode == utf8 ? QByteArray("\xEF\xBB\xBF") : QByteArray())
        + encode(QStringLiteral("JANコード,商品名,規格,価格\r\n"));
    const QByteArray names[] = {encode(QStringLiteral("ソフトキャンディ表示用ミックス味")),
                                encode(QStringLiteral("緑茶ペットボトル能登産茶葉使用")),
                                encode(QStringLiteral("おにぎり鮭①限定品 北海道産")),
                                encode(QStringLiteral("㈱産直～季節の野菜 詰め合わせ"))};
    const QByteArray packs[] = {encode(QStringLiteral("500ml入")), encode(QStringLiteral("1個入り")),
                                encode(QStringLiteral("\"10枚,袋\"")), encode(QStringLiteral("ｹｰｽ12本"))};
    QByteArray chunk = header;
    chunk.reserve(1 << 21);
    char code[16];
    for (int i = 0; i < kRecords; ++i) {
        std::snprintf(code, sizeof code, "4912345%05d", i % 100000);
        code[12] = char('0' + eanCheckDigit(code));
        code[13] = 0;
        chunk += code;
        chunk += ',';
        chunk += names[i % 4];
        chunk += ',';
        chunk += packs[(i / 4) % 4];
        chunk += ',';
        chunk += QByteArray::number(100 + i % 9000);
        chunk += "\r\n";
        if (chunk.size() > (1 << 20)) {
            file.write(chunk);
            chunk.clear();
        }
    }
    file.write(chunk);
    file.close();
    return QFile(path).size();
}

double peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

template <typename F> double bestSeconds(int runs, F &&f)
{
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        f();
        best = std::min(best, t.nsecsElapsed() / 1e9);
    }
    return best;
}

bool report(const char *what, double value, const char *unit, const char *target, bool met)
{
    std::printf("%-44s %10.3f %-5s target %-18s %s\n", what, value, unit, target, met ? "ok" : "MISSED");
    return met;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("barcodelist.csv"));
    const qint64 size = writeDataFile(path);
    const double megabytes = size / 1e6;
    std::printf("data file: %d records, %.1f MB, CP932\n", kRecords, megabytes);

    bool ok = true;

    const double wcSeconds = bestSeconds(5, [&] {
        QProcess wc;
        wc.start(QStringLiteral("wc"), {QStringLiteral("-l"), path});
        wc.waitForFinished(-1);
    });
    qsizetype counted = 0;
    const double countSeconds = bestSeconds(5, [&] { counted = zl::datasource::countRecordsInFile(path); });
    if (counted != kRecords) {
        std::printf("record count %lld, expected %d\n", qlonglong(counted), kRecords);
        return 1;
    }
    std::printf("wc -l                                        %10.3f s\n", wcSeconds);
    std::printf("record count                                 %10.3f s\n", countSeconds);
    ok &=
        report("record count throughput", megabytes / countSeconds, "MB/s", ">= 300", megabytes / countSeconds >= 300);
    ok &=
        report("record count time / wc -l time", countSeconds / wcSeconds, "x", "<= 3", countSeconds / wcSeconds <= 3);

    const double peakBefore = peakMegabytes();
    QElapsedTimer openTimer;
    openTimer.start();
    zl::datasource::DataSourceModel model(zl::datasource::DataSource::openFile(path));
    const QString firstCell = model.index(0, 0).data().toString();
    const QString lastCell = model.index(model.rowCount() - 1, 1).data().toString();
    const double openSeconds = openTimer.nsecsElapsed() / 1e9;
    const double peakAfter = peakMegabytes();
    if (model.rowCount() != kRecords || firstCell != QStringLiteral("4912345000002") || lastCell.isEmpty()) {
        std::printf("grid model shows the wrong records\n");
        return 1;
    }
    ok &= report("open grid model", openSeconds, "s", "< 1.5", openSeconds < 1.5);
    std::printf("peak memory before opening the model         %10.1f MB\n", peakBefore);
    ok &= report("peak memory of the process after opening", peakAfter, "MB", "< 2 x file size",
                 peakAfter < 2 * megabytes);

    const zl::datasource::DataSource &source = model.source();
    qsizetype characters = 0, shortRecords = 0;
    QElapsedTimer readTimer;
    readTimer.start();
    for (qsizetype r = 0; r < source.recordCount(); ++r) {
        const QStringList f = source.fields(r, 4);
        if (f.size() < 4)
            ++shortRecords;
        for (const QString &s : f)
            characters += s.size();
    }
    const double readSeconds = readTimer.nsecsElapsed() / 1e9;
    if (shortRecords != 0 || characters == 0) {
        std::printf("reading the records went wrong (%lld short records)\n", qlonglong(shortRecords));
        return 1;
    }
    ok &= report("read first four columns of every record", readSeconds, "s", "< 2", readSeconds < 2);
    // A UTF-8 file is counted twice over: once for its records, once judging
    // its characters as the opened data source does.
    const QString utf8Path = dir.filePath(QStringLiteral("barcodelist-utf8.csv"));
    const double utf8Megabytes = writeDataFile(utf8Path, utf8) / 1e6;
    const double utf8Seconds = bestSeconds(5, [&] { counted = zl::datasource::countRecordsInFile(utf8Path); });
    if (counted != kRecords) {
        std::printf("UTF-8 record count %lld, expected %d\n", qlonglong(counted), kRecords);
        return 1;
    }
    std::printf("UTF-8 data file: %.1f MB\n", utf8Megabytes);
    ok &= report("record count throughput, UTF-8", utf8Megabytes / utf8Seconds, "MB/s", ">= 300",
                 utf8Megabytes / utf8Seconds >= 300);
    std::printf("%s\n", ok ? "all targets met" : "some targets MISSED");
    return ok ? 0 : 1;
}
