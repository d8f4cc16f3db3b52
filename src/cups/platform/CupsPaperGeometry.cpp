#include "cups/platform/CupsPrinter.h"

#include "common/Length.h"

#include <QPageSize>
#include <cmath>

// The page a queue's paper gives: its size as sent, its printable area and
// the dots it is printed at. Every answer is worked out from one reading of
// what the queue offers, so a reading that arrives meanwhile on a worker
// never mixes into it.

namespace zl::printer {

namespace {
constexpr int kUserPaperSizeCode = 256; // DMPAPER_USER
// A raw queue passes the document to the device untouched, so nothing tells
// which resolution the device has; bars are laid out for this one.
constexpr int kRawQueueDpi = 300;

QMarginsF marginsOf(const CupsPrinter::QueueSize &size)
{
    const QRectF &p = size.printablePoints;
    return QMarginsF(p.left(), p.top(), size.points.width() - p.right(), size.points.height() - p.bottom());
}
} // namespace

QSizeF CupsPrinter::labelStockPoints()
{
    return QSizeF(Length::mm(kLayoutWidthMm).pt(), Length::mm(kLayoutHeightMm).pt());
}

const CupsPrinter::QueueSize *CupsPrinter::rollOf(const QueueFacts &f, int code)
{
    for (int i = 0; i < f.papers.size(); ++i) {
        if (f.papers[i].code == code)
            return f.sizes[i].roll ? &f.sizes[i] : nullptr;
    }
    return nullptr;
}

int CupsPrinter::codeInForce(const QueueFacts &f) const
{
    if (m_settings.paper)
        return *m_settings.paper;
    // No paper list (a raw queue, or the scheduler did not answer): the
    // label stock, as a user-defined size.
    return f.defaultPaper ? f.defaultPaper : kUserPaperSizeCode;
}

const CupsPrinter::QueueSize *CupsPrinter::rollFor(const QueueFacts &f, int code)
{
    // The user-defined size is cut from the queue's default stock when that
    // is a roll.
    return rollOf(f, code == kUserPaperSizeCode ? f.defaultPaper : code);
}

const CupsPrinter::QueueSize *CupsPrinter::sizeOf(const QueueFacts &f, int code)
{
    for (int i = 0; i < f.papers.size(); ++i) {
        if (f.papers[i].code == code)
            return &f.sizes[i];
    }
    return nullptr;
}

const CupsPrinter::QueueSize *CupsPrinter::rollInForce() const
{
    const auto f = facts();
    return rollFor(*f, codeInForce(*f));
}

const CupsPrinter::QueueSize *CupsPrinter::currentSize() const
{
    const auto f = facts();
    return sizeOf(*f, codeInForce(*f));
}

QSizeF CupsPrinter::sentPoints() const
{
    const auto f = facts();
    return sentPointsFor(*f, codeInForce(*f));
}

QSizeF CupsPrinter::currentPoints() const
{
    const auto f = facts();
    return pointsFor(*f, codeInForce(*f));
}

QRectF CupsPrinter::printablePoints() const
{
    const auto f = facts();
    return printableFor(*f, codeInForce(*f));
}

QSizeF CupsPrinter::sentPointsFor(const QueueFacts &f, int code) const
{
    QSizeF pt = pointsFor(f, code);
    const bool roll = rollFor(f, code) != nullptr;
    if (!roll && (code != kUserPaperSizeCode || !f.customSizes))
        return pt;
    // The filters take a custom size in whole points, cutting off (141.88 pt
    // becomes 141), and then shrink the document's larger page onto it,
    // which moves every bar off the dot grid. So a custom page is whole
    // points from the start: the nearest, and on a roll never wider than
    // the roll nor shorter than the label.
    constexpr double kSlack = 1e-6;
    pt = roll ? QSizeF(std::floor(pt.width() + kSlack), std::ceil(pt.height() - kSlack))
              : QSizeF(std::round(pt.width()), std::round(pt.height()));
    if (f.customSizes)
        pt = pt.expandedTo(QSizeF(std::ceil(f.customMin.width()), std::ceil(f.customMin.height())))
                 .boundedTo(QSizeF(std::floor(f.customMax.width()), std::floor(f.customMax.height())));
    return pt;
}

QSizeF CupsPrinter::pointsFor(const QueueFacts &f, int code) const
{
    const QueueSize *roll = rollFor(f, code);
    if (code == kUserPaperSizeCode) {
        QSizeF pt = labelStockPoints();
        if (m_settings.customWidthTwips > 0 && m_settings.customHeightTwips > 0)
            pt = QSizeF(Length::twips(m_settings.customWidthTwips).pt(), Length::twips(m_settings.customHeightTwips).pt());
        // Cut from the roll the queue has loaded: as wide as the roll.
        if (roll) {
            pt.setWidth(roll->points.width());
            if (m_labelLengthPt > 0)
                pt.setHeight(m_labelLengthPt);
        }
        return pt;
    }
    if (roll) {
        // Until a label's length is known, a page holds the layout's own
        // height inside the driver's margins; the length the driver lists
        // for the roll is only where it would cut it by default.
        const QMarginsF m = marginsOf(*roll);
        const double layout = Length::mm(kLayoutHeightMm).pt() + m.top() + m.bottom();
        return QSizeF(roll->points.width(), m_labelLengthPt > 0 ? m_labelLengthPt : layout);
    }
    if (const QueueSize *size = sizeOf(f, code))
        return size->points;
    if (QPageSize::id(code) != QPageSize::Custom)
        return QPageSize(QPageSize::id(code)).size(QPageSize::Point);
    return labelStockPoints();
}

QRectF CupsPrinter::printableFor(const QueueFacts &f, int code) const
{
    const QRectF page(QPointF(0, 0), sentPointsFor(f, code));
    if (const QueueSize *roll = rollFor(f, code))
        return page.marginsRemoved(marginsOf(*roll));
    if (code == kUserPaperSizeCode)
        return f.customSizes ? page.marginsRemoved(f.customMargins) : page;
    if (const QueueSize *size = sizeOf(f, code))
        return size->printablePoints;
    return page;
}

std::optional<int> CupsPrinter::pageWidthTwips() const
{
    return Length::pt(currentPoints().width()).wholeTwips();
}

std::optional<int> CupsPrinter::pageHeightTwips() const
{
    return Length::pt(currentPoints().height()).wholeTwips();
}

bool CupsPrinter::setLabelLength(double mm)
{
    const auto f = facts();
    if (!rollFor(*f, codeInForce(*f)) || !(mm > 0))
        return false;
    const double pt = Length::mm(mm).pt();
    // No shorter or longer than the driver cuts a custom size.
    constexpr double kSlackPoints = 0.5;
    if (f->customSizes && (pt < f->customMin.height() - kSlackPoints || pt > f->customMax.height() + kSlackPoints))
        return false;
    m_labelLengthPt = pt;
    return true;
}

PageGeometry CupsPrinter::pageGeometry() const
{
    const auto f = facts();
    return geometryFor(*f, codeInForce(*f));
}

PageGeometry CupsPrinter::pageGeometryFor(int code) const
{
    return geometryFor(*facts(), code);
}

PageGeometry CupsPrinter::geometryFor(const QueueFacts &f, int code) const
{
    const QSizeF pt = sentPointsFor(f, code);
    const QRectF printable = printableFor(f, code);
    const double mmPerPoint = Length::pt(1).mm();
    PageGeometry g;
    g.roll = rollFor(f, code) != nullptr;
    g.paperMm = pt * mmPerPoint;
    g.printableMm = QRectF(printable.topLeft() * mmPerPoint, printable.size() * mmPerPoint);
    if (m_settings.orientation == 2) {
        g.paperMm.transpose();
        g.printableMm =
            QRectF(g.printableMm.top(), g.printableMm.left(), g.printableMm.height(), g.printableMm.width());
    }
    if (f.rasterFromPrintable)
        g.dotGridOriginMm = g.printableMm.topLeft();
    g.barInsetDots = 0.4;
    g.dpi = qualityFor(f).value_or(kRawQueueDpi);
    return g;
}

} // namespace zl::printer
