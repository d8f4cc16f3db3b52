#include "label/LabelFit.h"

#include <algorithm>

namespace zl::label {

namespace {

using printer::kLayoutHeightMm;
using printer::kLayoutWidthMm;

// Stock this close to the layout's size (2 x 1.25 in) is the layout's own.
constexpr double kOwnStockSlackMm = 2;
// An area that ends this close to the layout's edge still holds it: sizes
// come from points and hundredths of a millimetre.
constexpr double kHoldSlackMm = 0.05;

double maxScale()
{
    return kMaxModuleMm * kBarcodeModules / kBarcodeWidthMm;
}

// What the layout draws ends with the digits under the bars, 25 mm down;
// the 30 mm below that are the stock's. So 2 x 1 in labels, the most common
// small thermal stock, keep the layout as drawn (and bars of two dots at
// 203 dpi) rather than shrinking it to 85 %.
constexpr double kLayoutInkHeightMm = 25;

bool holdsLayout(QSizeF area)
{
    return area.width() + kHoldSlackMm >= kLayoutWidthMm && area.height() + kHoldSlackMm >= kLayoutInkHeightMm;
}

bool isOwnStock(QSizeF paper)
{
    return std::abs(paper.width() - kLayoutWidthMm) <= kOwnStockSlackMm
        && paper.height() <= kLayoutHeightMm + kOwnStockSlackMm;
}

} // namespace

QTransform LabelFit::toPage() const
{
    QTransform t;
    if (turned) {
        t.translate(boxMm.x() + scale * kLayoutHeightMm, boxMm.y());
        t.rotate(90);
    } else {
        t.translate(boxMm.x(), boxMm.y());
    }
    t.scale(scale, scale);
    return t;
}

QRectF LabelFit::layoutArea() const
{
    return toPage().inverted().mapRect(QRectF(QPointF(0, 0), areaMm));
}

QRectF LabelFit::boxOnPage() const
{
    return toPage().mapRect(QRectF(0, 0, kLayoutWidthMm, kLayoutHeightMm));
}

QLineF LabelFit::withinLabel(const QLineF &line) const
{
    const double right = kLayoutWidthMm;
    if (asDrawn() || (line.x1() <= right && line.x2() <= right))
        return line;
    if (line.x1() >= right && line.x2() >= right)
        return QLineF(QPointF(right, line.y1()), QPointF(right, line.y1()));
    const QPointF at = line.pointAt((right - line.x1()) / (line.x2() - line.x1()));
    return line.x1() < right ? QLineF(line.p1(), at) : QLineF(at, line.p2());
}

LabelFit fitLabel(const printer::PageGeometry &page, printer::LabelScale scale)
{
    LabelFit fit;
    const QSizeF area = page.printableMm.size();
    fit.areaMm = area;
    if (area.width() <= 0 || area.height() <= 0)
        return fit;
    if (holdsLayout(area) && (scale == printer::LabelScale::ActualSize || isOwnStock(page.paperMm)))
        return fit;
    if (page.roll) {
        // The roll's width is the label's; its length is made to measure.
        fit.turned = area.width() < kTurnOnRollBelow * kLayoutWidthMm;
        const double across = fit.turned ? kLayoutHeightMm : kLayoutWidthMm;
        const double along = fit.turned ? kLayoutWidthMm : kLayoutHeightMm;
        fit.scale = std::min(area.width() / across, maxScale());
        fit.areaMm.setHeight(along * fit.scale);
    } else {
        fit.turned = area.height() > area.width();
        const QSizeF box = fit.turned ? QSizeF(kLayoutHeightMm, kLayoutWidthMm) : QSizeF(kLayoutWidthMm, kLayoutHeightMm);
        fit.scale = std::min({area.width() / box.width(), area.height() / box.height(), maxScale()});
    }
    const QSizeF onPage = (fit.turned ? QSizeF(kLayoutHeightMm, kLayoutWidthMm) : QSizeF(kLayoutWidthMm, kLayoutHeightMm))
        * fit.scale;
    fit.boxMm = QPointF((fit.areaMm.width() - onPage.width()) / 2, (fit.areaMm.height() - onPage.height()) / 2);
    return fit;
}

double rollPageLengthMm(const printer::PageGeometry &page, const LabelFit &fit)
{
    const double margins = page.paperMm.height() - page.printableMm.height();
    return fit.areaMm.height() + std::max(0.0, margins);
}

} // namespace zl::label
