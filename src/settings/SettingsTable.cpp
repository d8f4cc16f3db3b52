#include "settings/SettingsTable.h"

#include "common/RegularFile.h"
#include "common/SystemErrors.h"
#include "settings/ColumnCaptions.h"
#include "common/Cp932.h"
#include "settings/SettingsTestHooks.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <QRegularExpression>
#include <cerrno>
#include <sys/file.h>
#include <fcntl.h>
#include <unistd.h>
#include <memory>
#include <vector>

namespace zl::settings {

namespace testhooks {
std::function<void()> beforeCommit;
}

QStringList tableNames()
{
    return {kGeneralTable, kDataSourceTable, kLayoutTable, kAdjustmentTable};
}

QStringList dataSourceColumns()
{
    return {QStringLiteral("DB1"), QStringLiteral("DB2")};
}

QStringList layoutColumns()
{
    return {QStringLiteral("TITLE1"), QStringLiteral("TITLE2"), QStringLiteral("YOSHI"), QStringLiteral("PRINTER")};
}

QStringList adjustmentColumns()
{
    QStringList c{QStringLiteral("DB1"), QStringLiteral("DB2"), QStringLiteral("SIZE1"), QStringLiteral("SIZE2"),
                  QStringLiteral("SIZE3"), QStringLiteral("D1")};
    for (int i = 2; i <= 90; ++i)
        c << QString::number(i);
    c << QStringLiteral("NA") << QStringLiteral("YU") << QStringLiteral("JYU") << QStringLiteral("TEL");
    return c;
}

QString folderPath()
{
#ifdef Q_OS_WIN
    return QStringLiteral("C:\\tvz_ini2\\");
#else
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QDir(base).filePath(QStringLiteral("tvz_ini2")) + QLatin1Char('/');
#endif
}

QString tablePath(const QString &fileName)
{
    return folderPath() + fileName;
}

namespace {

QString describeValue(const QString &value)
{
    QString shown = value;
    shown.replace(QLatin1Char('\r'), QStringLiteral("\\r")).replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    if (shown.size() > 40)
        shown = shown.left(40) + QStringLiteral("…");
    return shown;
}

// A character that reads back as another one (CP932 stores ¥ as the
// backslash's byte) would change the printed text without a word.
QString unstorableCharacterProblem(const QString &text, const QString &what)
{
    for (const uint u : text.toUcs4()) {
        const char32_t c = u;
        const QString one = QString::fromUcs4(&c, 1);
        const std::optional<QByteArray> bytes = cp932::encode(one);
        if (!bytes)
            return QStringLiteral("%1「%2」の文字「%3」(U+%4) はShift-JIS(CP932)で保存できません。別の文字に置き換えてください。")
                .arg(what, describeValue(text), one)
                .arg(u, 4, 16, QLatin1Char('0'));
        const QString back = cp932::decodeStrict(*bytes).value_or(QString());
        if (back != one) {
            QString text2 = QStringLiteral("%1「%2」の文字「%3」(U+%4) はShift-JIS(CP932)で保存すると「%5」に変わるため保存できません。")
                                .arg(what, describeValue(text), one)
                                .arg(u, 4, 16, QLatin1Char('0'))
                                .arg(back);
            if (u == 0xA5)
                text2 += QStringLiteral("円記号は全角の「￥」を使ってください。");
            else
                text2 += QStringLiteral("「%1」を使ってください。").arg(back);
            return text2;
        }
    }
    return {};
}

void checkStorable(const QString &text, const QString &what)
{
    if (text.contains(QLatin1Char('"')))
        throw Failure(QStringLiteral("%1「%2」に二重引用符 (\") が含まれているため保存できません。")
                          .arg(what, describeValue(text)));
    if (text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n')))
        throw Failure(QStringLiteral("%1「%2」に改行が含まれているため保存できません。").arg(what, describeValue(text)));
    const QString problem = unstorableCharacterProblem(text, what);
    if (!problem.isEmpty())
        throw Failure(problem);
}

QByteArray formatLine(const QList<QByteArray> &fields)
{
    QByteArray line;
    for (int i = 0; i < fields.size(); ++i) {
        if (i)
            line += ',';
        line += fields[i];
    }
    line += "\r\n";
    return line;
}

QByteArray quoted(const QString &value)
{
    return '"' + *cp932::encode(value) + '"';
}

QByteArray formatLine(const QStringList &items)
{
    QList<QByteArray> fields;
    for (const QString &item : items)
        fields << quoted(item);
    return formatLine(fields);
}

// A table is read by opening it, never judged by a look at its name first:
// while another program renames a new version over it, a look may answer
// "missing" where the open finds the file.
QByteArray readTableBytes(const QString &fileName)
{
    const QString path = tablePath(fileName);
    const QString shownPath = QDir::toNativeSeparators(path);
    RegularFile file(path, kTableSizeLimit, 4);
    QByteArray bytes;
    if (file.refusal() == FileRefusal::None)
        bytes = file.readAll();
    switch (file.refusal()) {
    case FileRefusal::None:
        return bytes;
    case FileRefusal::Missing:
        if (!QDir(folderPath()).exists())
            throw TableFailure(TableFailure::Missing, QStringLiteral("設定フォルダ %1 がありません。").arg(QDir::toNativeSeparators(folderPath())));
        throw TableFailure(TableFailure::Missing, QStringLiteral("設定ファイル %1 がありません。").arg(shownPath));
    case FileRefusal::NotRegular:
        throw TableFailure(TableFailure::Damaged,
                           QStringLiteral("設定ファイル %1 が普通のファイルではありません（フォルダ、装置、パイプなど）。").arg(shownPath));
    case FileRefusal::TooLarge:
        throw TableFailure(TableFailure::Damaged, QStringLiteral("設定ファイル %1 が大きすぎます（%2 を超えています）。設定ファイルが壊れています。")
                                                      .arg(shownPath, sizeText(kTableSizeLimit)));
    case FileRefusal::System:
        break;
    }
    throw TableFailure(TableFailure::Unreadable,
                       QStringLiteral("設定ファイル %1 を開けません。%2").arg(shownPath, errnoProblemText(file.error())));
}

// Splits one CSV line of the query reader into fields: quoted fields keep
// their commas, a doubled quote inside quotes is one quote.
QStringList splitQueryLine(const QString &line)
{
    QStringList fields;
    QString cur;
    bool quoted = false;
    bool wasQuoted = false;
    for (int i = 0; i < line.size(); ++i) {
        QChar c = line[i];
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < line.size() && line[i + 1] == QLatin1Char('"')) {
                    cur += c;
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                cur += c;
            }
        } else if (c == QLatin1Char('"') && !wasQuoted && cur.trimmed().isEmpty()) {
            cur.clear();
            quoted = true;
            wasQuoted = true;
        } else if (c == QLatin1Char(',')) {
            fields << (wasQuoted ? cur : cur.trimmed());
            cur.clear();
            wasQuoted = false;
        } else if (!wasQuoted) {
            cur += c;
        }
    }
    fields << (wasQuoted ? cur : cur.trimmed());
    return fields;
}

} // namespace

namespace {
// The query reader finds exactly these values in the table's bytes, and the
// sequential reader finds them all.
bool readsBackAs(const QByteArray &table, const QStringList &values)
{
    try {
        parseSequentialRecords(table, int(values.size()), QString());
        return parseQueryTable(table, QString()).values() == values;
    } catch (const Failure &) {
        return false;
    }
}
} // namespace

QByteArray formatTable(const QStringList &columns, const QStringList &values)
{
    return formatTable(columns, values, {}, {});
}

QByteArray formatTable(const QStringList &columns, const QStringList &values, const QList<QByteArray> &stored,
                       const QStringList &storedValues)
{
    if (columns.size() != values.size())
        throw Failure(QStringLiteral("設定の列数 (%1) と値の数 (%2) が一致しません。")
                          .arg(columns.size())
                          .arg(values.size()));
    for (const QString &c : columns)
        checkStorable(c, QStringLiteral("列名"));
    QList<QByteArray> fields;
    bool carried = false;
    for (int i = 0; i < values.size(); ++i) {
        // A value the screen left as it was read goes back as its bytes:
        // what another program stored there is not ours to judge.
        if (i < stored.size() && i < storedValues.size() && values[i] == storedValues[i]) {
            fields << stored[i];
            carried = true;
            continue;
        }
        checkStorable(values[i], columnCaption(columns[i]) + QStringLiteral("の値"));
        fields << quoted(values[i]);
    }
    const QByteArray table = formatLine(columns) + formatLine(fields);
    // Bytes carried back can be half a field (another tool's line break
    // inside quotes cut it short): then every value is written as read.
    if (carried && !readsBackAs(table, values))
        return formatTable(columns, values);
    return table;
}

void RewriteSettingsTable(const QString &fileName, const QStringList &columns, const QStringList &values)
{
    writeFiles({{tablePath(fileName), formatTable(columns, values)}});
}

void RewriteSettingsTable(const QString &fileName, const QStringList &columns, const QStringList &values,
                          const StoredRecord &asRead)
{
    writeFiles({{tablePath(fileName), formatTable(columns, values, asRead.fields, asRead.values)}});
}

QString writeFailureReason(int error)
{
    switch (error) {
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return QStringLiteral("容量不足です（ディスクの空きが足りません）");
    case EACCES:
    case EPERM:
        return QStringLiteral("書き込み権限がありません");
    case EROFS:
        return QStringLiteral("読み取り専用の場所のため書き込めません");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("保存先のフォルダがありません");
    case EISDIR:
        return QStringLiteral("同じ名前のフォルダがあります");
    case EIO:
        return QStringLiteral("ディスクの読み書きでエラーが起きました");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("開いているファイルが多すぎます");
    default:
        return QStringLiteral("書き込みでエラーが起きました（エラー番号 %1）").arg(error);
    }
}

namespace {

// The reason a save file failed, from what the system said last, or from
// the folder when the system said nothing useful.
QString failedWriteReason(int error, const QString &path)
{
    if (error == 0) {
        const QFileInfo folder(QFileInfo(path).absolutePath());
        if (!folder.isDir())
            error = ENOENT;
        else if (!folder.isWritable())
            error = EACCES;
        else
            error = EIO;
    }
    return writeFailureReason(error);
}

} // namespace

void writeFiles(const QList<QPair<QString, QByteArray>> &files, int *replaced)
{
    if (replaced)
        *replaced = 0;
    // Every file is written out in full, unbuffered so a full disk shows at
    // the write itself, before any of them replaces what stands there.
    std::vector<std::unique_ptr<QSaveFile>> written;
    auto fail = [&](const QString &path, int error) {
        const QString reason = failedWriteReason(error, path);
        written.clear(); // uncommitted save files are removed
        throw Failure(QStringLiteral("%1 を保存できませんでした: %2。元のファイルはそのまま残っています。")
                          .arg(QDir::toNativeSeparators(path), reason));
    };
    for (const auto &[path, bytes] : files) {
        // A save writes beside the file a link points to; a link to a device
        // or a pipe is replaced by the file instead, never what it points to.
        const QFileInfo at(path);
        if (at.isSymLink() && QFileInfo::exists(at.symLinkTarget()) && !QFileInfo(at.symLinkTarget()).isFile())
            QFile::remove(path);
        auto file = std::make_unique<QSaveFile>(path);
        errno = 0;
        if (!file->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            fail(path, errno);
        // Held until the file is committed or the program ends, so a start
        // can tell a save in progress from one a crash left behind.
        ::flock(file->handle(), LOCK_EX | LOCK_NB);
        errno = 0;
        if (file->write(bytes) != bytes.size() || !file->flush() || file->error() != QFileDevice::NoError)
            fail(path, errno);
        written.push_back(std::move(file));
    }
    if (testhooks::beforeCommit) {
        try {
            testhooks::beforeCommit();
        } catch (...) {
            written.clear();
            throw;
        }
    }
    for (size_t i = 0; i < written.size(); ++i) {
        errno = 0;
        if (!written[i]->commit())
            fail(files[int(i)].first, errno);
        if (replaced)
            ++*replaced;
    }
}

void clearStaleSaveFiles(const QStringList &folders, const QStringList &names)
{
    static const QRegularExpression tail(QStringLiteral("^(.+)\\.[A-Za-z0-9]{6}$"));
    for (const QString &folder : folders) {
        const QDir dir(folder);
        for (const QString &entry : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
            const QRegularExpressionMatch m = tail.match(entry);
            if (!m.hasMatch() || !names.contains(m.captured(1)))
                continue;
            const QString path = dir.filePath(entry);
            const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd < 0)
                continue;
            // Locked: another copy of the program is saving right now.
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
                QFile::remove(path);
            ::close(fd);
        }
    }
}

SettingsRecord::SettingsRecord(QStringList columns, QStringList values)
    : m_columns(std::move(columns)), m_values(std::move(values))
{
}

bool SettingsRecord::has(const QString &column) const
{
    return m_columns.contains(column, Qt::CaseInsensitive);
}

QString SettingsRecord::value(const QString &column) const
{
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_columns[i].compare(column, Qt::CaseInsensitive) == 0)
            return m_values.value(i);
    throw TableFailure(TableFailure::Damaged, QStringLiteral("設定ファイルに%1の欄がありません。設定ファイルが壊れています。").arg(columnCaption(column)));
}

SettingsRecord parseQueryTable(const QByteArray &bytes, const QString &fileName)
{
    const QString text = cp932::decode(bytes);
    QStringList lines;
    int start = 0;
    while (lines.size() < 2 && start < text.size()) {
        int end = start;
        while (end < text.size() && text[end] != QLatin1Char('\r') && text[end] != QLatin1Char('\n'))
            ++end;
        lines << text.mid(start, end - start);
        if (end < text.size() && text[end] == QLatin1Char('\r'))
            ++end;
        if (end < text.size() && text[end] == QLatin1Char('\n'))
            ++end;
        start = end;
    }
    if (lines.size() < 2 || lines[0].trimmed().isEmpty())
        throw TableFailure(TableFailure::Damaged, QStringLiteral("設定ファイル %1 にデータ行がありません。").arg(fileName));
    const QStringList names = splitQueryLine(lines[0]);
    QStringList values = splitQueryLine(lines[1]);
    while (values.size() < names.size())
        values << QString();
    values = values.mid(0, names.size());
    return SettingsRecord(names, values);
}

namespace {

// The first two lines of a table's bytes, without their line ends.
QList<QByteArray> firstTwoLines(const QByteArray &bytes)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    while (lines.size() < 2 && start < bytes.size()) {
        qsizetype end = start;
        while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n')
            ++end;
        lines << bytes.mid(start, end - start);
        if (end < bytes.size() && bytes[end] == '\r')
            ++end;
        if (end < bytes.size() && bytes[end] == '\n')
            ++end;
        start = end;
    }
    return lines;
}

// A line cut into its fields as they stand in the file, quotes and all, by
// the query reader's rules. The quote and the comma are single bytes in
// CP932 and never a character's second byte, so bytes that are not CP932
// at all still split where the reader splits.
QList<QByteArray> rawFields(const QByteArray &line)
{
    QList<QByteArray> fields;
    qsizetype start = 0;
    bool quoted = false;
    bool wasQuoted = false;
    bool onlySpace = true;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"') {
                if (i + 1 < line.size() && line[i + 1] == '"')
                    ++i;
                else
                    quoted = false;
            }
        } else if (c == '"' && !wasQuoted && onlySpace) {
            quoted = true;
            wasQuoted = true;
        } else if (c == ',') {
            fields << line.mid(start, i - start);
            start = i + 1;
            wasQuoted = false;
            onlySpace = true;
        } else if (c != ' ' && c != '\t') {
            onlySpace = false;
        }
    }
    fields << line.mid(start);
    return fields;
}

} // namespace

StoredRecord readStoredRecord(const QString &fileName, const QStringList &columns)
{
    const QByteArray bytes = readTableBytes(fileName);
    const SettingsRecord decoded = parseQueryTable(bytes, fileName);
    const QList<QByteArray> lines = firstTwoLines(bytes);
    const QList<QByteArray> fields = rawFields(lines.value(1));
    StoredRecord r;
    for (const QString &column : columns) {
        qsizetype at = -1;
        for (qsizetype i = 0; i < decoded.columns().size() && at < 0; ++i)
            if (decoded.columns()[i].compare(column, Qt::CaseInsensitive) == 0)
                at = i;
        if (at < 0)
            throw TableFailure(TableFailure::Damaged, QStringLiteral("設定ファイル %1 に列 %2 がありません。").arg(fileName, column));
        r.values << decoded.values().value(at);
        // A field missing from the data line is read as empty and stored as such.
        r.fields << (at < fields.size() ? fields[at] : QByteArrayLiteral("\"\""));
    }
    return r;
}

QStringList parseSequentialRecords(const QByteArray &bytes, int fieldCount, const QString &fileName)
{
    const QString text = cp932::decode(bytes);
    QStringList fields;
    const int wanted = 2 * fieldCount;
    int i = 0;
    const int n = text.size();
    auto isSpace = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    while (fields.size() < wanted) {
        // Blank space before a field is not part of it.
        while (i < n && isSpace(text[i]))
            ++i;
        if (i >= n)
            throw TableFailure(TableFailure::Damaged, QStringLiteral("設定ファイル %1 の項目が足りません (%2 項目のうち %3 項目しかありません)。")
                              .arg(fileName)
                              .arg(wanted)
                              .arg(fields.size()));
        QString field;
        if (text[i] == QLatin1Char('"')) {
            int close = text.indexOf(QLatin1Char('"'), i + 1);
            if (close < 0)
                close = n;
            field = text.mid(i + 1, close - i - 1);
            i = close + 1;
            // Anything up to the delimiter after the closing quote is dropped.
            while (i < n && text[i] != QLatin1Char(',') && text[i] != QLatin1Char('\r') && text[i] != QLatin1Char('\n'))
                ++i;
        } else {
            int end = i;
            while (end < n && text[end] != QLatin1Char(',') && text[end] != QLatin1Char('\r') && text[end] != QLatin1Char('\n'))
                ++end;
            field = text.mid(i, end - i).trimmed();
            i = end;
        }
        if (i < n) {
            if (text[i] == QLatin1Char(','))
                ++i;
            else {
                if (text[i] == QLatin1Char('\r'))
                    ++i;
                if (i < n && text[i] == QLatin1Char('\n'))
                    ++i;
            }
        }
        fields << field;
    }
    return fields.mid(fieldCount, fieldCount);
}

SettingsRecord QuerySettingsTable(const QString &fileName, const QStringList &wanted)
{
    SettingsRecord all = parseQueryTable(readTableBytes(fileName), fileName);
    if (wanted.isEmpty())
        return all;
    QStringList values;
    for (const QString &c : wanted)
        values << all.value(c);
    return SettingsRecord(wanted, values);
}

QStringList ReadSettingsRecords(const QString &fileName, int fieldCount)
{
    return parseSequentialRecords(readTableBytes(fileName), fieldCount, fileName);
}

} // namespace zl::settings
