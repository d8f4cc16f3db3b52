#pragma once
// The page canvas: the current printer seen as a drawing surface, in
// millimetres from the printable area's top-left corner, fonts in points.
// The text position is the top-left corner of the next printed text; printing
// moves it to the left edge, one text height lower.
#include "label/LabelFit.h"
#include "printer/Printer.h"

#include <QFont>
#include <QList>
#include <QPainter>
#include <QPicture>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace zl::label {

class BarcodePicture;

class PageCanvas {
public:
    virtual ~PageCanvas() = default;

    virtual void setScaleMillimetres() = 0;
    virtual void setFontName(const QString &name) = 0;
    virtual void setFontSize(double points) = 0;
    virtual void setFontBold(bool bold) = 0;
    virtual void setFontItalic(bool italic) = 0;
    virtual void setCurrentX(double mm) = 0;
    virtual void setCurrentY(double mm) = 0;
    virtual double currentX() const = 0;
    virtual double currentY() const = 0;
    virtual double textWidth(const QString &text) = 0;
    virtual double textHeight(const QString &text) = 0;
    virtual void printText(const QString &text) = 0;
    // Line width in the device's pixels, as printers count them.
    virtual void setLineWidth(int devicePixels) = 0;
    virtual void drawLine(double x1, double y1, double x2, double y2) = 0;
    // The picture's top-left corner at (x, y), `width` wide, its own height.
    virtual void drawPicture(const BarcodePicture &picture, double x, double y, double width) = 0;
    virtual void newPage() = 0;
    // Hands the document to its destination; nothing after an abort.
    virtual void endDocument() = 0;
    // Discards the document: nothing of it reaches the destination.
    virtual void abortDocument() = 0;
    virtual double printableWidth() const = 0;
    virtual double printableHeight() const = 0;
};

// Keeps the font and text position and measures texts the way every painting
// canvas draws them, independent of the device's resolution.
class MeasuringCanvas : public PageCanvas {
public:
    explicit MeasuringCanvas(QSizeF printableMm);

    void setScaleMillimetres() override {}
    void setFontName(const QString &name) override;
    void setFontSize(double points) override;
    void setFontBold(bool bold) override;
    void setFontItalic(bool italic) override;
    void setCurrentX(double mm) override { m_x = mm; }
    void setCurrentY(double mm) override { m_y = mm; }
    double currentX() const override { return m_x; }
    double currentY() const override { return m_y; }
    double textWidth(const QString &text) override;
    double textHeight(const QString &text) override;
    // Where `text`'s ink falls, in millimetres from the text position: the
    // glyphs' own outline, not the line box, so that two texts whose boxes
    // merely share their leading do not count as touching.
    QRectF textInk(const QString &text);
    void setLineWidth(int devicePixels) override { m_lineWidth = devicePixels; }
    double printableWidth() const override { return m_printable.width(); }
    double printableHeight() const override { return m_printable.height(); }

    const QString &fontName() const { return m_fontName; }
    double fontSize() const { return m_fontSize; }
    bool fontBold() const { return m_bold; }
    bool fontItalic() const { return m_italic; }
    int lineWidth() const { return m_lineWidth; }

protected:
    // Fonts are sized in hundredths of a millimetre, so a text drawn under a
    // 1/100 scale lands at the same size on every device and in pictures.
    static constexpr double kFontUnitsPerMm = 100.0;
    const QFont &font();
    const QFontMetricsF &metrics();
    // Moves the position as printing `text` does.
    void advancePast(const QString &text);

private:
    QSizeF m_printable;
    QString m_fontName = QStringLiteral("IPAPGothic");
    double m_fontSize = 9;
    bool m_bold = false;
    bool m_italic = false;
    double m_x = 0;
    double m_y = 0;
    int m_lineWidth = 1;
    std::optional<QFont> m_font;
    std::optional<QFontMetricsF> m_metrics;
};

// Records the document as one QPicture per page, in millimetres, and hands it
// to a sink only when the document ends; an abort, or destroying the canvas
// before the end, discards it. The renderer draws in the layout's
// millimetres; `fit` puts them on the page (the pages are recorded in the
// page's millimetres from the printable corner), and the barcode's bars
// land on whole dots of the page's device however the layout is scaled or
// turned.
class PictureCanvas : public MeasuringCanvas {
public:
    using Sink = std::function<void(const QList<QPicture> &pages)>;
    PictureCanvas(const printer::PageGeometry &geometry, const LabelFit &fit, Sink sink);
    // The layout fitted to the page.
    PictureCanvas(const printer::PageGeometry &geometry, Sink sink)
        : PictureCanvas(geometry, fitLabel(geometry, printer::LabelScale::Fit), std::move(sink))
    {
    }
    ~PictureCanvas() override;

    void printText(const QString &text) override;
    void drawLine(double x1, double y1, double x2, double y2) override;
    void drawPicture(const BarcodePicture &picture, double x, double y, double width) override;
    void newPage() override;
    void endDocument() override;
    void abortDocument() override;

    bool ended() const { return m_state == State::Ended; }
    bool aborted() const { return m_state == State::Aborted; }

private:
    enum class State { Open, Ended, Aborted };
    QPainter *painter();
    void closePage();

    printer::PageGeometry m_geometry;
    LabelFit m_fit;
    Sink m_sink;
    QList<QPicture> m_pages;
    std::unique_ptr<QPicture> m_page;
    QPainter m_painter;
    State m_state = State::Open;
};

// A canvas whose documents go to `printer`, the layout fitted to its page as
// `scale` says.
std::unique_ptr<PageCanvas> printerCanvas(printer::Printer &printer, printer::LabelScale scale);

// The size the renderer measures its limits against: the printable area in
// the layout's millimetres, from the layout's corner.
QSizeF layoutPrintable(const LabelFit &fit);

// Draws a recorded page on an image at `dpi` (white paper the size of the
// printable area).
QImage renderPage(const QPicture &page, QSizeF printableMm, int dpi);

// A canvas that renders each finished document to images at a chosen
// resolution, for looking at labels and decoding their barcodes.
class ImageCanvas : public PictureCanvas {
public:
    ImageCanvas(QSizeF printableMm, int dpi);
    const QList<QImage> &images() const { return m_images; }

private:
    QList<QImage> m_images;
};

} // namespace zl::label
