#pragma once
// How the document's bytes are written: PDF numbers, compressed streams and
// numbered objects, each object's offset kept for the cross-reference table.
#include <QByteArray>
#include <QIODevice>
#include <vector>
#include <zlib.h>

namespace zl::pdfwriter {

// Numbers as PDF writes them: no exponent, no trailing zeros.
void number(QByteArray &out, double v, int decimals);

// Dots carry two decimals: a hundredth of a dot is far below what any
// printer can place.
inline void dots(QByteArray &out, double v)
{
    number(out, v, 2);
}

// Pages are compressed one after another with one stream kept ready: a
// stream made anew for each (as qCompress does) costs more than a label's
// content takes to compress. A page is a few kilobytes, a sheet some tens,
// so a small window loses next to nothing.
class Deflater {
public:
    explicit Deflater(int windowBits = 13, int memLevel = 6);
    ~Deflater();
    Deflater(const Deflater &) = delete;
    Deflater &operator=(const Deflater &) = delete;

    QByteArray operator()(const QByteArray &data);

private:
    z_stream m_stream{};
    bool m_ok = false;
};

// Once-only data (a font file, an image) compressed as well as zlib can.
QByteArray deflated(const QByteArray &data);

// What a document writes and where each object went.
struct Output {
    QIODevice *device = nullptr;
    qint64 at = 0;
    bool ok = true;
    std::vector<qint64> offsets{0}; // by object number

    int reserve()
    {
        offsets.push_back(-1);
        return int(offsets.size() - 1);
    }
    void write(const QByteArray &bytes)
    {
        if (ok && device->write(bytes) != bytes.size())
            ok = false;
        at += bytes.size();
    }
    void object(int id, const QByteArray &body)
    {
        offsets[size_t(id)] = at;
        write(QByteArray::number(id) + " 0 obj\n" + body + "\nendobj\n");
    }
    void stream(int id, const QByteArray &dictionary, const QByteArray &data)
    {
        object(id, "<</Length " + QByteArray::number(data.size()) + dictionary + ">>\nstream\n" + data + "\nendstream");
    }
};

} // namespace zl::pdfwriter
