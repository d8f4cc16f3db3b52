#pragma once
// The labels a CUPS queue is sent, as one PDF, a page each, drawn as they
// come: a run goes to the queue as one document, so the driver's filters
// start once for the run and its labels come out together, never between
// another counter's.
#include "printer/Printer.h"

#include <QBuffer>
#include <QPainter>
#include <QPdfWriter>
#include <memory>

namespace zl::printer {

class CupsRunDocument {
public:
    // Pages of `page`'s paper, the labels drawn at `zoom` percent.
    CupsRunDocument(const PageGeometry &page, int zoom);
    // False when the PDF cannot be drawn.
    bool add(const QList<QPicture> &pages);
    // The whole PDF, its pages declared `sentPoints` exactly.
    QByteArray finish(QSizeF sentPoints);

private:
    QByteArray m_pdf;
    QBuffer m_buffer;
    std::unique_ptr<QPdfWriter> m_writer;
    QPainter m_painter;
    PageGeometry m_page;
    int m_zoom;
    int m_pages = 0;
};

} // namespace zl::printer
