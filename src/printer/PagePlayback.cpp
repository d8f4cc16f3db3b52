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
    painter.scale(unitsPerMm * stretch, unitsPerMm * stretch);
    painter.translate(originMm);
    painter.drawPicture(QPointF(0, 0), page);
    painter.restore();
}

} // namespace zl::printer
