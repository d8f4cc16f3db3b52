#pragma once
// The labels a CUPS queue is sent, as one PDF, a page each, drawn as they
// come: a run goes to the queue as one document, so the driver's filters
// start once for the run and its labels come out together, never between
// another counter's.
#include "printer/PagePlayback.h"
#include "pdfwriter/PdfDocument.h"
#include "printer/Printer.h"

#include <QBuffer>
#include <memory>

namespace zl::printer {

class CupsRunDocument {
public:
    // Pages of `page`'s paper, declared `sentPoints` large exactly as the
    // queue is told (CUPS fits a page larger than the paper onto it, and no
    // bar would stay on the dot grid), the labels drawn at `zoom` percent.
    CupsRunDocument(const PageGeometry &page, int zoom, QSizeF sentPoints);
    // False when the PDF cannot be drawn.
    bool add(const QList<PaperPage> &pages);
    // The whole PDF.
    QByteArray finish();

private:
    QByteArray m_pdf;
    QBuffer m_buffer;
    std::unique_ptr<pdfwriter::PdfDocument> m_document;
    PageGeometry m_page;
    int m_zoom;
    QSizeF m_sentPoints;
};

} // namespace zl::printer
