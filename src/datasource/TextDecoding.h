#pragma once
// Turning the bytes of one CSV field into text, many times a second.
#include <QByteArray>
#include <QString>
#include <optional>

namespace zl::datasource {

enum class TextEncoding { Utf8, Cp932 };

// True when the bytes are well-formed UTF-8 (no overlong forms, surrogates or
// code points past U+10FFFF).
bool isValidUtf8(const char *data, qsizetype size);

// Where the first byte that breaks UTF-8 stands in text that is otherwise
// UTF-8 (its well-formed multi-byte sequences are many and outnumber the
// stray bytes four to one);
// nothing for valid UTF-8 and for text in another encoding. markedUtf8: the
// text came after a byte-order mark, so any stray byte counts.
std::optional<qsizetype> strayByteInUtf8(const char *data, qsizetype size, bool markedUtf8 = false);

// The byte-order mark's length at the start of data (3), or 0.
qsizetype utf8BomLength(const char *data, qsizetype size);

enum class Utf16Order { None, LittleEndian, BigEndian };

// The UTF-16 byte-order mark at the start of data, if any.
Utf16Order utf16ByteOrder(const char *data, qsizetype size);

// UTF-16 text with its byte-order mark as UTF-8 with a UTF-8 byte-order mark,
// so the CSV reader meets only the encodings it scans. An odd last byte or an
// unpaired surrogate becomes U+FFFD. A text whose first line has tabs and no
// comma (Excel's "Unicode text" is tab-separated) comes back as CSV.
QByteArray utf16ToUtf8(const QByteArray &bytes);

QString decodeText(TextEncoding encoding, const char *data, qsizetype size);

} // namespace zl::datasource
