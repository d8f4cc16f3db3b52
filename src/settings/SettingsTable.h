#pragma once
// The settings tables: small two-line CSV files in the settings folder.
// Line format, both lines: every value in double quotes, one comma between,
// CR LF at the end, CP932 text, nothing after the data line.
//
// All three operations throw zl::Failure with an operator-readable description.
#include "common/Failure.h"

#include <QString>
#include <QList>
#include <QStringList>

namespace zl::settings {

inline const QString kGeneralTable = QStringLiteral("vokiconfig.txt");
inline const QString kDataSourceTable = QStringLiteral("vokiconfig2.txt");
inline const QString kLayoutTable = QStringLiteral("vokiconfig4.txt");
inline const QString kAdjustmentTable = QStringLiteral("vokiconfig5.txt");

// Why a table could not be read: start-up restores a missing or damaged
// table, and only those; a table it merely cannot open now is left alone.
class TableFailure : public Failure {
public:
    enum Kind { Missing, Damaged, Unreadable };
    TableFailure(Kind kind, const QString &description) : Failure(description), m_kind(kind) {}
    Kind kind() const { return m_kind; }

private:
    Kind m_kind;
};

// A table is two short lines; anything this large is not one.
constexpr qint64 kTableSizeLimit = 1 << 20;

// The four tables in the order they are restored.
QStringList tableNames();

// Column lists, in file order.
QStringList dataSourceColumns();   // DB1, DB2
QStringList layoutColumns();       // TITLE1, TITLE2, YOSHI, PRINTER
QStringList adjustmentColumns();   // the 99 columns: DB1, DB2, SIZE1..SIZE3, D1, "2".."90", NA, YU, JYU, TEL

// The settings folder, with a trailing separator: "C:\tvz_ini2\" on Windows,
// "tvz_ini2/" under the XDG configuration folder elsewhere.
QString folderPath();
QString tablePath(const QString &fileName);

// The bytes of a table with these columns and values, exactly as written to disk.
// Throws when a value cannot be stored (a double quote, a line break, or a
// character CP932 has no code for); nothing is written then.
QByteArray formatTable(const QStringList &columns, const QStringList &values);

// A data record as it stands in the file: each field's bytes (quotes and
// all) beside the value the query reader makes of them.
struct StoredRecord {
    QList<QByteArray> fields;
    QStringList values;
};

// The record of a table, fetched by these column names (each must exist).
StoredRecord readStoredRecord(const QString &fileName, const QStringList &columns);

// As formatTable, but a value equal to what was read (storedValues) is
// written back as the bytes it was read from (stored), unchecked.
QByteArray formatTable(const QStringList &columns, const QStringList &values, const QList<QByteArray> &stored,
                       const QStringList &storedValues);

// Replaces the table whole. The new table is written beside the old one and
// renamed over it, so a crash leaves either the old table or the new one.
// Throws zl::Failure naming the file and the reason in the operator's words
// (common/SystemErrors.h); the old table then stays as it was.
void RewriteSettingsTable(const QString &fileName, const QStringList &columns, const QStringList &values);
// The same, writing back unchanged values as the bytes they were read from.
void RewriteSettingsTable(const QString &fileName, const QStringList &columns, const QStringList &values,
                          const StoredRecord &asRead);

// One data record fetched by column name, as the query reader yields it.
class SettingsRecord {
public:
    SettingsRecord() = default;
    SettingsRecord(QStringList columns, QStringList values);
    // Throws when the table has no such column.
    QString value(const QString &column) const;
    bool has(const QString &column) const;
    const QStringList &columns() const { return m_columns; }
    const QStringList &values() const { return m_values; }

private:
    QStringList m_columns;
    QStringList m_values;
};

// First line = column names, second line = the record; later lines ignored.
// With `wanted` given, only those columns are fetched (each must exist).
SettingsRecord QuerySettingsTable(const QString &fileName, const QStringList &wanted = {});

// Reads fieldCount fields as the header record and fieldCount more as the data
// record, in file order regardless of lines, and yields the data record.
// A quoted field loses its quotes and keeps its commas. Fewer than
// 2 x fieldCount fields in the file is an error.
QStringList ReadSettingsRecords(const QString &fileName, int fieldCount);

// The parsing halves of the two readers, for bytes already in memory. Both
// cut the bytes as TableTokenizer.h says, so they agree on every field.
SettingsRecord parseQueryTable(const QByteArray &bytes, const QString &fileName);
QStringList parseSequentialRecords(const QByteArray &bytes, int fieldCount, const QString &fileName);

} // namespace zl::settings
