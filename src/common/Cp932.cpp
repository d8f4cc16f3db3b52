#include "common/Cp932.h"

#include <QList>

#include <array>
#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <memory>

namespace zl::cp932 {
namespace {

struct IconvCloser {
    void operator()(void *cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using Converter = std::unique_ptr<void, IconvCloser>;

// Encodes the whole text, or nothing at the first character CP932 has no
// code for. Only encoding takes a converter per call: it runs when a table is
// saved, a few hundred characters at a time.
std::optional<QByteArray> encodeStrict(const QByteArray &utf8)
{
    iconv_t raw = iconv_open("CP932", "UTF-8");
    if (raw == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    const Converter cd(raw);
    QByteArray out;
    out.resize(utf8.size() * 2 + 16);
    char *src = const_cast<char *>(utf8.constData());
    size_t srcLeft = size_t(utf8.size());
    size_t used = 0;
    while (srcLeft > 0) {
        char *dst = out.data() + used;
        size_t dstLeft = size_t(out.size()) - used;
        const size_t r = iconv(raw, &src, &srcLeft, &dst, &dstLeft);
        used = size_t(dst - out.data());
        if (r != size_t(-1))
            break;
        if (errno != E2BIG)
            return std::nullopt;
        out.resize(out.size() * 2);
    }
    out.resize(qsizetype(used));
    return out;
}

constexpr char16_t kNone = 0xFFFF;

bool isLeadByte(unsigned char b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

struct DecodeTable {
    std::array<char16_t, 256> single;
    // Indexed by (lead byte's slot) * 256 + trail byte.
    std::unique_ptr<char16_t[]> pairs;
    std::array<int, 256> leadSlot;

    DecodeTable()
    {
        single.fill(kNone);
        leadSlot.fill(-1);
        int leadCount = 0;
        for (int b = 0; b < 256; ++b)
            if (isLeadByte(uchar(b)))
                leadSlot[size_t(b)] = leadCount++;
        pairs.reset(new char16_t[size_t(leadCount) * 256]);
        std::fill(pairs.get(), pairs.get() + size_t(leadCount) * 256, kNone);

        iconv_t cd = iconv_open("UTF-16LE", "CP932");
        if (cd == reinterpret_cast<iconv_t>(-1)) {
            // Without a converter only ASCII can be read; the rest shows as U+FFFD.
            for (int b = 0; b < 0x80; ++b)
                single[size_t(b)] = char16_t(b);
            return;
        }
        auto convertOne = [cd](const char *in, size_t len) -> char16_t {
            char buf[8];
            char *src = const_cast<char *>(in);
            char *dst = buf;
            size_t srcLeft = len, dstLeft = sizeof buf;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == size_t(-1) || srcLeft != 0 || dst - buf != 2)
                return kNone;
            return char16_t(uchar(buf[0]) | (uchar(buf[1]) << 8));
        };
        for (int b = 0; b < 256; ++b) {
            if (leadSlot[size_t(b)] >= 0)
                continue;
            const char c = char(b);
            single[size_t(b)] = convertOne(&c, 1);
        }
        for (int lead = 0; lead < 256; ++lead) {
            const int slot = leadSlot[size_t(lead)];
            if (slot < 0)
                continue;
            for (int trail = 0x40; trail <= 0xFC; ++trail) {
                const char two[2] = {char(lead), char(trail)};
                pairs[size_t(slot) * 256 + size_t(trail)] = convertOne(two, 2);
            }
        }
        iconv_close(cd);
    }
};

const DecodeTable &decodeTable()
{
    static const DecodeTable table;
    return table;
}

// Decodes every byte; *clean (when given) says whether all were CP932.
QString decodeWithTable(const char *data, qsizetype size, bool *clean)
{
    const DecodeTable &t = decodeTable();
    QString out(size, Qt::Uninitialized);
    auto *dst = reinterpret_cast<char16_t *>(out.data());
    qsizetype n = 0;
    bool allValid = true;
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    const auto *end = p + size;
    while (p < end) {
        const unsigned char b = *p;
        if (b < 0x80 && t.single[b] == b) {
            dst[n++] = char16_t(b);
            ++p;
            continue;
        }
        const int slot = t.leadSlot[b];
        char16_t c = kNone;
        if (slot < 0) {
            c = t.single[b];
            ++p;
        } else if (end - p >= 2 && (c = t.pairs[size_t(slot) * 256 + p[1]]) != kNone) {
            p += 2;
        } else {
            // Only the lead byte is taken: what follows it may be a character.
            ++p;
        }
        if (c == kNone) {
            allValid = false;
            c = u'\uFFFD';
        }
        dst[n++] = c;
    }
    out.truncate(n);
    if (clean)
        *clean = allValid;
    return out;
}

} // namespace

std::optional<QByteArray> encode(const QString &text)
{
    return encodeStrict(text.toUtf8());
}

QString decode(const QByteArray &bytes)
{
    return decodeWithTable(bytes.constData(), bytes.size(), nullptr);
}

QString decode(const char *data, qsizetype size)
{
    return decodeWithTable(data, size, nullptr);
}

std::optional<QString> decodeStrict(const QByteArray &bytes)
{
    bool clean = false;
    QString text = decodeWithTable(bytes.constData(), bytes.size(), &clean);
    if (!clean)
        return std::nullopt;
    return text;
}

QString unencodable(const QString &text)
{
    QString bad;
    const auto ucs4 = text.toUcs4();
    for (uint u : ucs4) {
        char32_t c = u;
        QString one = QString::fromUcs4(&c, 1);
        if (!encode(one) && !bad.contains(one))
            bad += one;
    }
    return bad;
}

} // namespace zl::cp932
