#include "pdfwriter/PdfDocument.h"

#include "pdfwriter/PdfEngine.h"

#include <QDateTime>
#include <QPaintDevice>
#include <climits>
#include <cmath>

namespace zl::pdfwriter {

namespace {

class PdfDevice : public QPaintDevice {
public:
    explicit PdfDevice(PdfEngine &engine) : m_engine(engine) {}
    void setPage(QSizeF dots, int dpi)
    {
        m_dots = dots;
        m_dpi = dpi;
    }
    QPaintEngine *paintEngine() const override { return &m_engine; }

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth:
            return int(std::lround(m_dots.width()));
        case PdmHeight:
            return int(std::lround(m_dots.height()));
        case PdmWidthMM:
            return int(std::lround(m_dots.width() * 25.4 / m_dpi));
        case PdmHeightMM:
            return int(std::lround(m_dots.height() * 25.4 / m_dpi));
        case PdmNumColors:
            return INT_MAX;
        case PdmDepth:
            return 32;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return m_dpi;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        default:
            return 0;
        }
    }

private:
    PdfEngine &m_engine;
    QSizeF m_dots;
    int m_dpi = 300;
};

} // namespace

struct PdfDocument::Impl {
    Output out;
    Resources resources;
    PdfEngine engine{out, resources};
    PdfDevice device{engine};
    QPainter painter;
    Deflater deflatePage;
    QString title;
    QList<int> pages;
    QSizeF pageSizePt;
    int pagesId = 0;
    int resourcesId = 0;
};

PdfDocument::PdfDocument(QIODevice *out, const QString &title) : d(std::make_unique<Impl>())
{
    d->out.device = out;
    d->title = title;
    d->out.write("%PDF-1.4\n%\xe2\xe3\xcf\xd3\n");
    const int catalog = d->out.reserve();
    d->pagesId = d->out.reserve();
    d->resourcesId = d->out.reserve();
    d->out.object(catalog, "<</Type/Catalog/Pages " + QByteArray::number(d->pagesId) + " 0 R>>");
}

PdfDocument::~PdfDocument()
{
    if (d->painter.isActive())
        d->painter.end();
}

int PdfDocument::pages() const
{
    return int(d->pages.size());
}

QPainter &PdfDocument::beginPage(QSizeF sizePt, int dpi, double topPt)
{
    if (d->painter.isActive())
        endPage();
    d->pageSizePt = sizePt;
    d->device.setPage(sizePt * dpi / 72.0, dpi);
    QByteArray &content = d->engine.content;
    content.clear();
    // The page in dots from its top-left corner, as the painter draws it.
    const double k = 72.0 / dpi;
    number(content, k, 6);
    content += "0 0 ";
    number(content, -k, 6);
    content += "0 ";
    number(content, topPt >= 0 ? topPt : sizePt.height(), 4);
    content += "cm\n";
    d->painter.begin(&d->device);
    return d->painter;
}

bool PdfDocument::endPage()
{
    if (!d->painter.isActive())
        return d->out.ok;
    d->painter.end();
    const int contents = d->out.reserve();
    d->out.stream(contents, "/Filter/FlateDecode", d->deflatePage(d->engine.content));
    const int page = d->out.reserve();
    d->out.object(page, "<</Type/Page/Parent " + QByteArray::number(d->pagesId) + " 0 R/MediaBox [0 0 "
                            + QByteArray::number(d->pageSizePt.width(), 'f', 4) + ' '
                            + QByteArray::number(d->pageSizePt.height(), 'f', 4) + "]/Resources "
                            + QByteArray::number(d->resourcesId) + " 0 R/Contents " + QByteArray::number(contents)
                            + " 0 R>>");
    d->pages.append(page);
    return d->out.ok;
}

bool PdfDocument::finish()
{
    if (d->painter.isActive())
        endPage();
    const QByteArray fonts = writeFonts(d->out, d->resources);
    QByteArray resources = "<<";
    if (!fonts.isEmpty())
        resources += "/Font<<" + fonts + ">>";
    if (!d->resources.images.isEmpty())
        resources += "/XObject<<" + d->resources.images + ">>";
    d->out.object(d->resourcesId, resources + ">>");
    QByteArray kids;
    for (int page : std::as_const(d->pages))
        kids += QByteArray::number(page) + " 0 R ";
    d->out.object(d->pagesId,
                  "<</Type/Pages/Kids[" + kids + "]/Count " + QByteArray::number(d->pages.size()) + ">>");
    const int info = d->out.reserve();
    QByteArray title = "<FEFF";
    for (QChar c : d->title)
        title += QByteArray::number(c.unicode(), 16).rightJustified(4, '0');
    title += '>';
    d->out.object(info, "<</Title" + title + "/Creator(Zenlabo)/Producer(Zenlabo)/CreationDate(D:"
                            + QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddHHmmss")).toLatin1()
                            + "Z)>>");
    const qint64 xref = d->out.at;
    QByteArray table = "xref\n0 " + QByteArray::number(d->out.offsets.size()) + "\n0000000000 65535 f \n";
    for (size_t i = 1; i < d->out.offsets.size(); ++i)
        table += QByteArray::number(std::max<qint64>(d->out.offsets[i], 0)).rightJustified(10, '0') + " 00000 n \n";
    table += "trailer\n<</Size " + QByteArray::number(d->out.offsets.size()) + "/Root 1 0 R/Info "
        + QByteArray::number(info) + " 0 R>>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    d->out.write(table);
    return d->out.ok;
}

} // namespace zl::pdfwriter
