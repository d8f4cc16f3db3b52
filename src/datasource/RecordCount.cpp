#include "datasource/DataSource.h"

#include "datasource/CsvScanner.h"
#include "datasource/DataFileReading.h"

#include <QDir>
#include <QFile>
#include <memory>

namespace zl::datasource {

namespace {

struct Counter {
    void record(qint64) {}
};

} // namespace

qsizetype countRecords(const QString &db1, const QString &db2)
{
    return countRecordsInFile(locateDataFile(db1, db2));
}

qsizetype countRecordsInFile(const QString &path)
{
    QFile file(path);
    detail::openForReading(file);
    const QString name = QDir::toNativeSeparators(path);

    // Pieces the size of a typical disk read; the count never needs more.
    constexpr qsizetype kPiece = 1 << 20;
    std::unique_ptr<char[]> buffer(new char[kPiece]);
    qint64 got = file.read(buffer.get(), kPiece);
    if (got < 0)
        detail::throwReadError(file);
    if (utf16ByteOrder(buffer.get(), got) != Utf16Order::None) {
        // UTF-16 files are counted from their converted text.
        file.close();
        return DataSource::openFile(path).recordCount();
    }
    const qsizetype bom = utf8BomLength(buffer.get(), got);

    Counter counter;
    detail::RecordCollector<Counter> collector(counter);
    detail::LineScanner scanner(bom);
    qint64 base = 0;
    while (got > 0) {
        const char *begin = buffer.get() + (base == 0 ? bom : 0);
        if (!scanner.feed(begin, buffer.get() + got, base + (begin - buffer.get()), collector))
            detail::throwScanProblem(scanner, name);
        base += got;
        got = file.read(buffer.get(), kPiece);
        if (got < 0)
            detail::throwReadError(file);
    }
    if (!scanner.finish(base, collector))
        detail::throwScanProblem(scanner, name);
    if (collector.lines() == 0)
        detail::throwEmpty(name);
    return collector.lines() - 1;
}

} // namespace zl::datasource
