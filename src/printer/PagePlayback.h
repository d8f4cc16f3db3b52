#pragma once
// Draws the recorded pages of a document (QPicture, in millimetres from the
// printable area's top-left corner) onto any paint device: every printer
// replays its documents through here.
#include <QPicture>
#include <QPointF>

class QPainter;

namespace zl::printer {

// Draws `page` with its millimetre (0, 0) at `originMm` of the painter's
// current coordinates, scaled by `unitsPerMm` (device pixels per millimetre
// on an untransformed painter). QPainter::drawPicture alone would stretch
// the page by the ratio of the device's resolution to the picture's.
void playPage(QPainter &painter, const QPicture &page, QPointF originMm, double unitsPerMm);

} // namespace zl::printer
