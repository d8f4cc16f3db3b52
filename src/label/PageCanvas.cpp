#include "label/PageCanvas.h"

#include "common/Failure.h"
#include "common/Length.h"
#include "label/Barcode.h"
#include "printer/PagePlayback.h"

#include <QImage>
#include <cmath>

namespace zl::label {

namespace {
constexpr double kMmPerPoint = Length::pt(1).mm();
}

MeasuringCanvas::MeasuringCanvas(QSizeF printableMm) : m_printable(printableMm) {}

void MeasuringCanvas::setFontName(const QString &name)
{
    if (name != m_fontName) {
        m_fontName = name;
        m_font.reset();
    }
}

void MeasuringCanvas::setFontSize(double points)
{
    if (points != m_fontSize) {
        m_fontSize = points;
        m_font.reset();
    }
}

void MeasuringCanvas::setFontBold(bool bold)
{
    if (bold != m_bold) {
        m_bold = bold;
        m_font.reset();
    }
}

void MeasuringCanvas::setFontItalic(bool italic)
{
    if (italic != m_italic) {
        m_italic = italic;
        m_font.reset();
    }
}

const QFont &MeasuringCanvas::font()
{
    if (!m_font) {
        QFont f(m_fontName);
        // A negative size adjustment can drive a size below zero; the
        // smallest size still shows the text rather than failing.
        f.setPixelSize(std::max(1, int(std::lround(m_fontSize * kMmPerPoint * kFontUnitsPerMm))));
        f.setBold(m_bold);
        f.setItalic(m_italic);
        f.setHintingPreference(QFont::PreferNoHinting);
        f.setKerning(false);
        m_font = f;
        m_metrics.reset();
    }
    return *m_font;
}

const QFontMetricsF &MeasuringCanvas::metrics()
{
    const QFont &f = font();
    if (!m_metrics)
        m_metrics.emplace(f);
    return *m_metrics;
}

double MeasuringCanvas::textWidth(const QString &text)
{
    return metrics().horizontalAdvance(text) / kFontUnitsPerMm;
}

double MeasuringCanvas::textHeight(const QString &)
{
    return metrics().height() / kFontUnitsPerMm;
}

QRectF MeasuringCanvas::textInk(const QString &text)
{
    const QRectF box = metrics().tightBoundingRect(text);
    if (box.isEmpty())
        return {};
    const double ascent = metrics().ascent();
    return {box.x() / kFontUnitsPerMm, (box.y() + ascent) / kFontUnitsPerMm, box.width() / kFontUnitsPerMm,
            box.height() / kFontUnitsPerMm};
}

void MeasuringCanvas::advancePast(const QString &text)
{
    m_x = 0;
    m_y += textHeight(text);
}

QSizeF layoutPrintable(const LabelFit &fit)
{
    const QRectF area = fit.layoutArea();
    return {area.right(), area.bottom()};
}

PictureCanvas::PictureCanvas(const printer::PageGeometry &geometry, const LabelFit &fit, Sink sink)
    : MeasuringCanvas(layoutPrintable(fit)), m_geometry(geometry), m_fit(fit), m_sink(std::move(sink))
{
}

PictureCanvas::~PictureCanvas()
{
    if (m_painter.isActive())
        m_painter.end();
}

QPainter *PictureCanvas::painter()
{
    if (m_state != State::Open)
        return nullptr;
    if (!m_page) {
        m_page = std::make_unique<QPicture>();
        // A picture works its bounds out by reading itself through, checksum
        // and all, when it is ended and again when it is first measured; the
        // page's own bounds spare every label that.
        m_page->setBoundingRect(QRectF(QPointF(0, 0), m_geometry.paperMm).toAlignedRect());
        m_painter.begin(m_page.get());
        if (!m_fit.asDrawn())
            m_painter.setTransform(m_fit.toPage());
    }
    return &m_painter;
}

void PictureCanvas::closePage()
{
    if (m_painter.isActive())
        m_painter.end();
    if (m_page)
        m_pages.append(*m_page);
    m_page.reset();
}

void PictureCanvas::printText(const QString &text)
{
    if (QPainter *p = painter()) {
        // One change of the painter's transform and back, not a saved and
        // restored state: a recorded page replays every state it holds.
        const QTransform page = p->transform();
        p->setFont(font());
        p->setPen(Qt::black);
        p->setTransform(QTransform::fromScale(1 / kFontUnitsPerMm, 1 / kFontUnitsPerMm)
                        * QTransform::fromTranslate(currentX(), currentY() + metrics().ascent() / kFontUnitsPerMm)
                        * page);
        p->drawText(QPointF(0, 0), text);
        p->setTransform(page);
    }
    advancePast(text);
}

void PictureCanvas::drawLine(double x1, double y1, double x2, double y2)
{
    if (QPainter *p = painter()) {
        const int dpi = m_geometry.deviceDpi();
        // The width is the device's dots whatever the layout's scale.
        QPen pen(Qt::black, lineWidth() * Length::kMmPerInch / dpi / m_fit.scale);
        pen.setCapStyle(Qt::FlatCap);
        p->setPen(pen);
        p->drawLine(m_fit.withinLabel(QLineF(x1, y1, x2, y2)));
    }
}

void PictureCanvas::drawPicture(const BarcodePicture &picture, double x, double y, double width)
{
    QPainter *p = painter();
    if (!p)
        return;
    const int dpi = m_geometry.deviceDpi();
    const QPointF grid = m_geometry.printableMm.topLeft() - m_geometry.dotGridOriginMm;
    if (m_fit.asDrawn()) {
        picture.paintOnDotGrid(*p, QPointF(x, y), width, dpi, grid, m_geometry.barInsetDots);
        return;
    }
    // The bars are laid on the page's dots, not the layout's millimetres:
    // from the picture's corner on the page, along the page's x (or, turned,
    // its y), with the dot grid's origin counted along that axis.
    QPointF at = m_fit.toPage().map(QPointF(x, y));
    // The scale stops at EAN's widest module for the layout's EAN-13; an
    // EAN-8's modules are wider at the same width, so its bars stop there
    // too, centred where the layout puts them.
    const double onPage = std::min(width * m_fit.scale, kMaxModuleMm * picture.modules());
    const double inset = (width * m_fit.scale - onPage) / 2;
    at += m_fit.turned ? QPointF(0, inset) : QPointF(inset, 0);
    p->save();
    p->setTransform(QTransform());
    p->translate(at);
    if (m_fit.turned)
        p->rotate(90);
    const QPointF along = m_fit.turned ? QPointF(grid.y() + at.y(), grid.x() + at.x()) : grid + at;
    picture.paintOnDotGrid(*p, QPointF(0, 0), onPage, dpi, along, m_geometry.barInsetDots);
    p->restore();
}

void PictureCanvas::newPage()
{
    if (m_state != State::Open)
        return;
    painter(); // a page that stays blank is still a page
    closePage();
}

void PictureCanvas::endDocument()
{
    if (m_state != State::Open)
        return;
    painter();
    closePage();
    m_state = State::Ended;
    QList<QPicture> pages;
    pages.swap(m_pages);
    if (m_sink)
        m_sink(pages);
}

void PictureCanvas::abortDocument()
{
    if (m_state != State::Open)
        return;
    if (m_painter.isActive())
        m_painter.end();
    m_page.reset();
    m_pages.clear();
    m_state = State::Aborted;
}

std::unique_ptr<PageCanvas> printerCanvas(printer::Printer &printer, printer::LabelScale scale)
{
    const printer::PageGeometry page = printer.pageGeometry();
    return std::make_unique<PictureCanvas>(page, fitLabel(page, scale), [&printer](const QList<QPicture> &pages) {
        printer.printDocument(pages);
    });
}

QImage renderPage(const QPicture &page, QSizeF printableMm, int dpi)
{
    const double pxPerMm = Length::dotsPerMm(dpi);
    QImage image(int(std::ceil(printableMm.width() * pxPerMm)), int(std::ceil(printableMm.height() * pxPerMm)),
                 QImage::Format_RGB32);
    image.setDotsPerMeterX(int(std::lround(dpi / 0.0254)));
    image.setDotsPerMeterY(int(std::lround(dpi / 0.0254)));
    image.fill(Qt::white);
    QPainter p(&image);
    printer::playPage(p, page, QPointF(0, 0), pxPerMm);
    p.end();
    return image;
}

ImageCanvas::ImageCanvas(QSizeF printableMm, int dpi)
    : PictureCanvas({printableMm, QRectF(QPointF(0, 0), printableMm), dpi}, LabelFit{1, false, printableMm, {}},
                    [this, printableMm, dpi](const QList<QPicture> &pages) {
                        for (const QPicture &page : pages)
                            m_images.append(renderPage(page, printableMm, dpi));
                    })
{
}

} // namespace zl::label
