#include "pdfwriter/PdfEngine.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <optional>
#include <utility>

namespace zl::pdfwriter {

namespace {

bool axisAligned(const QTransform &m)
{
    return m.type() <= QTransform::TxRotate
        && ((qFuzzyIsNull(m.m12()) && qFuzzyIsNull(m.m21())) || (qFuzzyIsNull(m.m11()) && qFuzzyIsNull(m.m22())));
}

std::optional<QRectF> rectangleAt(const QPainterPath &path, int at)
{
    if (!path.elementAt(at).isMoveTo())
        return std::nullopt;
    QPointF p[5];
    for (int i = 0; i < 5; ++i) {
        if (i > 0 && !path.elementAt(at + i).isLineTo())
            return std::nullopt;
        p[i] = path.elementAt(at + i);
    }
    const bool across = p[0].y() == p[1].y() && p[1].x() == p[2].x() && p[2].y() == p[3].y() && p[3].x() == p[0].x();
    const bool down = p[0].x() == p[1].x() && p[1].y() == p[2].y() && p[2].x() == p[3].x() && p[3].y() == p[0].y();
    if (p[4] != p[0] || !(across || down))
        return std::nullopt;
    return QRectF(p[0], p[2]).normalized();
}

// The rectangles a path is made of, each a subpath as addRect makes
// it; none when it is anything else.
QList<QRectF> rectanglesOf(const QPainterPath &path)
{
    const int count = path.elementCount();
    if (count == 0 || count % 5 != 0)
        return {};
    QList<QRectF> rects;
    rects.reserve(count / 5);
    for (int at = 0; at < count; at += 5) {
        const std::optional<QRectF> r = rectangleAt(path, at);
        if (!r)
            return {};
        rects.append(*r);
    }
    return rects;
}

} // namespace

PdfEngine::PdfEngine(Output &out, Resources &resources)
    : QPaintEngine(AllFeatures
                   & ~(PorterDuff | PerspectiveTransform | ObjectBoundingModeGradients | ConicalGradientFill)),
      m_out(out), m_resources(resources)
{
}

bool PdfEngine::begin(QPaintDevice *)
{
    m_state = GraphicsState();
    m_saved = GraphicsState();
    m_transform = QTransform();
    m_pen = QPen();
    m_brush = QBrush();
    m_clips.clear();
    m_clipOn = m_clipDirty = m_inClip = false;
    m_rects.clear();
    return true;
}

bool PdfEngine::end()
{
    flushRects();
    if (m_inClip)
        content += "Q\n";
    m_inClip = false;
    return true;
}

void PdfEngine::updateState(const QPaintEngineState &state)
{
    const DirtyFlags flags = state.state();
    if (flags & DirtyTransform)
        m_transform = state.transform();
    if (flags & DirtyPen)
        m_pen = state.pen();
    if (flags & DirtyBrush)
        m_brush = state.brush();
    if (flags & DirtyClipPath) {
        clip(state.clipOperation(), m_transform.map(state.clipPath()));
    } else if (flags & DirtyClipRegion) {
        QPainterPath path;
        for (const QRect &r : state.clipRegion())
            path.addRect(r);
        clip(state.clipOperation(), m_transform.map(path));
    } else if (flags & DirtyClipEnabled) {
        flushRects();
        m_clipOn = state.isClipEnabled();
        m_clipDirty = true;
    }
}

void PdfEngine::drawRects(const QRectF *rects, int count)
{
    if (fillsRectanglesAlone()) {
        fillRectangles(rects, count);
        return;
    }
    QPainterPath path;
    for (int i = 0; i < count; ++i)
        path.addRect(rects[i]);
    paintPath(path, true, true);
}

void PdfEngine::drawRects(const QRect *rects, int count)
{
    QList<QRectF> exact;
    exact.reserve(count);
    for (int i = 0; i < count; ++i)
        exact.append(QRectF(rects[i]));
    drawRects(exact.constData(), count);
}

void PdfEngine::drawLines(const QLineF *lines, int count)
{
    QPainterPath path;
    for (int i = 0; i < count; ++i) {
        path.moveTo(lines[i].p1());
        path.lineTo(lines[i].p2());
    }
    paintPath(path, false, true);
}

void PdfEngine::drawPolygon(const QPointF *points, int count, PolygonDrawMode mode)
{
    if (count < 2)
        return;
    QPainterPath path;
    path.setFillRule(mode == OddEvenMode ? Qt::OddEvenFill : Qt::WindingFill);
    path.moveTo(points[0]);
    for (int i = 1; i < count; ++i)
        path.lineTo(points[i]);
    if (mode != PolylineMode)
        path.closeSubpath();
    paintPath(path, mode != PolylineMode, true);
}

void PdfEngine::drawPoints(const QPointF *points, int count)
{
    const double half = std::max(m_pen.widthF(), 1.0) / 2;
    QPainterPath path;
    for (int i = 0; i < count; ++i)
        path.addRect(QRectF(points[i] - QPointF(half, half), QSizeF(2 * half, 2 * half)));
    fillWith(path, m_pen.color().rgb());
}

void PdfEngine::drawPath(const QPainterPath &path)
{
    // A recorded page holds its rectangles as paths, a barcode's bars as
    // one path of rectangles.
    if (fillsRectanglesAlone()) {
        if (const QList<QRectF> rects = rectanglesOf(path); !rects.isEmpty()) {
            fillRectangles(rects.constData(), int(rects.size()));
            return;
        }
    }
    paintPath(path, true, true);
}

void PdfEngine::drawPixmap(const QRectF &r, const QPixmap &pixmap, const QRectF &source)
{
    drawImage(r, pixmap.toImage(), source, Qt::AutoColor);
}

void PdfEngine::drawImage(const QRectF &r, const QImage &image, const QRectF &source, Qt::ImageConversionFlags)
{
    applyClip();
    flushRects();
    // On white paper: what shows through a transparent image is the paper.
    QImage rgb(source.toAlignedRect().size(), QImage::Format_RGB888);
    if (rgb.isNull())
        return;
    rgb.fill(Qt::white);
    {
        QPainter p(&rgb);
        p.drawImage(QPointF(0, 0), image, source);
    }
    QByteArray pixels;
    pixels.reserve(qsizetype(rgb.width()) * rgb.height() * 3);
    for (int y = 0; y < rgb.height(); ++y)
        pixels.append(reinterpret_cast<const char *>(rgb.constScanLine(y)), qsizetype(rgb.width()) * 3);
    const int id = m_out.reserve();
    m_out.stream(id,
                 "/Type/XObject/Subtype/Image/Width " + QByteArray::number(rgb.width()) + "/Height "
                     + QByteArray::number(rgb.height()) + "/ColorSpace/DeviceRGB/BitsPerComponent 8/Filter/FlateDecode",
                 deflated(pixels));
    const QByteArray name = "/Im" + QByteArray::number(++m_resources.imageCount);
    m_resources.images += name + ' ' + QByteArray::number(id) + " 0 R";
    // The image's unit square, its first row at the top, onto the rectangle.
    const QTransform place = QTransform(r.width(), 0, 0, -r.height(), r.x(), r.y() + r.height()) * m_transform;
    content += "q ";
    matrix(place);
    content += "cm " + name + " Do Q\n";
}

// Filled, not outlined, and still upright on the page: rectangles stay
// rectangles.
bool PdfEngine::fillsRectanglesAlone() const
{
    return m_pen.style() == Qt::NoPen && m_brush.style() != Qt::NoBrush && axisAligned(m_transform);
}

// Rectangles filled one after another in one colour (a barcode's bars)
// make one path.
void PdfEngine::fillRectangles(const QRectF *rects, int count)
{
    applyClip();
    const QRgb color = m_brush.color().rgb();
    if (!m_rects.isEmpty() && color != m_rectsColor)
        flushRects();
    m_rectsColor = color;
    for (int i = 0; i < count; ++i)
        m_rects.append(m_transform.mapRect(rects[i]).normalized());
}

void PdfEngine::paintPath(const QPainterPath &path, bool mayFill, bool mayStroke)
{
    applyClip();
    flushRects();
    const bool fill = mayFill && m_brush.style() != Qt::NoBrush;
    const bool stroke = mayStroke && m_pen.style() != Qt::NoPen;
    if (path.isEmpty() || (!fill && !stroke))
        return;
    if (fill)
        setFill(m_brush.color().rgb());
    if (stroke)
        setPen(penWidth());
    writePath(m_transform.map(path));
    const bool oddEven = path.fillRule() == Qt::OddEvenFill;
    content += fill && stroke ? (oddEven ? "B*\n" : "B\n") : fill ? (oddEven ? "f*\n" : "f\n") : "S\n";
}

void PdfEngine::fillWith(const QPainterPath &path, QRgb c)
{
    applyClip();
    flushRects();
    if (path.isEmpty())
        return;
    setFill(c);
    writePath(m_transform.map(path));
    content += path.fillRule() == Qt::OddEvenFill ? "f*\n" : "f\n";
}

void PdfEngine::flushRects()
{
    if (m_rects.isEmpty())
        return;
    setFill(m_rectsColor);
    for (const QRectF &r : std::as_const(m_rects))
        writeRect(r);
    content += "f\n";
    m_rects.clear();
}

void PdfEngine::clip(Qt::ClipOperation op, const QPainterPath &path)
{
    flushRects();
    if (op == Qt::NoClip) {
        m_clips.clear();
        m_clipOn = false;
    } else {
        if (op == Qt::ReplaceClip)
            m_clips.clear();
        m_clips.append(path);
        m_clipOn = true;
    }
    m_clipDirty = true;
}

// A clip lives in a saved graphics state of its own, left when it changes.
void PdfEngine::applyClip()
{
    if (!m_clipDirty)
        return;
    m_clipDirty = false;
    if (m_inClip) {
        content += "Q\n";
        m_state = m_saved;
        m_inClip = false;
    }
    if (!m_clipOn || m_clips.isEmpty())
        return;
    content += "q\n";
    m_saved = m_state;
    m_inClip = true;
    for (const QPainterPath &path : std::as_const(m_clips)) {
        if (const QList<QRectF> rects = rectanglesOf(path); !rects.isEmpty()) {
            for (const QRectF &r : rects)
                writeRect(r);
            content += "W n\n";
            continue;
        }
        writePath(path);
        content += path.fillRule() == Qt::OddEvenFill ? "W* n\n" : "W n\n";
    }
}

} // namespace zl::pdfwriter
