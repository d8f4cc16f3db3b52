#include "datasource/DataSource.h"

#include "datasource/CsvScanner.h"
#include "datasource/DataFileReading.h"
#include "datasource/RecordFields.h"

#include <QDir>
#include <QFile>
#include <vector>

namespace zl::datasource {

namespace {

struct StartIndex {
    std::vector<qint64> starts;
    void record(qint64 begin) { starts.push_back(begin); }
};

} // namespace

struct DataSource::Data {
    QByteArray bytes;
    QString name;
    TextEncoding encoding = TextEncoding::Utf8;
    // Where each line that counts starts; the header's is first.
    std::vector<qint64> starts;
    QStringList columns;

    QString decodeField(const detail::FieldSpan &f) const
    {
        const char *p = bytes.constData() + f.begin;
        const qsizetype n = qsizetype(f.end - f.begin);
        if (!f.quoted)
            return decodeText(encoding, p, n);
        const QByteArray value = detail::unquote(p, n);
        return decodeText(encoding, value.constData(), value.size());
    }

    QStringList fieldsAt(qint64 start, int maxFields) const
    {
        // Reused between calls on the same thread: a print run asks once per record.
        thread_local std::vector<detail::FieldSpan> spans;
        detail::splitRecord(bytes, start, maxFields, spans);
        QStringList out;
        out.reserve(qsizetype(spans.size()));
        for (const detail::FieldSpan &f : spans)
            out.append(decodeField(f));
        return out;
    }
};

DataSource::DataSource() : d(std::make_shared<Data>())
{
}

DataSource::DataSource(std::shared_ptr<const Data> data) : d(std::move(data))
{
}

DataSource DataSource::open(const QString &db1, const QString &db2, qsizetype maxRecords)
{
    return openFile(locateDataFile(db1, db2), maxRecords);
}

DataSource DataSource::openFile(const QString &path, qsizetype maxRecords)
{
    QFile file(path);
    detail::openForReading(file);
    const QString name = QDir::toNativeSeparators(path);
    // Read in pieces, and only as far as the records asked for.
    constexpr qint64 kPiece = 4 << 20;
    QByteArray bytes;
    auto readPiece = [&]() -> qint64 {
        const qsizetype at = bytes.size();
        bytes.resize(at + qsizetype(kPiece));
        const qint64 n = file.read(bytes.data() + at, kPiece);
        if (n < 0)
            detail::throwReadError(file);
        bytes.truncate(at + qsizetype(n));
        return n;
    };
    qint64 got = readPiece();
    if (utf16ByteOrder(bytes.constData(), bytes.size()) != Utf16Order::None) {
        // UTF-16 is converted whole before it is scanned.
        while (got > 0)
            got = readPiece();
        return fromBytes(std::move(bytes), name);
    }
    const qsizetype bom = utf8BomLength(bytes.constData(), bytes.size());
    StartIndex index;
    detail::RecordCollector<StartIndex> collector(index);
    detail::LineScanner scanner(bom);
    const size_t enough = maxRecords < 0 ? 0 : size_t(maxRecords) + 2;
    qint64 fed = bom;
    while (got > 0) {
        if (!scanner.feed(bytes.constData() + fed, bytes.constData() + bytes.size(), fed, collector))
            detail::throwScanProblem(scanner, name);
        fed = bytes.size();
        if (enough && index.starts.size() >= enough) {
            // The record after the last one wanted has begun: those are whole.
            bytes.truncate(qsizetype(index.starts[enough - 1]));
            index.starts.resize(enough - 1);
            return fromScanned(std::move(bytes), std::move(index.starts), bom, name);
        }
        got = readPiece();
    }
    if (!scanner.finish(bytes.size(), collector))
        detail::throwScanProblem(scanner, name);
    return fromScanned(std::move(bytes), std::move(index.starts), bom, name);
}

DataSource DataSource::fromBytes(QByteArray bytes, const QString &name)
{
    if (utf16ByteOrder(bytes.constData(), bytes.size()) != Utf16Order::None)
        bytes = utf16ToUtf8(bytes);
    const qsizetype bom = utf8BomLength(bytes.constData(), bytes.size());

    StartIndex index;
    // Roughly one record per 60 bytes keeps the index from growing in steps.
    index.starts.reserve(size_t(bytes.size() / 48 + 1));
    detail::RecordCollector<StartIndex> collector(index);
    detail::LineScanner scanner(bom);
    if (!scanner.feed(bytes.constData() + bom, bytes.constData() + bytes.size(), bom, collector) ||
        !scanner.finish(bytes.size(), collector))
        detail::throwScanProblem(scanner, name);
    return fromScanned(std::move(bytes), std::move(index.starts), bom, name);
}

DataSource DataSource::fromScanned(QByteArray bytes, std::vector<qint64> starts, qsizetype bom, const QString &name)
{
    auto data = std::make_shared<Data>();
    data->name = name;
    if (starts.empty())
        detail::throwEmpty(name);
    starts.shrink_to_fit();

    Utf8Audit audit(bom > 0);
    audit.feed(bytes.constData() + bom, bytes.size() - bom);
    detail::refuseDamagedUtf8(audit, name);
    data->encoding = bom > 0 || audit.valid() ? TextEncoding::Utf8 : TextEncoding::Cp932;
    data->bytes = std::move(bytes);
    data->starts = std::move(starts);
    data->columns = data->fieldsAt(data->starts.front(), -1);
    return DataSource(std::move(data));
}

TextEncoding DataSource::encoding() const
{
    return d->encoding;
}

QStringList DataSource::columnNames() const
{
    return d->columns;
}

int DataSource::columnCount() const
{
    return int(d->columns.size());
}

int DataSource::namedColumnCount() const
{
    int named = columnCount();
    while (named > 0 && d->columns.at(named - 1).trimmed().isEmpty())
        --named;
    return named;
}

qsizetype DataSource::recordCount() const
{
    return d->starts.empty() ? 0 : qsizetype(d->starts.size()) - 1;
}

QStringList DataSource::fields(qsizetype record, int maxFields) const
{
    if (record < 0 || record >= recordCount())
        return {};
    return d->fieldsAt(d->starts[size_t(record) + 1], maxFields);
}

QString DataSource::field(qsizetype record, int column) const
{
    if (column < 0)
        return {};
    const QStringList f = fields(record, column + 1);
    return column < f.size() ? f.at(column) : QString();
}

int DataSource::fieldCount(qsizetype record, int atMost) const
{
    if (record < 0 || record >= recordCount())
        return 0;
    thread_local std::vector<detail::FieldSpan> spans;
    detail::splitRecord(d->bytes, d->starts[size_t(record) + 1], atMost, spans);
    return int(spans.size());
}

QStringList DataSource::requireFields(qsizetype record, int count) const
{
    QStringList f = fields(record, count);
    if (f.size() < count)
        throw Failure(describeShortRecord(record, count));
    return f;
}

QString DataSource::describeShortRecord(qsizetype record, int needed) const
{
    return QStringLiteral("%1 の %2 件目（%3 行目）のデータは %4 列しかありません。%5 列必要です。")
        .arg(d->name)
        .arg(record + 1)
        .arg(lineNumber(record))
        .arg(fieldCount(record))
        .arg(needed);
}

qsizetype DataSource::lineNumber(qsizetype record) const
{
    const qsizetype index = record + 1;
    if (index < 0 || index >= qsizetype(d->starts.size()))
        return 0;
    const char *p = d->bytes.constData();
    const qint64 end = d->starts[size_t(index)];
    qsizetype line = 1;
    for (qint64 i = 0; i < end; ++i) {
        if (p[i] == '\n' || (p[i] == '\r' && (i + 1 >= d->bytes.size() || p[i + 1] != '\n')))
            ++line;
    }
    return line;
}

} // namespace zl::datasource
