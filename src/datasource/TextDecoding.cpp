#include "datasource/TextDecoding.h"

#include "common/Cp932.h"

#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>
#include <cstring>
#include <optional>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// How many bytes the multi-byte character that b starts takes, or 0.
int utf8LeadLength(unsigned char b)
{
    return b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF4 ? 4 : 0;
}

} // namespace

void Utf8Audit::feed(const char *data, qsizetype size)
{
    const auto *bytes = reinterpret_cast<const unsigned char *>(data);
    qsizetype from = 0;
    if (m_carried > 0) {
        // The character cut off at the end of the last piece, judged with the
        // first bytes of this one; whatever it does not take is scanned below.
        unsigned char joined[6];
        const int carried = m_carried;
        const int taken = int(std::min<qsizetype>(size, 3));
        std::memcpy(joined, m_carry, size_t(carried));
        std::memcpy(joined + carried, bytes, size_t(taken));
        m_carried = 0;
        m_fed -= carried;
        const qsizetype stopped = scan(joined, carried + taken, carried, taken == size);
        m_fed += carried;
        if (m_carried > 0) { // the piece was too short to finish the character
            m_fed += size;
            return;
        }
        from = stopped - carried;
    }
    scan(bytes + from, size - from, size - from, true, from);
    m_fed += size;
}

std::optional<StrayByte> Utf8Audit::finish()
{
    if (m_carried > 0) {
        // Text that ends inside a character: its bytes are stray.
        const unsigned char tail[3] = {m_carry[0], m_carry[1], m_carry[2]};
        const int carried = m_carried;
        m_carried = 0;
        m_fed -= carried;
        scan(tail, carried, carried, false);
        m_fed += carried;
    }
    if (m_first && (m_marked || (m_sequences >= 4 && m_sequences >= 4 * m_stray)))
        return m_first;
    return std::nullopt;
}

// Judges the characters that start in [p, p + startsBefore) of the size bytes
// at p (offset `skipped` into the piece fed); a character too close to the
// end to be judged is carried to the next piece when more may come. Returns
// where the scan stopped.
qsizetype Utf8Audit::scan(const unsigned char *p, qsizetype size, qsizetype startsBefore, bool moreMayCome,
                          qsizetype skipped)
{
    const unsigned char *const begin = p;
    const unsigned char *const end = p + size;
    const unsigned char *const last = p + startsBefore;
    while (p < last) {
        // Runs of ASCII, eight bytes at a time.
        while (last - p >= 8) {
            quint64 word;
            std::memcpy(&word, p, 8);
            if (word & 0x8080808080808080ULL)
                break;
            p += 8;
        }
        if (p == last)
            break;
        const unsigned char b = *p;
        if (b < 0x80) {
            ++p;
            continue;
        }
        // Japanese text is mostly three-byte characters that need none of
        // the range checks below (E0 and ED can be overlong or surrogates).
        if (end - p >= 3 && b >= 0xE1 && b <= 0xEF && b != 0xED && (p[1] & 0xC0) == 0x80 && (p[2] & 0xC0) == 0x80) {
            ++m_sequences;
            p += 3;
            continue;
        }
        if (moreMayCome && end - p < utf8LeadLength(b)) {
            m_carried = int(end - p);
            std::memcpy(m_carry, p, size_t(m_carried));
            break;
        }
        if (const int n = utf8SequenceAt(p, end)) {
            ++m_sequences;
            p += n;
            continue;
        }
        if (!m_stray++)
            m_first = StrayByte{m_fed + skipped + (p - begin),
                                m_lines + qint64(std::count(begin, p, '\n')) + 1};
        ++p;
    }
    if (!m_first)
        m_lines += qint64(std::count(begin, p, '\n'));
    return m_carried > 0 ? size : p - begin;
}

void HighByteCensus::add(const char *data, qsizetype size)
{
    qsizetype i = 0;
#if defined(__SSE2__)
    // Byte counters in sixteen lanes, emptied into the totals before a lane
    // can overflow.
    const __m128i zero = _mm_setzero_si128();
    const __m128i flip = _mm_set1_epi8(char(0x80));
    const __m128i belowLead = _mm_set1_epi8(0xC2 - 0x80 - 1);
    const __m128i pastLead = _mm_set1_epi8(0xF4 - 0x80 + 1);
    while (size - i >= 16) {
        __m128i high = zero;
        __m128i leads = zero;
        for (int round = 0; round < 255 && size - i >= 16; ++round, i += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + i));
            // Flipped, bytes >= 0x80 are 0..0x7F and compare as signed.
            const __m128i f = _mm_xor_si128(v, flip);
            high = _mm_sub_epi8(high, _mm_cmpgt_epi8(zero, v));
            leads = _mm_sub_epi8(leads, _mm_and_si128(_mm_cmpgt_epi8(f, belowLead), _mm_cmpgt_epi8(pastLead, f)));
        }
        auto total = [&](__m128i lanes) {
            const __m128i sums = _mm_sad_epu8(lanes, zero);
            return qint64(_mm_cvtsi128_si64(sums)) + qint64(_mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums)));
        };
        m_high += total(high);
        m_leads += total(leads);
    }
#endif
    for (; i < size; ++i) {
        const auto b = uchar(data[i]);
        m_high += b >= 0x80;
        m_leads += b >= 0xC2 && b <= 0xF4;
    }
}

bool HighByteCensus::mayBeDamagedUtf8(bool markedUtf8) const
{
    if (m_high == 0)
        return false;
    if (markedUtf8)
        return true;
    // Each multi-byte character is one lead and at most three more bytes, so
    // the stray bytes are at least high - 4 * leads; damage needs the
    // characters (at most leads) to be at least four times those.
    return m_leads >= 4 && 17 * m_leads >= 4 * m_high;
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
