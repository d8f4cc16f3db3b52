#pragma once
// The whole label as it will print, for the screens to show before printing:
// drawn by the label renderer itself onto recorded pages, then painted at any
// scale on a sheet that shows the paper's edge and what falls off the paper.
#include "label/LabelFit.h"
#include "label/LabelTitles.h"
#include "printer/Printer.h"
#include "label/LabelFields.h"

#include <QImage>
#include <QLineF>
#include <QList>
#include <QPicture>
#include <QStringList>

namespace zl::label {

// Positions are on the page, in millimetres from the printable area's
// corner, where the fitted layout put them.
struct PreviewText {
    int page = 0;
    QRectF mm; // on the printable area, as the renderer placed it
    QString text;
    QRectF ink = {}; // where its glyphs are, on the same area
};

struct PreviewLine {
    int page = 0;
    QLineF mm;
    double widthMm = 0;
};

struct LabelPreview {
    printer::PageGeometry geometry;
    LabelFit fit;
    QList<QPicture> pages;
    QList<PreviewText> texts;
    // Why the label cannot be drawn at all (a price that is not a number …);
    // empty when it can.
    QString failure;
    // Why the record has no barcode (it then prints without one); empty when
    // it has one.
    QString withoutBarcode;
    QPointF barcodeMm; // where its barcode goes on the first page, in the layout's millimetres
    // The barcode as drawn, light margins included; empty when none was.
    QRectF barcodeBox;
    // Why the barcode, as it would print here, cannot be trusted to scan
    // (cut, a light margin lost, modules under two of the device's dots or
    // 0.17 mm); empty when it can or there is none. A run refuses to print.
    QString barcodeProblem;
    int barcodePage = 0;
    // The rule lines: the layout runs the title's rule past the paper's
    // edge on purpose, so what the paper cuts off there is no warning.
    QList<PreviewLine> lines;

    // What the operator should know before printing: the barcode's problem,
    // no barcode, texts
    // that reach past the paper's edge, texts that overlap one another or the
    // barcode (a price's minus under the second title), a label that needs
    // more than one page.
    QStringList warnings() const;
};

// Draws `fields` (not changed) with the renderer on `geometry`'s printable
// area with `titles`. `withoutBarcode` is the reason the record has no
// barcode, as LabelFields::setRecord gave it.
// With `findingsOnly`, only what warnings() reads is kept: the texts and one
// empty picture a page, several times faster (a run checks all its rows).
// The layout is fitted to the page as `scale` says.
LabelPreview previewLabel(const LabelFields &fields, const printer::PageGeometry &geometry,
                          const Titles &titles, const QString &withoutBarcode = QString(),
                          bool findingsOnly = false, printer::LabelScale scale = printer::LabelScale::Fit);

// The smallest module a scanner is trusted with: two of the device's dots,
// and never under 0.17 mm (two dots of a 300-dpi head, 0.169 mm).
constexpr double kMinModuleMm = 0.169;
constexpr int kMinModuleDots = 2;

// What is wrong with a barcode `widthMm` wide (on the page, light margins
// included) of `modules` modules whose box on the page is `box`, printed on
// `geometry`: empty when it prints whole with every module at least
// kMinModuleDots dots and kMinModuleMm wide.
QString barcodeProblem(const printer::PageGeometry &geometry, const QRectF &box, bool turned, double modules);

// The preview painted at `pxPerMm`: every page on its own sheet of paper, in a
// row, with `marginMm` of grey around them. What falls off the paper is drawn
// in red on the grey (but for the rule past the right edge, which the layout
// means and the printer cuts), the paper's edge as a line, and a record without a
// barcode gets 「バーコードなし」 in red where the barcode would be.
QImage previewImage(const LabelPreview &preview, double pxPerMm, double marginMm);

// The label fields of the first record of the data source, with the stored
// print adjustments. Throws zl::Failure when the data source cannot be read
// or has no record; `withoutBarcode` gets the reason a barcode could not be
// made.
LabelFields firstRecordFields(QString *withoutBarcode = nullptr);
// The label fields of a record's columns with the stored print adjustments.
LabelFields recordFields(const QStringList &columns, QString *withoutBarcode = nullptr);

} // namespace zl::label
