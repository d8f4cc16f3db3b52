#include "cups/platform/CupsRunDocument.h"

#include "common/Length.h"
#include "printer/PagePlayback.h"

#include <cmath>

namespace zl::printer {

CupsRunDocument::CupsRunDocument(const PageGeometry &page, int zoom, QSizeF sentPoints)
    : m_buffer(&m_pdf), m_page(page), m_zoom(zoom), m_sentPoints(sentPoints)
{
    m_buffer.open(QIODevice::WriteOnly);
    m_document = std::make_unique<pdfwriter::PdfDocument>(&m_buffer);
}

bool CupsRunDocument::add(const QList<PaperPage> &pages)
{
    const int dpi = m_page.deviceDpi();
    const double unitsPerMm = Length::dotsPerMm(dpi) * (m_zoom / 100.0);
    // CUPS' raster filters keep a page's size in whole points and lay the
    // page on the raster from its bottom edge: the dots start that many
    // points up, not at a fraction of a point above (90 mm is 255.12 pt; from
    // there every bar would be half a dot off its dots).
    const double top = std::round(m_sentPoints.height());
    for (const PaperPage &page : pages) {
        // The page is the whole paper, rasterised from its corner; the
        // label starts at the printable area.
        playPlaced(m_document->beginPage(m_sentPoints, dpi, top), page, m_page.printableMm.topLeft() * (100.0 / m_zoom),
                 unitsPerMm);
        if (!m_document->endPage())
            return false;
    }
    return true;
}

QByteArray CupsRunDocument::finish()
{
    m_document->finish();
    m_document.reset();
    m_buffer.close();
    return std::move(m_pdf);
}

} // namespace zl::printer
