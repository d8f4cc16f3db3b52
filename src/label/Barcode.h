#pragma once
// The barcode maker: a barcode text ("JAN-" and the digits) in, the
// bars as geometry out, painted by whoever holds the picture.
//
// The picture always includes the light margins (11 modules left and 7 right
// of an EAN-13, 7 and 7 of an EAN-8) inside its width: a label prints it 32 mm
// wide, so the margins are kept even when the label stock is narrow or the
// operator shifts the layout, and scanners find the first bar reliably. The
// picture carries no human-readable digits; the label prints them itself.
//
// The five barcode parameters keep the names the print screens use:
//   x, y  preview only: where the preview draws the picture, in pixels from
//         the preview's top-left corner.
//   A     bar width reduction in percent of a module (0..30), for printers
//         whose dots spread: every bar is that much narrower, centred on its
//         place. Drawn as vectors (PDF, preview) it is exactly that; on a
//         printer's dot grid it is whole dots, the nearest number of dots to
//         A percent of a module (barReductionDots), since a thermal head
//         cannot print part of a dot. Record runs pass 5: on 203 and 300 dpi
//         label printers (2 and 3 dots a module) that is no dot, and the bars
//         print at full width; from 10 dots a module it takes one.
//   B     bar height in quarter millimetres when the picture is 32 mm wide
//         (the picture's height follows its width); 0 means 25 (6.25 mm). At
//         most 26 (6.5 mm), so the bars end above the digits line 7 mm below
//         the picture's top. Record runs pass 25.
//   C     preview only: 1 outlines the whole picture in grey, so the light
//         margins the label will keep free can be seen; 0 shows the bars alone.
//         The preview always fits the picture to its own size.
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QString>

class QPainter;

namespace zl::label {

struct BarcodeParameters {
    qint16 x = 0;
    qint16 y = 0;
    qint16 a = 0;
    qint16 b = 0;
    qint16 c = 0;
    // The values every record of a print run uses.
    static BarcodeParameters forRecords() { return {0, 0, 5, 25, 1}; }
};

// A barcode as bars in module units; empty when there is none.
class BarcodePicture {
public:
    bool isNull() const { return m_bars.isEmpty(); }
    // The encoded digits, check digit included.
    const QString &digits() const { return m_digits; }
    // Width of the whole picture (light margins included), in modules.
    qreal modules() const { return m_modules; }
    // Height divided by width.
    qreal aspect() const { return m_aspect; }
    qreal heightForWidth(qreal width) const { return width * m_aspect; }
    // Bars in module units: x from the picture's left edge, height 1 = full;
    // narrowed by the reduction.
    const QList<QRectF> &bars() const { return m_bars; }
    // The bar width reduction A as a fraction of a module.
    qreal reduction() const { return m_reduction; }

    // Paints black bars with the picture's top-left corner at `topLeft`,
    // `width` wide in the painter's units. Nothing for an empty picture.
    void paint(QPainter &painter, const QPointF &topLeft, qreal width) const;

    // The same in millimetres for a printer of `dpi` dots per inch whose
    // dot grid starts `gridOriginMm` before the painter's origin: every module
    // is a whole number of dots and every bar edge falls on a dot boundary,
    // so a 203-dpi label printer makes no bar a dot wider than its
    // neighbour. The symbol is centred in the `width`-wide box; what is left
    // over widens the light margins. The height stays that of `width`.
    // Each bar is drawn `edgeInsetDots` inside its dots (see PageGeometry).
    void paintOnDotGrid(QPainter &painter, const QPointF &topLeftMm, qreal widthMm, int dpi,
                        const QPointF &gridOriginMm, qreal edgeInsetDots = 0) const;

private:
    friend BarcodePicture makeBarcode(const QString &, const BarcodeParameters &);
    QString m_digits;
    qreal m_modules = 0;
    qreal m_aspect = 0;
    qreal m_reduction = 0;
    QList<QRectF> m_bars;
};

// Makes the barcode of a barcode text: "JAN-" followed by 12 digits (the
// check digit is added) or 13 (the check digit must be right) for a JAN-13,
// 7 or 8 likewise for a JAN-8. Anything else throws zl::Failure saying why.
BarcodePicture makeBarcode(const QString &barcodeText, const BarcodeParameters &parameters);

// The barcode text the print runs build from a record's barcode value.
inline QString janBarcodeText(const QString &value) { return QStringLiteral("JAN-") + value; }

// The sample the preview shows.
inline QString previewBarcodeText() { return QStringLiteral("JAN-123456789012"); }

// What the reduction A takes off each bar on a dot grid with modules of
// `moduleDots` dots: the nearest whole number of dots, never a whole module.
int barReductionDots(qreal reduction, int moduleDots);

// The check digit of a JAN-13 or JAN-8 body (12 or 7 digits).
int janCheckDigit(const QString &body);

} // namespace zl::label
