#pragma once
// The PDF the labels are written as, for a file kept in a folder and for a
// CUPS queue alike: pages drawn with a QPainter in the device's dots and
// written out as each is finished, so a long run holds one page in memory.
//
// Qt's own PDF writer is not used for labels: it draws every bar as a
// five-point path, a bold face the fonts lack twice over, and leaves pairs of
// empty graphics states wherever the painter's state changes. Here the bars
// of a barcode are one path of rectangles, such a bold face is one stroked
// and filled text, and the pages share one resource dictionary; the fonts
// are embedded once, as subsets of the glyphs the document uses.
#include <QPainter>
#include <QSizeF>
#include <QString>
#include <memory>

class QIODevice;

namespace zl::pdfwriter {

class PdfDocument {
public:
    // Writes to `out`, which must stay open until finish().
    explicit PdfDocument(QIODevice *out, const QString &title = QString());
    ~PdfDocument();
    PdfDocument(const PdfDocument &) = delete;
    PdfDocument &operator=(const PdfDocument &) = delete;

    // Starts a page `sizePt` points large. The painter draws in dots of
    // `dpi` from the page's top-left corner, or from `topPt` points above
    // its bottom edge, and is valid until endPage().
    QPainter &beginPage(QSizeF sizePt, int dpi, double topPt = -1);
    // Writes the page out. False when the device refused it.
    bool endPage();
    // Writes the fonts, the page tree and the trailer; the file is a PDF
    // only then. False when the device refused them.
    bool finish();

    int pages() const;

    struct Impl;

private:
    std::unique_ptr<Impl> d;
};

} // namespace zl::pdfwriter
