#pragma once
// Turning the bytes of one CSV field into text, many times a second.
#include <QByteArray>
#include <QString>
#include <optional>

namespace zl::datasource {

enum class TextEncoding { Utf8, Cp932 };

// The first byte that breaks UTF-8 in text that is otherwise UTF-8, and the
// line it stands on (1-based).
struct StrayByte {
    qint64 offset = 0;
    qint64 line = 0;
};

// Tells well-formed UTF-8 (no overlong forms, surrogates or code points past
// U+10FFFF), UTF-8 damaged by a few stray bytes, and text in another encoding
// apart. The text may come in pieces, as a file is read; a character split
// between two pieces is whole.
class Utf8Audit {
public:
    // markedUtf8: the text came after a byte-order mark, so any stray byte
    // counts as damage.
    explicit Utf8Audit(bool markedUtf8 = false) : m_marked(markedUtf8) {}

    void feed(const char *data, qsizetype size);
    // After the last piece: the first stray byte of damaged UTF-8 (its
    // well-formed multi-byte sequences are many and outnumber the stray
    // bytes four to one), or nothing for valid UTF-8 and other encodings.
    std::optional<StrayByte> finish();
    // After finish(): well-formed UTF-8 throughout.
    bool valid() const { return m_stray == 0; }

private:
    qsizetype scan(const unsigned char *p, qsizetype size, qsizetype startsBefore, bool moreMayCome,
                   qsizetype skipped = 0);

    bool m_marked;
    qint64 m_fed = 0; // bytes fed before the current piece
    qint64 m_sequences = 0;
    qint64 m_stray = 0;
    std::optional<StrayByte> m_first;
    qint64 m_lines = 0; // line ends fed while no stray byte was found
    // The start of a character the last piece cut off.
    unsigned char m_carry[3] = {};
    int m_carried = 0;
};

// A census of the bytes past ASCII, taken at memory speed: enough to know,
// without following the characters, that text cannot be damaged UTF-8.
class HighByteCensus {
public:
    void add(const char *data, qsizetype size);
    // False when Utf8Audit would find no damage in text with these bytes:
    // too few could start a multi-byte character for them to outnumber
    // the stray bytes four to one.
    bool mayBeDamagedUtf8(bool markedUtf8) const;

private:
    qint64 m_high = 0;  // bytes >= 0x80
    qint64 m_leads = 0; // bytes that can start a multi-byte character (C2..F4)
};

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
