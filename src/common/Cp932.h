#pragma once
// Windows code page 932 (Shift-JIS with the NEC and IBM extensions), the
// encoding of every settings table and of data files made on Japanese Windows.
#include <QByteArray>
#include <QString>
#include <optional>

namespace zl::cp932 {

// Strict encode: nothing when a character has no CP932 form.
std::optional<QByteArray> encode(const QString &text);
// Decode; bytes that are not CP932 become U+FFFD. Decoding goes through a
// table built once from the system's converter, so a short field costs a
// lookup per character rather than a converter per call.
QString decode(const QByteArray &bytes);
QString decode(const char *data, qsizetype size);
// Strict decode: nothing when the bytes are not valid CP932.
std::optional<QString> decodeStrict(const QByteArray &bytes);
// The characters of text that CP932 cannot encode, in order, without repeats.
QString unencodable(const QString &text);

} // namespace zl::cp932
