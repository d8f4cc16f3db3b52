#include "datasource/TextDecoding.h"

#include "common/Cp932.h"

#include <QRegularExpression>
#include <QStringDecoder>

#include <optional>
#include <cstring>

namespace zl::datasource {

namespace {

// Excel's "Unicode text" separates its columns with tabs and quotes like CSV.
// Rewritten as CSV, the reader sees the columns the sheet had; line ends stay
// where they were, so line numbers in messages still match the file.
QString tabsToCommas(const QString &text)
{
    QString out;
    out.reserve(text.size() + text.size() / 16);
    QString field;
    bool inQuotes = false;
    auto flush = [&] {
        if (field.contains(u',') || field.contains(u'"') || field.contains(u'\r') || field.contains(u'\n'))
            out += u'"' + QString(field).replace(u'"', QStringLiteral("\"\"")) + u'"';
        else
            out += field;
        field.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (inQuotes) {
            if (c != u'"')
                field += c;
            else if (i + 1 < text.size() && text[i + 1] == u'"')
                field += text[++i];
            else
                inQuotes = false;
        } else if (c == u'"' && field.isEmpty()) {
            inQuotes = true;
        } else if (c == u'\t') {
            flush();
            out += u',';
        } else if (c == u'\r' || c == u'\n') {
            flush();
            out += c;
        } else {
            field += c;
        }
    }
    flush();
    return out;
}

// The length of the well-formed UTF-8 sequence of more than one byte at p,
// or 0 when there is none.
int utf8SequenceAt(const unsigned char *p, const unsigned char *end)
{
    const unsigned char b = *p;
    int extra;
    char32_t cp;
    if (b >= 0xC2 && b <= 0xDF) {
        extra = 1;
        cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        extra = 2;
        cp = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        extra = 3;
        cp = b & 0x07;
    } else {
        return 0;
    }
    if (end - p <= extra)
        return 0;
    for (int i = 1; i <= extra; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return extra + 1;
}

} // namespace

bool isValidUtf8(const char *data, qsizetype size)
{
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    const auto *end = p + size;
    while (p < end) {
        // Runs of ASCII, eight bytes at a time.
        while (end - p >= 8) {
            quint64 word;
            std::memcpy(&word, p, 8);
            if (word & 0x8080808080808080ULL)
                break;
            p += 8;
        }
        if (p == end)
            break;
        const unsigned char b = *p;
        if (b < 0x80) {
            ++p;
            continue;
        }
        const int length = utf8SequenceAt(p, end);
        if (length == 0)
            return false;
        p += length;
    }
    return true;
}

std::optional<qsizetype> strayByteInUtf8(const char *data, qsizetype size, bool markedUtf8)
{
    const auto *begin = reinterpret_cast<const unsigned char *>(data);
    const auto *end = begin + size;
    qsizetype sequences = 0;
    qsizetype stray = 0;
    std::optional<qsizetype> first;
    for (const unsigned char *p = begin; p < end;) {
        if (*p < 0x80) {
            ++p;
            continue;
        }
        if (const int n = utf8SequenceAt(p, end)) {
            ++sequences;
            p += n;
            continue;
        }
        if (!first)
            first = p - begin;
        ++stray;
        ++p;
    }
    // Shift-JIS text forms a UTF-8 sequence only now and then by chance
    // (mostly in half-width katakana); where well-formed sequences are many
    // and outnumber the bytes that fit none four to one, the file was
    // written as UTF-8 and damaged afterwards.
    if (first && (markedUtf8 || (sequences >= 4 && sequences >= 4 * stray)))
        return first;
    return std::nullopt;
}

qsizetype utf8BomLength(const char *data, qsizetype size)
{
    return size >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
}

Utf16Order utf16ByteOrder(const char *data, qsizetype size)
{
    if (size >= 2 && uchar(data[0]) == 0xFF && uchar(data[1]) == 0xFE)
        return Utf16Order::LittleEndian;
    if (size >= 2 && uchar(data[0]) == 0xFE && uchar(data[1]) == 0xFF)
        return Utf16Order::BigEndian;
    return Utf16Order::None;
}

QByteArray utf16ToUtf8(const QByteArray &bytes)
{
    const Utf16Order order = utf16ByteOrder(bytes.constData(), bytes.size());
    if (order == Utf16Order::None)
        return bytes;
    QStringDecoder decoder(order == Utf16Order::LittleEndian ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
    QString text = decoder.decode(QByteArrayView(bytes).sliced(2));
    if (bytes.size() % 2 != 0)
        text += QChar(QChar::ReplacementCharacter);
    const QStringView header = QStringView(text).left(text.indexOf(QRegularExpression(QStringLiteral("[\r\n]"))));
    if (header.contains(u'\t') && !header.contains(u','))
        text = tabsToCommas(text);
    return QByteArrayLiteral("\xEF\xBB\xBF") + text.toUtf8();
}

QString decodeText(TextEncoding encoding, const char *data, qsizetype size)
{
    if (encoding == TextEncoding::Utf8)
        return QString::fromUtf8(data, size);
    return cp932::decode(data, size);
}

} // namespace zl::datasource
