#include "pdfwriter/PdfEngine.h"

#include <algorithm>
#include <cmath>

namespace zl::pdfwriter {

namespace {

void color(QByteArray &out, QRgb c, const char *gray, const char *rgb)
{
    if (qRed(c) == qGreen(c) && qGreen(c) == qBlue(c)) {
        number(out, qRed(c) / 255.0, 3);
        out += gray;
    } else {
        number(out, qRed(c) / 255.0, 3);
        number(out, qGreen(c) / 255.0, 3);
        number(out, qBlue(c) / 255.0, 3);
        out += rgb;
    }
}

} // namespace

void PdfEngine::matrix(const QTransform &m, int decimals)
{
    number(content, m.m11(), decimals);
    number(content, m.m12(), decimals);
    number(content, m.m21(), decimals);
    number(content, m.m22(), decimals);
    dots(content, m.dx());
    dots(content, m.dy());
}

void PdfEngine::setFill(QRgb c)
{
    if (c != m_state.fill) {
        m_state.fill = c;
        color(content, c, "g\n", "rg\n");
    }
}

void PdfEngine::setStroke(QRgb c)
{
    if (c != m_state.stroke) {
        m_state.stroke = c;
        color(content, c, "G\n", "RG\n");
    }
}

void PdfEngine::setLineWidth(double w)
{
    w = std::round(w * 100) / 100;
    if (w != m_state.lineWidth) {
        m_state.lineWidth = w;
        dots(content, w);
        content += "w\n";
    }
}

void PdfEngine::setJoin(Qt::PenJoinStyle style)
{
    const int join = style == Qt::RoundJoin ? 1 : style == Qt::BevelJoin ? 2 : 0;
    if (join != m_state.join) {
        m_state.join = join;
        content += QByteArray::number(join) + " j\n";
    }
}

void PdfEngine::setPen(double width)
{
    setStroke(m_pen.color().rgb());
    setLineWidth(width);
    const int cap = m_pen.capStyle() == Qt::RoundCap ? 1 : m_pen.capStyle() == Qt::SquareCap ? 2 : 0;
    if (cap != m_state.cap) {
        m_state.cap = cap;
        content += QByteArray::number(cap) + " J\n";
    }
    setJoin(m_pen.joinStyle());
    QByteArray dash = "[";
    if (m_pen.style() != Qt::SolidLine) {
        for (const qreal d : m_pen.dashPattern())
            dots(dash, d * std::max(width, 1.0));
    }
    dash += "]0 d";
    if (dash != m_state.dash) {
        m_state.dash = dash;
        content += dash + '\n';
    }
}

double PdfEngine::penWidth() const
{
    if (m_pen.isCosmetic())
        return m_pen.widthF();
    return m_pen.widthF() * std::sqrt(std::abs(m_transform.determinant()));
}

void PdfEngine::writeRect(const QRectF &r)
{
    dots(content, r.x());
    dots(content, r.y());
    dots(content, r.width());
    dots(content, r.height());
    content += "re\n";
}

void PdfEngine::writePath(const QPainterPath &path)
{
    QPointF start;
    QPointF last;
    auto close = [&] {
        if (last == start)
            content += "h\n";
    };
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (e.isMoveTo()) {
            if (i > 0)
                close();
            start = last = e;
            dots(content, e.x);
            dots(content, e.y);
            content += "m\n";
        } else if (e.isLineTo()) {
            last = e;
            dots(content, e.x);
            dots(content, e.y);
            content += "l\n";
        } else if (e.isCurveTo() && i + 2 < path.elementCount()) {
            for (int k = 0; k < 3; ++k) {
                dots(content, path.elementAt(i + k).x);
                dots(content, path.elementAt(i + k).y);
            }
            last = path.elementAt(i + 2);
            content += "c\n";
            i += 2;
        }
    }
    if (path.elementCount() > 0)
        close();
}

} // namespace zl::pdfwriter
