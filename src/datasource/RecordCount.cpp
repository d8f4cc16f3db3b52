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

// Pieces the size of a typical disk read; the count never needs more.
constexpr qsizetype kPiece = 1 << 20;

// Reads the file again from `from`, piece by piece, into the audit.
void auditFrom(QFile &file, qint64 from, char *buffer, Utf8Audit &audit)
{
    if (!file.seek(from))
        detail::throwReadError(file);
    qint64 got;
    while ((got = file.read(buffer, kPiece)) > 0)
        audit.feed(buffer, got);
    if (got < 0)
        detail::throwReadError(file);
}

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
    HighByteCensus census;
    qint64 base = 0;
    while (got > 0) {
        const char *begin = buffer.get() + (base == 0 ? bom : 0);
        if (!scanner.feed(begin, buffer.get() + got, base + (begin - buffer.get()), collector))
            detail::throwScanProblem(scanner, name);
        census.add(begin, buffer.get() + got - begin);
        base += got;
        got = file.read(buffer.get(), kPiece);
        if (got < 0)
            detail::throwReadError(file);
    }
    if (!scanner.finish(base, collector))
        detail::throwScanProblem(scanner, name);
    if (collector.lines() == 0)
        detail::throwEmpty(name);
    // Shift-JIS text is told from damaged UTF-8 by its bytes alone; text that
    // may be UTF-8 is read a second time and judged character by character,
    // as the opened data source judges it.
    if (census.mayBeDamagedUtf8(bom > 0)) {
        Utf8Audit audit(bom > 0);
        auditFrom(file, bom, buffer.get(), audit);
        detail::refuseDamagedUtf8(audit, name);
    }
    return collector.lines() - 1;
}

} // namespace zl::datasource
