#pragma once
// Cutting a settings table's bytes into lines and fields. Both readers and
// the writer that carries unchanged values back use these, so a table reads
// the same however it is read.
//
// The bytes are cut before they are decoded: the quote, the comma, the space
// and the tab are single bytes in CP932 and never a character's second byte.
// Only the space and the tab are blanks around a field; a full-width space
// (U+3000) or any other character is part of the value, as another tool that
// writes values unquoted means it.
#include <QByteArray>
#include <QList>

namespace zl::settings {

struct TableField {
    QByteArray stored; // as it stands in the line, quotes and blanks and all
    QByteArray value;  // what it holds: a quoted field without its quotes, a plain one without its blanks
};

// The lines of the bytes without their line ends (CR LF, LF or CR), at most
// maxLines of them (all when negative). Nothing after the last line end is
// no line.
QList<QByteArray> tableLines(const QByteArray &bytes, int maxLines = -1);

// One line cut at its commas. A field whose first byte after blanks is a
// quote is quoted: commas inside the quotes stay, a doubled quote is one
// quote, anything after the closing quote is dropped, and a quote that never
// closes runs to the end of the line.
QList<TableField> tableFields(const QByteArray &line);

} // namespace zl::settings
