#include "settings/SettingsTable.h"

#include "common/Cp932.h"
#include "common/RegularFile.h"
#include "common/SystemErrors.h"
#include "settings/ColumnCaptions.h"
#include "settings/SaveFiles.h"
#include "settings/StorableText.h"
#include "settings/TableTokenizer.h"

#include <QDir>
#include <QStandardPaths>

namespace zl::settings {

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

// Both readers find exactly these values in the table's bytes.
bool readsBackAs(const QByteArray &table, const QStringList &values)
{
    try {
        return parseSequentialRecords(table, int(values.size()), QString()) == values
            && parseQueryTable(table, QString()).values() == values;
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

namespace {

QStringList decodedValues(const QList<TableField> &fields)
{
    QStringList values;
    values.reserve(fields.size());
    for (const TableField &f : fields)
        values << cp932::decode(f.value);
    return values;
}

} // namespace

SettingsRecord parseQueryTable(const QByteArray &bytes, const QString &fileName)
{
    const QList<QByteArray> lines = tableLines(bytes, 2);
    if (lines.size() < 2 || lines[0].trimmed().isEmpty())
        throw TableFailure(TableFailure::Damaged, QStringLiteral("設定ファイル %1 にデータ行がありません。").arg(fileName));
    const QStringList names = decodedValues(tableFields(lines[0]));
    QStringList values = decodedValues(tableFields(lines[1]));
    while (values.size() < names.size())
        values << QString();
    values = values.mid(0, names.size());
    return SettingsRecord(names, values);
}

StoredRecord readStoredRecord(const QString &fileName, const QStringList &columns)
{
    const QByteArray bytes = readTableBytes(fileName);
    const SettingsRecord decoded = parseQueryTable(bytes, fileName);
    const QList<TableField> fields = tableFields(tableLines(bytes, 2).value(1));
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
        r.fields << (at < fields.size() ? fields[at].stored : QByteArrayLiteral("\"\""));
    }
    return r;
}

QStringList parseSequentialRecords(const QByteArray &bytes, int fieldCount, const QString &fileName)
{
    const int wanted = 2 * fieldCount;
    QStringList fields;
    for (const QByteArray &line : tableLines(bytes)) {
        for (const TableField &f : tableFields(line)) {
            if (fields.size() == wanted)
                break;
            fields << cp932::decode(f.value);
        }
        if (fields.size() == wanted)
            return fields.mid(fieldCount, fieldCount);
    }
    throw TableFailure(TableFailure::Damaged, QStringLiteral("設定ファイル %1 の項目が足りません (%2 項目のうち %3 項目しかありません)。")
                                                  .arg(fileName)
                                                  .arg(wanted)
                                                  .arg(fields.size()));
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
