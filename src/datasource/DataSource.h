#pragma once
// The data file: the operator's CSV file, named by the data-source table's
// DB1 (folder) and DB2 (file name).
//
// The file's first line holds the column names; every further line is one
// record. Quoting follows RFC 4180 (a quoted field keeps commas, doubled
// quotes and line breaks); lines end with CR LF, LF or CR; the last line may
// lack its line end; blank lines at the end are not records. Every value is
// text, exactly as written ("0123456789012" keeps its leading zero).
//
// Encoding: UTF-16 (little or big endian) when the file starts with its
// byte-order mark (Excel's "Unicode text"); UTF-8 when it starts with a UTF-8
// byte-order mark or is valid UTF-8 throughout; otherwise CP932 (Windows
// Shift-JIS).
//
// Every failure is a zl::Failure whose description (Japanese) names the file:
// folder missing, file missing, not readable, not a text file (NUL bytes),
// unterminated quoted field (with its line), empty file without a header,
// UTF-8 damaged by stray bytes (with the line of the first).
//
// Typical use by a print run:
//
//     auto source = DataSource::open(db1, db2);
//     for (qsizetype r = 0; r < source.recordCount(); ++r) {
//         const QStringList f = source.fields(r, 4);
//         if (f.size() < 4)
//             report(source.describeShortRecord(r, 4));   // or requireFields(r, 4), which throws
//         ...
//     }
#include "common/Failure.h"
#include "datasource/DataFileLocation.h"
#include "datasource/TextDecoding.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace zl::datasource {

// Data files larger than this are refused with a message rather than read
// until memory runs out.
constexpr qint64 kDataFileLimit = qint64(1) << 30;

// The number of records after the header, as DataSource::open would index
// them, read in pieces without keeping the file in memory (a file that may be
// UTF-8 is read twice, the second time to judge its characters). Throws on
// every failure listed above, as open() does.
qsizetype countRecords(const QString &db1, const QString &db2);
qsizetype countRecordsInFile(const QString &path);

// An opened data file: its bytes, its encoding and where each record starts.
// Values are decoded only when asked for. Copies share the same data and are
// cheap; an opened source does not change when the file does.
class DataSource {
public:
    // Empty: no columns, no records.
    DataSource();

    // maxRecords: read only as far as that many records (the file may hold
    // more; recordCount() then says maxRecords). Negative: all of them.
    static DataSource open(const QString &db1, const QString &db2, qsizetype maxRecords = -1);
    static DataSource openFile(const QString &path, qsizetype maxRecords = -1);
    // Bytes already in memory; `name` stands for the file in descriptions.
    static DataSource fromBytes(QByteArray bytes, const QString &name);

    TextEncoding encoding() const;

    QStringList columnNames() const;
    int columnCount() const;
    // The header's columns as far as its last name: the empty names a
    // spreadsheet saves after the last column name nothing.
    int namedColumnCount() const;
    qsizetype recordCount() const;

    // The record's values by position, at most maxFields of them (all when
    // negative). A record may have fewer or more values than the header has
    // columns; the caller decides what too few means.
    QStringList fields(qsizetype record, int maxFields = -1) const;
    // One value; empty when the record has no such column.
    QString field(qsizetype record, int column) const;
    // How many values the record has, counting no further than atMost
    // (all when negative).
    int fieldCount(qsizetype record, int atMost = -1) const;

    // The first `count` values, or a zl::Failure describing the short record
    // (file, record number, line) when it has fewer.
    QStringList requireFields(qsizetype record, int count) const;
    QString describeShortRecord(qsizetype record, int needed) const;

    // The 1-based line of the file on which the record starts (the header is
    // on line 1 unless blank lines precede it).
    qsizetype lineNumber(qsizetype record) const;

private:
    static DataSource fromScanned(QByteArray bytes, std::vector<qint64> starts, qsizetype bom, const QString &name);
    struct Data;
    explicit DataSource(std::shared_ptr<const Data> data);
    std::shared_ptr<const Data> d;
};

} // namespace zl::datasource
