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

QList<PaperPage> paperPages(const QList<QPicture> &pages)
{
    QList<PaperPage> paper;
    paper.reserve(pages.size());
    for (const QPicture &page : pages)
        paper.append({PlacedPage{page, QRectF()}});
    return paper;
}

void playPlaced(QPainter &painter, const PaperPage &placed, QPointF originMm, double unitsPerMm)
{
    for (const PlacedPage &p : placed) {
        if (p.areaMm.isNull()) {
            playPage(painter, p.page, originMm, unitsPerMm);
            continue;
        }
        painter.save();
        const QRectF area = p.areaMm.translated(originMm);
        painter.setClipRect(QRectF(area.topLeft() * unitsPerMm, area.size() * unitsPerMm));
        playPage(painter, p.page, area.topLeft(), unitsPerMm);
        painter.restore();
    }
}

QPicture recordPlaced(const PaperPage &placed)
{
    QPicture page;
    QPainter painter(&page);
    playPlaced(painter, placed, QPointF(0, 0), 1.0);
    painter.end();
    return page;
}

} // namespace zl::printer
