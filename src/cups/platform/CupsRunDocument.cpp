#include "cups/platform/CupsRunDocument.h"

#include "printer/PagePlayback.h"
#include "common/Length.h"

namespace zl::printer {

namespace {
// Qt writes a page's size in whole points. CUPS fits a page larger than
// the paper onto it, so 50 x 30 mm (141.73 x 85.04 pt) written as 142 x 85
// is shrunk and no bar stays on the dot grid. The exact size is put in its
// place, padded to the same length so the file's offsets stay right.
void exactMediaBox(QByteArray &pdf, QSizeF points)
{
    const QByteArray key = "/MediaBox [";
    for (int at = pdf.indexOf(key); at >= 0; at = pdf.indexOf(key, at + key.size())) {
        const int start = at + int(key.size());
        const int end = pdf.indexOf(']', start);
        if (end < 0)
            return;
        QByteArray box = "0 0 " + QByteArray::number(points.width(), 'f', 4) + ' '
            + QByteArray::number(points.height(), 'f', 4);
        if (box.size() > end - start)
            continue;
        pdf.replace(start, end - start, box.leftJustified(end - start, ' '));
    }
}

} // namespace

} // namespace zl::printer

namespace zl::printer {

CupsRunDocument::CupsRunDocument(const PageGeometry &page, int zoom) : m_buffer(&m_pdf), m_page(page), m_zoom(zoom)
{
    m_buffer.open(QIODevice::WriteOnly);
    m_writer = std::make_unique<QPdfWriter>(&m_buffer);
    m_writer->setCreator(QStringLiteral("Zenlabo"));
    m_writer->setResolution(page.dpi);
    m_writer->setPageLayout(QPageLayout(QPageSize(page.paperMm, QPageSize::Millimeter, QString(), QPageSize::ExactMatch),
                                        QPageLayout::Portrait, QMarginsF(), QPageLayout::Millimeter));
}

bool CupsRunDocument::add(const QList<QPicture> &pages)
{
    if (!m_painter.isActive() && !m_painter.begin(m_writer.get()))
        return false;
    const double unitsPerMm = Length::dotsPerMm(m_writer->resolution()) * (m_zoom / 100.0);
    for (const QPicture &page : pages) {
        if (m_pages++ > 0)
            m_writer->newPage();
        // The page is the whole paper, rasterised from its corner; the
        // label starts at the printable area.
        playPage(m_painter, page, m_page.printableMm.topLeft() * (100.0 / m_zoom), unitsPerMm);
    }
    return true;
}

QByteArray CupsRunDocument::finish(QSizeF sentPoints)
{
    if (m_painter.isActive())
        m_painter.end();
    m_writer.reset();
    m_buffer.close();
    exactMediaBox(m_pdf, sentPoints);
    return std::move(m_pdf);
}

} // namespace zl::printer
