#pragma once
// Where the 50 x 30 mm layout lands on the label it is printed on. On its
// own stock (and stock within 2 mm of its width, no taller than 32 mm, that
// holds what the layout draws: 2 x 1.25 in, 2 x 1 in) it prints as drawn,
// from the printable area's corner. On any other label — a sheet position, a die-cut
// label, a roll, or its own size with margins that cut into it — it is
// scaled uniformly to fill the printable area and centred there, turned a
// quarter clockwise when the label is portrait. The scale stops where a
// barcode module would be wider than EAN's 200 % (0.66 mm).
#include "printer/Printer.h"

#include <QLineF>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QTransform>

namespace zl::label {

struct LabelFit {
    double scale = 1;
    // A quarter turn clockwise: the layout's top runs down the label's right edge.
    bool turned = false;
    // The printable area, and where the layout's box begins on it, in the
    // page's millimetres from the area's top-left corner.
    QSizeF areaMm = QSizeF(printer::kLayoutWidthMm, printer::kLayoutHeightMm);
    QPointF boxMm;

    bool asDrawn() const { return scale == 1 && !turned && boxMm.isNull(); }
    // The layout's millimetres to the page's (from the printable corner).
    QTransform toPage() const;
    // The printable area in the layout's millimetres.
    QRectF layoutArea() const;
    // The layout's box on the page.
    QRectF boxOnPage() const;
    // A line of the layout's (the title's rule, drawn long to reach the
    // edge of any stock) cut where the label ends: at the layout's right
    // edge when it is fitted, since the stock beyond it is not the label's.
    // As drawn, the stock is the label and the printer cuts it at its edge.
    QLineF withinLabel(const QLineF &line) const;
};

// The widest module EAN allows (200 %) and the layout's module at scale 1.
constexpr double kMaxModuleMm = 0.66;
constexpr double kBarcodeWidthMm = 32;
constexpr double kBarcodeModules = 113; // EAN-13 with its light margins
// A roll narrower than this share of the layout's width takes it turned,
// along the roll, rather than shrunk below two thirds of its size.
constexpr double kTurnOnRollBelow = 2.0 / 3.0;

// How the layout meets `page` with the operator's choice `scale`. On a roll
// the label's length follows from the roll's width.
LabelFit fitLabel(const printer::PageGeometry &page, printer::LabelScale scale);

// On a roll: the page length a label of this fit takes, the driver's
// margins above and below included.
double rollPageLengthMm(const printer::PageGeometry &page, const LabelFit &fit);

} // namespace zl::label
