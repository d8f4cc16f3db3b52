#include "label/CalibrationLabel.h"

#include "common/Length.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPen>
#include <algorithm>
#include <cmath>

namespace zl::label {

namespace {

constexpr double kMinorTickMm = 1.5;
constexpr double kMajorTickMm = 3;
constexpr double kNumberMm = 1.8;  // height of the scale's numbers
constexpr double kWordsMm = 1.9;   // height of the instructions
constexpr double kTickWidthMm = 0.2;
constexpr double kFontUnits = 100; // fonts sized in 1/100 mm, as the renderer's

// Marks on the device's own dots: a tick that straddled two dots could fade
// into both or vanish between them; snapped, every tick is whole dots, at
// least one, on the dot that holds its millimetre.
class DotPen {
public:
    DotPen(QPainter &p, const printer::PageGeometry &page)
        : m_p(p), m_dpm(Length::dotsPerMm(page.deviceDpi())),
          m_grid(page.printableMm.topLeft() - page.dotGridOriginMm), m_inset(page.barInsetDots),
          m_width(std::max(1.0, std::round(kTickWidthMm * m_dpm))),
          m_area(QPointF(0, 0), page.printableMm.size())
    {
    }
    // A vertical mark at x from y1 to y2, and a horizontal one at y.
    void vertical(double x, double y1, double y2) { fill(span(x, m_grid.x()), {y1, y2}); }
    void horizontal(double y, double x1, double x2)
    {
        const auto [top, bottom] = span(y, m_grid.y());
        fill({x1, x2}, {top, bottom});
    }
    const QRectF &area() const { return m_area; }

private:
    std::pair<double, double> span(double at, double grid) const
    {
        const double dot = std::floor((at + grid) * m_dpm + 1e-6);
        return {(dot + m_inset) / m_dpm - grid, (dot + m_width - m_inset) / m_dpm - grid};
    }
    void fill(std::pair<double, double> x, std::pair<double, double> y)
    {
        const QRectF r = QRectF(QPointF(std::min(x.first, x.second), std::min(y.first, y.second)),
                                QPointF(std::max(x.first, x.second), std::max(y.first, y.second)))
                             .intersected(m_area);
        if (r.isEmpty())
            return;
        // A line as wide as the mark, as the renderer draws its rules: a
        // page placed on a sheet is played back with its lines and texts.
        const bool upright = r.width() < r.height();
        QPen pen(Qt::black, upright ? r.width() : r.height());
        pen.setCapStyle(Qt::FlatCap);
        m_p.setPen(pen);
        if (upright)
            m_p.drawLine(QPointF(r.center().x(), r.top()), QPointF(r.center().x(), r.bottom()));
        else
            m_p.drawLine(QPointF(r.left(), r.center().y()), QPointF(r.right(), r.center().y()));
    }

    QPainter &m_p;
    double m_dpm;
    QPointF m_grid;
    double m_inset;
    double m_width;
    QRectF m_area;
};

QFont fontOf(double heightMm)
{
    QFont f(QStringLiteral("IPAPGothic"));
    f.setPixelSize(int(std::lround(heightMm * kFontUnits)));
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

// `text` with its box's `anchor` point (Qt::AlignLeft/HCenter/Right with
// AlignTop/VCenter/Bottom) at `at`.
void drawText(QPainter &p, const QString &text, QPointF at, Qt::Alignment anchor, double heightMm, const QRectF &area)
{
    const QFont f = fontOf(heightMm);
    const QFontMetricsF m(f);
    const double w = m.horizontalAdvance(text) / kFontUnits, h = m.height() / kFontUnits;
    double x = at.x(), y = at.y();
    if (anchor & Qt::AlignHCenter)
        x -= w / 2;
    else if (anchor & Qt::AlignRight)
        x -= w;
    if (anchor & Qt::AlignVCenter)
        y -= h / 2;
    else if (anchor & Qt::AlignBottom)
        y -= h;
    // A number at the printable area's edge is moved in whole, not cut.
    x = std::clamp(x, area.left(), std::max(area.left(), area.right() - w));
    y = std::clamp(y, area.top(), std::max(area.top(), area.bottom() - h));
    const QTransform page = p.transform();
    p.setFont(f);
    p.setPen(Qt::black);
    p.setTransform(QTransform::fromScale(1 / kFontUnits, 1 / kFontUnits) * QTransform::fromTranslate(x, y + m.ascent() / kFontUnits)
                   * page);
    p.drawText(QPointF(0, 0), text);
    p.setTransform(page);
}

// The numbers a scale from `from` (the label's edge) runs over, within
// [low, high] on the page.
std::pair<int, int> scaleRange(double edge, double length, double low, double high)
{
    const int first = int(std::ceil(std::max(-kScaleOverrunMm, low - edge) - 1e-9));
    const int last = int(std::floor(std::min(length + kScaleOverrunMm, high - edge) + 1e-9));
    return {first, last};
}

} // namespace

QPointF pageShift(const LabelFit &fit, QPointF layoutMm)
{
    const QTransform t = fit.toPage();
    return t.map(layoutMm) - t.map(QPointF(0, 0));
}

QPointF layoutShift(const LabelFit &fit, QPointF pageMm)
{
    const QTransform t = fit.toPage().inverted();
    return t.map(pageMm) - t.map(QPointF(0, 0));
}

QRectF calibrationOutline(const printer::PageGeometry &page, const LabelFit &fit, QPointF adjustment)
{
    // A sheet's label is its position; a label printer's, the whole stock
    // around its printable area.
    const QRectF stock = page.sheetLabel ? QRectF(QPointF(0, 0), page.printableMm.size())
                                         : QRectF(-page.printableMm.topLeft(), page.paperMm);
    return stock.translated(pageShift(fit, adjustment));
}

QPicture calibrationPage(const printer::PageGeometry &page, const LabelFit &fit, QPointF adjustment)
{
    QPicture picture;
    picture.setBoundingRect(QRectF(QPointF(0, 0), page.paperMm).toAlignedRect());
    QPainter p(&picture);
    DotPen pen(p, page);
    const QRectF area = pen.area();
    const QRectF label = calibrationOutline(page, fit, adjustment);

    // The label's outline, just inside its edges.
    pen.horizontal(label.top(), label.left(), label.right());
    pen.horizontal(label.bottom() - kTickWidthMm, label.left(), label.right());
    pen.vertical(label.left(), label.top(), label.bottom());
    pen.vertical(label.right() - kTickWidthMm, label.top(), label.bottom());

    // Where the two scales cross, neither has ticks: each scale is read
    // near the label's corner, at the other one's side.
    const double crossFrom = kScaleInsetMm - kMajorTickMm - 2.5, crossTo = kScaleInsetMm + 0.5;

    // Along the top: the left edge is read on it. Ticks rise from the
    // baseline, numbers over every fifth.
    const double baseY = label.top() + kScaleInsetMm;
    const auto [hFirst, hLast] = scaleRange(label.left(), label.width(), area.left(), area.right());
    pen.horizontal(baseY, label.left() + hFirst, label.left() + hLast + kTickWidthMm);
    for (int n = hFirst; n <= hLast; ++n) {
        if (n > crossFrom && n < crossTo)
            continue;
        const bool major = n % 5 == 0;
        const double x = label.left() + n;
        pen.vertical(x, baseY - (major ? kMajorTickMm : kMinorTickMm), baseY);
        if (major)
            drawText(p, QString::number(n), {x, baseY - kMajorTickMm - 0.2}, Qt::AlignHCenter | Qt::AlignBottom, kNumberMm, area);
    }

    // Along the left: the top edge is read on it. Ticks reach left from
    // the baseline, numbers before every fifth.
    const double baseX = label.left() + kScaleInsetMm;
    const auto [vFirst, vLast] = scaleRange(label.top(), label.height(), area.top(), area.bottom());
    pen.vertical(baseX, label.top() + vFirst, label.top() + vLast + kTickWidthMm);
    for (int n = vFirst; n <= vLast; ++n) {
        if (n > crossFrom && n < crossTo)
            continue;
        const bool major = n % 5 == 0;
        const double y = label.top() + n;
        pen.horizontal(y, baseX - (major ? kMajorTickMm : kMinorTickMm), baseX);
        if (major)
            drawText(p, QString::number(n), {baseX - kMajorTickMm - 0.3, y}, Qt::AlignRight | Qt::AlignVCenter, kNumberMm, area);
    }

    // The centre, to see the label's middle against the stock's.
    const QPointF c = label.center();
    pen.horizontal(c.y(), c.x() - 3, c.x() + 3);
    pen.vertical(c.x(), c.y() - 3, c.y() + 3);

    // What to read, named as the fields they are typed into.
    const QPointF words(baseX + 2, c.y() + 4);
    drawText(p, QStringLiteral("左端の目盛り: ") + kReadLeftEdge, words, Qt::AlignLeft | Qt::AlignTop, kWordsMm, area);
    drawText(p, QStringLiteral("上端の目盛り: ") + kReadTopEdge, words + QPointF(0, kWordsMm * 1.6),
             Qt::AlignLeft | Qt::AlignTop, kWordsMm, area);
    p.end();
    return picture;
}

} // namespace zl::label
