#include "datasource/DataSource.h"

#include "common/RegularFile.h"
#include "common/SystemErrors.h"
#include "datasource/CsvScanner.h"
#include "settings/Defaults.h"
#include "settings/SettingsTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstring>
#include <vector>

namespace zl::datasource {

namespace {

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

[[noreturn]] void throwScanProblem(const detail::LineScanner &scanner, const QString &name)
{
    if (scanner.problem() == detail::ScanProblem::NulByte)
        throw Failure(QStringLiteral("%1 はテキストファイルではありません（NUL 文字が含まれています）。").arg(name));
    throw Failure(QStringLiteral("%1 の %2 行目で始まる引用符 (\") が閉じられていません。")
                      .arg(name)
                      .arg(scanner.quoteOpenedLine()));
}

[[noreturn]] void throwEmpty(const QString &name)
{
    throw Failure(QStringLiteral("%1 は空です。1行目に列名（ヘッダー）が必要です。").arg(name));
}

// Opens the file for reading, telling apart the reasons it cannot be read.
// Only an ordinary file is read: a device such as /dev/zero never ends and
// a pipe may never say anything.
void openForReading(QFile &file)
{
    const QString name = shown(file.fileName());
    RegularFile opened(file.fileName(), kDataFileLimit, 4);
    switch (opened.refusal()) {
    case FileRefusal::None:
        if (!file.open(opened.release(), QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle))
            throw Failure(QStringLiteral("ファイル %1 を開けません: %2").arg(name, fileProblemText(file)));
        return;
    case FileRefusal::Missing:
        throw Failure(QStringLiteral("ファイル %1 が見つかりません。").arg(name));
    case FileRefusal::NotRegular:
        if (QFileInfo(file.fileName()).isDir())
            throw Failure(QStringLiteral("%1 はフォルダです。データファイルを指定してください。").arg(name));
        throw Failure(QStringLiteral("%1 は普通のファイルではありません（装置やパイプなど）。データファイルには CSV ファイルを指定してください。")
                          .arg(name));
    case FileRefusal::TooLarge:
        throw Failure(QStringLiteral("ファイル %1 は大きすぎます（%2 を超えています）。ファイルを分けてください。")
                          .arg(name, sizeText(kDataFileLimit)));
    case FileRefusal::System:
        break;
    }
    if (problemFromErrno(opened.error()) == SystemProblem::NoPermission)
        throw Failure(QStringLiteral("ファイル %1 を読み込む権限がありません。").arg(name));
    throw Failure(QStringLiteral("ファイル %1 を開けません: %2").arg(name, errnoProblemText(opened.error())));
}

[[noreturn]] void throwReadError(const QFile &file)
{
    throw Failure(
        QStringLiteral("ファイル %1 を読み込めません: %2").arg(shown(file.fileName()), fileProblemText(file)));
}

struct Counter {
    void record(qint64) {}
};

struct StartIndex {
    std::vector<qint64> starts;
    void record(qint64 begin) { starts.push_back(begin); }
};

// One field of a record as it stands in the bytes. A plain field is the
// span's bytes; a quoted one still carries its quotes.
struct FieldSpan {
    qint64 begin;
    qint64 end;
    bool quoted;
};

// Splits the record that starts at `start` into its fields, stopping after
// maxFields of them (all when negative) or at the record's line end.
void splitRecord(const QByteArray &bytes, qint64 start, int maxFields, std::vector<FieldSpan> &out)
{
    out.clear();
    const char *data = bytes.constData();
    const qint64 size = bytes.size();
    qint64 pos = start;
    while (maxFields < 0 || int(out.size()) < maxFields) {
        const qint64 begin = pos;
        bool quoted = false;
        if (pos < size && data[pos] == '"') {
            quoted = true;
            ++pos;
            // The scanner has already made sure every quoted field closes.
            for (;;) {
                const void *q = std::memchr(data + pos, '"', size_t(size - pos));
                if (!q) {
                    pos = size;
                    break;
                }
                pos = static_cast<const char *>(q) - data + 1;
                if (pos < size && data[pos] == '"')
                    ++pos;
                else
                    break;
            }
        }
        while (pos < size && data[pos] != ',' && data[pos] != '\n' && data[pos] != '\r')
            ++pos;
        out.push_back({begin, pos, quoted});
        if (pos < size && data[pos] == ',')
            ++pos;
        else
            break;
    }
}

// A quoted field's value: the quotes go, doubled quotes become one, and
// anything after the closing quote is kept as written.
QByteArray unquote(const char *p, qsizetype size)
{
    QByteArray out;
    out.reserve(size);
    bool inQuote = false;
    qsizetype closedAt = -2;
    for (qsizetype i = 0; i < size; ++i) {
        const char c = p[i];
        if (c != '"') {
            out.append(c);
        } else if (!inQuote && (i == 0 || i == closedAt + 1)) {
            // Opening quote, or the second half of a doubled one.
            if (i > 0)
                out.append('"');
            inQuote = true;
        } else if (inQuote) {
            inQuote = false;
            closedAt = i;
        } else {
            out.append(c);
        }
    }
    return out;
}

} // namespace

QString dataFolderPath(const QString &db1)
{
    QString folder = db1.trimmed();
    if (folder.isEmpty())
        return {};
    // A folder typed or copied from a Windows habit may end with a backslash.
    while (folder.size() > 1 && (folder.endsWith(QLatin1Char('/')) || folder.endsWith(QLatin1Char('\\'))))
        folder.chop(1);
    if (folder == QLatin1String("~"))
        folder = QDir::homePath();
    else if (folder.startsWith(QLatin1String("~/")) || folder.startsWith(QLatin1String("~\\")))
        folder = QDir::homePath() + QLatin1Char('/') + folder.mid(2);
    return QDir::cleanPath(QDir(settings::folderPath()).absoluteFilePath(settings::resolveDataFolder(folder)));
}

QString locateDataFile(const QString &db1, const QString &db2)
{
    if (db1.trimmed().isEmpty())
        throw Failure(QStringLiteral("データファイルのフォルダ（接続CSV(ﾌｧｲﾙﾊﾟｽ)）が設定されていません。"));
    if (db2.isEmpty())
        throw Failure(QStringLiteral("データファイル名（データテーブル名）が設定されていません。"));
    const QString folder = dataFolderPath(db1);
    const QFileInfo folderInfo(folder);
    if (!folderInfo.exists())
        throw Failure(QStringLiteral("フォルダ %1 が見つかりません。").arg(shown(folder)));
    if (!folderInfo.isDir())
        throw Failure(QStringLiteral("%1 はフォルダではありません。").arg(shown(folder)));
    // Whether the file is there is for the open to say: a look at its name
    // may miss a file that another program is renaming into place.
    return QDir(folder).filePath(db2);
}

qsizetype countRecords(const QString &db1, const QString &db2)
{
    return countRecordsInFile(locateDataFile(db1, db2));
}

qsizetype countRecordsInFile(const QString &path)
{
    QFile file(path);
    openForReading(file);
    const QString name = shown(path);

    // Pieces the size of a typical disk read; the count never needs more.
    constexpr qsizetype kPiece = 1 << 20;
    std::unique_ptr<char[]> buffer(new char[kPiece]);
    qint64 got = file.read(buffer.get(), kPiece);
    if (got < 0)
        throwReadError(file);
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
            throwScanProblem(scanner, name);
        base += got;
        got = file.read(buffer.get(), kPiece);
        if (got < 0)
            throwReadError(file);
    }
    if (!scanner.finish(base, collector))
        throwScanProblem(scanner, name);
    if (collector.lines() == 0)
        throwEmpty(name);
    return collector.lines() - 1;
}

struct DataSource::Data {
    QByteArray bytes;
    QString name;
    TextEncoding encoding = TextEncoding::Utf8;
    // Where each line that counts starts; the header's is first.
    std::vector<qint64> starts;
    QStringList columns;

    QString decodeField(const FieldSpan &f) const
    {
        const char *p = bytes.constData() + f.begin;
        const qsizetype n = qsizetype(f.end - f.begin);
        if (!f.quoted)
            return decodeText(encoding, p, n);
        const QByteArray value = unquote(p, n);
        return decodeText(encoding, value.constData(), value.size());
    }

    QStringList fieldsAt(qint64 start, int maxFields) const
    {
        // Reused between calls on the same thread: a print run asks once per record.
        thread_local std::vector<FieldSpan> spans;
        splitRecord(bytes, start, maxFields, spans);
        QStringList out;
        out.reserve(qsizetype(spans.size()));
        for (const FieldSpan &f : spans)
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
    openForReading(file);
    const QString name = shown(path);
    // Read in pieces, and only as far as the records asked for.
    constexpr qint64 kPiece = 4 << 20;
    QByteArray bytes;
    auto readPiece = [&]() -> qint64 {
        const qsizetype at = bytes.size();
        bytes.resize(at + qsizetype(kPiece));
        const qint64 n = file.read(bytes.data() + at, kPiece);
        if (n < 0)
            throwReadError(file);
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
            throwScanProblem(scanner, name);
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
        throwScanProblem(scanner, name);
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
        throwScanProblem(scanner, name);
    return fromScanned(std::move(bytes), std::move(index.starts), bom, name);
}

DataSource DataSource::fromScanned(QByteArray bytes, std::vector<qint64> starts, qsizetype bom, const QString &name)
{
    auto data = std::make_shared<Data>();
    data->name = name;
    if (starts.empty())
        throwEmpty(name);
    starts.shrink_to_fit();

    const bool utf8 = isValidUtf8(bytes.constData() + bom, bytes.size() - bom);
    if (!utf8) {
        // A UTF-8 file with a few damaged bytes would otherwise be read as
        // Shift-JIS, every row turned to nonsense without a word.
        const std::optional<qsizetype> stray =
            strayByteInUtf8(bytes.constData() + bom, bytes.size() - bom, bom > 0);
        if (stray)
            throw Failure(QStringLiteral("%1 は UTF-8 で書かれていますが、%2 行目に UTF-8 として読めないバイトがあります。"
                                         "ファイルを UTF-8 で保存し直してください。")
                              .arg(name)
                              .arg(bytes.left(bom + *stray).count('\n') + 1));
    }
    data->encoding = bom > 0 || utf8 ? TextEncoding::Utf8 : TextEncoding::Cp932;
    data->bytes = std::move(bytes);
    data->starts = std::move(starts);
    data->columns = data->fieldsAt(data->starts.front(), -1);
    return DataSource(std::move(data));
}

QString DataSource::displayName() const
{
    return d->name;
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
    thread_local std::vector<FieldSpan> spans;
    splitRecord(d->bytes, d->starts[size_t(record) + 1], atMost, spans);
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
