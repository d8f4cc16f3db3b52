#pragma once
// Cutting one record of the data file's bytes into its fields, and a quoted
// field's bytes into its value; decoding is left to the caller.
#include <QByteArray>
#include <QtGlobal>

#include <vector>

namespace zl::datasource::detail {

// One field of a record as it stands in the bytes. A plain field is the
// span's bytes; a quoted one still carries its quotes.
struct FieldSpan {
    qint64 begin;
    qint64 end;
    bool quoted;
};

// Splits the record that starts at `start` into its fields, stopping after
// maxFields of them (all when negative) or at the record's line end.
void splitRecord(const QByteArray &bytes, qint64 start, int maxFields, std::vector<FieldSpan> &out);

// A quoted field's value: the quotes go, doubled quotes become one, and
// anything after the closing quote is kept as written.
QByteArray unquote(const char *p, qsizetype size);

} // namespace zl::datasource::detail
