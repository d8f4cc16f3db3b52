#include "printer/PagePlayback.h"

#include <QPaintDevice>
#include <QPainter>

namespace zl::printer {

void playPage(QPainter &painter, const QPicture &page, QPointF originMm, double unitsPerMm)
{
    painter.save();
    double stretch = 1;
    if (const QPaintDevice *device = painter.device(); device && device->logicalDpiX() > 0)
        stretch = double(page.logicalDpiX()) / device->logicalDpiX();
    // The origin in millimetres of the device; only the picture itself is
    // stretched back, or an origin away from the corner (a printer's margin,
    // a position on a label sheet) would land short of where it belongs.
    painter.scale(unitsPerMm, unitsPerMm);
    painter.translate(originMm);
    painter.scale(stretch, stretch);
    painter.drawPicture(QPointF(0, 0), page);
    painter.restore();
}

} // namespace zl::printer
