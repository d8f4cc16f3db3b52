#include "settings/SettingsTable.h"

#include "settings/ColumnCaptions.h"
#include "settings/Cp932.h"
#include "settings/SettingsTestHooks.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

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

void checkStorable(const QString &text, const QString &what)
{
    if (text.contains(QLatin1Char('"')))
        throw Failure(QStringLiteral("%1「%2」に二重引用符 (\") が含まれているため保存できません。")
                          .arg(what, describeValue(text)));
    if (text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n')))
        throw Failure(QStringLiteral("%1「%2」に改行が含まれているため保存できません。").arg(what, describeValue(text)));
    QString bad = cp932::unencodable(text);
    if (!bad.isEmpty())
        throw Failure(QStringLiteral("%1「%2」の文字「%3」はShift-JIS(CP932)で保存できません。")
                          .arg(what, describeValue(text), bad));
}

QByteArray formatLine(const QStringList &items)
{
    QByteArray line;
    for (int i = 0; i < items.size(); ++i) {
        if (i)
            line += ',';
        line += '"';
        line += *cp932::encode(items[i]);
        line += '"';
    }
    line += "\r\n";
    return line;
}

QByteArray readTableBytes(const QString &fileName)
{
    const QString path = tablePath(fileName);
    QFile f(path);
    if (!QDir(folderPath()).exists())
        throw Failure(QStringLiteral("設定フォルダ %1 がありません。").arg(QDir::toNativeSeparators(folderPath())));
    if (!f.exists())
        throw Failure(QStringLiteral("設定ファイル %1 がありません。").arg(QDir::toNativeSeparators(path)));
    if (!f.open(QIODevice::ReadOnly))
        throw Failure(QStringLiteral("設定ファイル %1 を開けません (%2)。")
                          .arg(QDir::toNativeSeparators(path), f.errorString()));
    return f.readAll();
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

QByteArray formatTable(const QStringList &columns, const QStringList &values)
{
    if (columns.size() != values.size())
        throw Failure(QStringLiteral("設定の列数 (%1) と値の数 (%2) が一致しません。")
                          .arg(columns.size())
                          .arg(values.size()));
    for (const QString &c : columns)
        checkStorable(c, QStringLiteral("列名"));
    for (int i = 0; i < values.size(); ++i)
        checkStorable(values[i], columnCaption(columns[i]) + QStringLiteral("の値"));
    return formatLine(columns) + formatLine(values);
}

void RewriteSettingsTable(const QString &fileName, const QStringList &columns, const QStringList &values)
{
    const QByteArray bytes = formatTable(columns, values);
    const QString path = tablePath(fileName);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw Failure(QStringLiteral("設定ファイル %1 を書き込めません (%2)。")
                          .arg(QDir::toNativeSeparators(path), file.errorString()));
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        throw Failure(QStringLiteral("設定ファイル %1 を書き込めません (%2)。")
                          .arg(QDir::toNativeSeparators(path), file.errorString()));
    }
    if (testhooks::beforeCommit) {
        try {
            testhooks::beforeCommit();
        } catch (...) {
            file.cancelWriting();
            throw;
        }
    }
    if (!file.commit())
        throw Failure(QStringLiteral("設定ファイル %1 を書き込めません (%2)。")
                          .arg(QDir::toNativeSeparators(path), file.errorString()));
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
    throw Failure(QStringLiteral("設定ファイルに%1の欄がありません。設定ファイルが壊れています。").arg(columnCaption(column)));
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
        throw Failure(QStringLiteral("設定ファイル %1 にデータ行がありません。").arg(fileName));
    const QStringList names = splitQueryLine(lines[0]);
    QStringList values = splitQueryLine(lines[1]);
    while (values.size() < names.size())
        values << QString();
    values = values.mid(0, names.size());
    return SettingsRecord(names, values);
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
            throw Failure(QStringLiteral("設定ファイル %1 の項目が足りません (%2 項目のうち %3 項目しかありません)。")
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
