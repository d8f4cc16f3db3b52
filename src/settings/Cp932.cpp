#include "settings/Cp932.h"

#include <QList>
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

Converter open(const char *to, const char *from)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return Converter{};
    return Converter(cd);
}

// Runs iconv over the whole input. On an invalid or unconvertible sequence it
// either stops (strict) or emits `replacement` and skips one input unit.
std::optional<QByteArray> convert(const char *to, const char *from, const QByteArray &in, bool strict,
                                  const QByteArray &replacement, int unit)
{
    Converter cd = open(to, from);
    if (!cd)
        return std::nullopt;
    QByteArray out;
    out.resize(in.size() * 2 + 16);
    char *src = const_cast<char *>(in.constData());
    size_t srcLeft = size_t(in.size());
    size_t used = 0;
    while (srcLeft > 0) {
        char *dst = out.data() + used;
        size_t dstLeft = size_t(out.size()) - used;
        size_t r = iconv(static_cast<iconv_t>(cd.get()), &src, &srcLeft, &dst, &dstLeft);
        used = size_t(dst - out.data());
        if (r != size_t(-1))
            break;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        if (strict)
            return std::nullopt;
        // EILSEQ or EINVAL (truncated sequence at the end): substitute and move on.
        if (size_t(out.size()) - used < size_t(replacement.size()))
            out.resize(out.size() * 2);
        memcpy(out.data() + used, replacement.constData(), size_t(replacement.size()));
        used += size_t(replacement.size());
        size_t skip = std::min(srcLeft, size_t(unit));
        src += skip;
        srcLeft -= skip;
    }
    out.resize(qsizetype(used));
    return out;
}

} // namespace

std::optional<QByteArray> encode(const QString &text)
{
    QByteArray utf8 = text.toUtf8();
    return convert("CP932", "UTF-8", utf8, true, {}, 1);
}

QString decode(const QByteArray &bytes)
{
    auto out = convert("UTF-8", "CP932", bytes, false, QByteArrayLiteral("\xEF\xBF\xBD"), 1);
    return out ? QString::fromUtf8(*out) : QString();
}

std::optional<QString> decodeStrict(const QByteArray &bytes)
{
    auto out = convert("UTF-8", "CP932", bytes, true, {}, 1);
    if (!out)
        return std::nullopt;
    return QString::fromUtf8(*out);
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
