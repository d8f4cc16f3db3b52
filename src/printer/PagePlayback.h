#pragma once
// Draws the recorded pages of a document (QPicture, in millimetres from the
// printable area's top-left corner) onto any paint device: every printer
// replays its documents through here.
#include <QList>
#include <QPicture>
#include <QPointF>
#include <QRectF>

class QPainter;

namespace zl::printer {

// Draws `page` with its millimetre (0, 0) at `originMm` of the painter's
// current coordinates, scaled by `unitsPerMm` (device pixels per millimetre
// on an untransformed painter). QPainter::drawPicture alone would stretch
// the page by the ratio of the device's resolution to the picture's.
void playPage(QPainter &painter, const QPicture &page, QPointF originMm, double unitsPerMm);

// A recorded page put somewhere on a page of paper: a label on a sheet,
// its corner at areaMm's (from the printable corner), nothing of it drawn
// outside areaMm (what reaches past a label's edge, as the title's rule
// does, would print on the next label). A null area: the page as it is.
struct PlacedPage {
    QPicture page;
    QRectF areaMm;
};
// What one page of paper shows.
using PaperPage = QList<PlacedPage>;

// A document's pages, one to a page of paper.
QList<PaperPage> paperPages(const QList<QPicture> &pages);

// Draws the placed pages of one page of paper, as playPage draws one page.
void playPlaced(QPainter &painter, const PaperPage &placed, QPointF originMm, double unitsPerMm);

// The placed pages recorded as one page.
QPicture recordPlaced(const PaperPage &placed);

} // namespace zl::printer
