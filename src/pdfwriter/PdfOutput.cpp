#include "pdfwriter/PdfOutput.h"

#include <charconv>
#include <cmath>

namespace zl::pdfwriter {

void number(QByteArray &out, double v, int decimals)
{
    static constexpr double kScale[] = {1, 10, 100, 1000, 10000, 100000, 1000000};
    v = std::round(v * kScale[decimals]) / kScale[decimals];
    if (v == 0)
        v = 0; // no "-0"
    char buf[48];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    char *end = r.ptr;
    if (decimals > 0) {
        while (end[-1] == '0')
            --end;
        if (end[-1] == '.')
            --end;
    }
    out.append(buf, end - buf);
    out.append(' ');
}

Deflater::Deflater(int windowBits, int memLevel)
{
    m_ok = deflateInit2(&m_stream, 6, Z_DEFLATED, windowBits, memLevel, Z_DEFAULT_STRATEGY) == Z_OK;
}

Deflater::~Deflater()
{
    deflateEnd(&m_stream);
}

QByteArray Deflater::operator()(const QByteArray &data)
{
    QByteArray out;
    if (!m_ok || deflateReset(&m_stream) != Z_OK)
        return qCompress(data, 6).mid(4); // qCompress puts the length in front
    out.resize(qsizetype(deflateBound(&m_stream, uLong(data.size()))));
    m_stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    m_stream.avail_in = uInt(data.size());
    m_stream.next_out = reinterpret_cast<Bytef *>(out.data());
    m_stream.avail_out = uInt(out.size());
    if (deflate(&m_stream, Z_FINISH) != Z_STREAM_END)
        return qCompress(data, 6).mid(4);
    out.resize(qsizetype(m_stream.total_out));
    return out;
}

QByteArray deflated(const QByteArray &data)
{
    Deflater whole(15, 8);
    return whole(data);
}

} // namespace zl::pdfwriter
