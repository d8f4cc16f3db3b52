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
    // The origin is placed in device units before the stretch: translated
    // after it, the margin would shrink by the same ratio as the picture's
    // resolution to the device's (96/300 of it at 300 dpi).
    painter.translate(originMm * unitsPerMm);
    painter.scale(unitsPerMm * stretch, unitsPerMm * stretch);
    painter.drawPicture(QPointF(0, 0), page);
    painter.restore();
}

} // namespace zl::printer
