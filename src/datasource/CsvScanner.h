#pragma once
// Finding record boundaries in CSV bytes without decoding them.
//
// This works on the raw bytes of both encodings we accept: in UTF-8 every byte
// of a multi-byte character is >= 0x80, and in CP932 the second byte of a
// double-byte character is 0x40..0xFC but never 0x22 ("), 0x2C (,), 0x0A or
// 0x0D. So quotes, commas and line ends found here are real ones, and a
// backslash trail byte (ソ = 83 5C, 表 = 95 5C) means nothing to CSV.
//
// The scanner is fed in pieces (the counter streams the file) or in one piece
// (the index keeps the whole file); its state carries over between pieces,
// and all positions it reports are absolute offsets into the file.
#include <QtGlobal>

#include <algorithm>
#include <cstring>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zl::datasource::detail {

// Bit i set when block[i] is NUL, '"', LF or CR; the other bytes of a CSV
// line are skipped sixty-four at a time.
inline quint64 specialMask(const char *block, qsizetype len)
{
#if defined(__SSE2__)
    if (len == 64) {
        const __m128i quote = _mm_set1_epi8('"');
        const __m128i lf = _mm_set1_epi8('\n');
        const __m128i cr = _mm_set1_epi8('\r');
        const __m128i nul = _mm_setzero_si128();
        quint64 mask = 0;
        for (int part = 0; part < 4; ++part) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(block + part * 16));
            const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, lf)),
                                             _mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, nul)));
            mask |= quint64(quint16(_mm_movemask_epi8(hit))) << (part * 16);
        }
        return mask;
    }
#endif
    quint64 mask = 0;
    for (qsizetype i = 0; i < len; ++i) {
        const char c = block[i];
        if (c == '"' || c == '\n' || c == '\r' || c == '\0')
            mask |= quint64(1) << i;
    }
    return mask;
}

// What stopped a scan.
enum class ScanProblem { None, NulByte, UnterminatedQuote };

// Splits bytes into lines the way CSV sees them: a line ends at CR, LF or
// CR LF outside a quoted field. A quote opens a quoted field only at the start
// of a field; elsewhere it is an ordinary character (a stray inch mark in an
// unquoted field must not swallow the rest of the file). Inside a quoted
// field a doubled quote is a quote character.
//
// Sink needs `void line(qint64 begin, qint64 end)`, called for every line
// (blank ones too), end excluding the line end.
class LineScanner {
public:
    // Where the text starts (after a byte-order mark).
    explicit LineScanner(qint64 start = 0) : m_lineStart(start) {}

    // Feeds bytes [begin, end) that stand at file offset `base`. Returns false
    // (and remembers the problem) on a NUL byte.
    template <typename Sink> bool feed(const char *begin, const char *end, qint64 base, Sink &sink)
    {
        const qsizetype size = end - begin;
        for (qsizetype offset = 0; offset < size; offset += 64) {
            const char *block = begin + offset;
            const qsizetype len = std::min<qsizetype>(64, size - offset);
            for (quint64 mask = specialMask(block, len); mask; mask &= mask - 1) {
                const char *p = block + __builtin_ctzll(mask);
                if (!step(p, begin, base, sink))
                    return false;
            }
        }
        if (end > begin)
            m_lastByte = end[-1];
        return true;
    }

    // After the last piece: the line left open at the end of the file, if it
    // holds anything. Returns false on an unterminated quoted field.
    template <typename Sink> bool finish(qint64 fileEnd, Sink &sink)
    {
        if (m_problem != ScanProblem::None)
            return false;
        if (m_inQuote) {
            m_problem = ScanProblem::UnterminatedQuote;
            return false;
        }
        if (fileEnd > m_lineStart)
            sink.line(m_lineStart, fileEnd);
        return true;
    }

    ScanProblem problem() const { return m_problem; }
    // 1-based physical line on which the unterminated quoted field opened.
    qint64 quoteOpenedLine() const { return m_quoteOpenedLine; }

private:
    // One special byte at p.
    template <typename Sink> bool step(const char *p, const char *begin, qint64 base, Sink &sink)
    {
        const qint64 at = base + (p - begin);
        const char c = *p;
        if (c == '\0') {
            m_problem = ScanProblem::NulByte;
            return false;
        }
        if (c == '\n') {
            const bool crlf = at == m_lastCr + 1;
            if (!crlf)
                ++m_lines;
            if (!m_inQuote) {
                if (crlf)
                    m_lineStart = at + 1;
                else
                    endLine(at, sink);
            }
        } else if (c == '\r') {
            ++m_lines;
            m_lastCr = at;
            if (!m_inQuote)
                endLine(at, sink);
        } else if (m_inQuote) {
            // A closing quote, or the first half of a doubled one: the
            // next quote right after it reopens the field.
            m_inQuote = false;
            m_closedAt = at;
        } else {
            const char before = p > begin ? p[-1] : m_lastByte;
            const bool fieldStart = at == m_lineStart || before == ',' || at == m_closedAt + 1;
            if (fieldStart) {
                m_inQuote = true;
                if (at != m_closedAt + 1)
                    m_quoteOpenedLine = m_lines + 1;
            }
        }
        return true;
    }

    template <typename Sink> void endLine(qint64 at, Sink &sink)
    {
        sink.line(m_lineStart, at);
        m_lineStart = at + 1;
    }

    qint64 m_lineStart;
    qint64 m_lastCr = -2;
    qint64 m_closedAt = -2;
    qint64 m_lines = 0;
    qint64 m_quoteOpenedLine = 0;
    ScanProblem m_problem = ScanProblem::None;
    bool m_inQuote = false;
    char m_lastByte = '\n';
};

// Turns lines into records: the first line is the header, blank lines at the
// end of the file are dropped, blank lines between records are kept (as a
// record with one empty field, which the caller then finds too short rather
// than having the row numbers shift silently).
template <typename RecordSink> class RecordCollector {
public:
    explicit RecordCollector(RecordSink &sink) : m_sink(sink) {}

    void line(qint64 begin, qint64 end)
    {
        if (begin == end) {
            m_blanks.push_back(begin);
            return;
        }
        for (qint64 blank : m_blanks)
            m_sink.record(blank);
        m_lines += qint64(m_blanks.size()) + 1;
        m_blanks.clear();
        m_sink.record(begin);
    }

    // Lines seen that count, header included.
    qint64 lines() const { return m_lines; }

private:
    RecordSink &m_sink;
    std::vector<qint64> m_blanks;
    qint64 m_lines = 0;
};

} // namespace zl::datasource::detail
