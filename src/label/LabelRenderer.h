#pragma once
// The label renderer: draws the label fields as one label, one print document
// per label.
#include "label/LabelFields.h"
#include "label/LabelTitles.h"
#include "label/PageCanvas.h"

#include <QLocale>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace zl::label {

// What drawing a label tells and asks on its way: the progress bar's text
// after each step, and whether the operator has cancelled (checked at every
// step, so a cancel stops the label before anything of it is sent).
struct LabelSteps {
    std::function<void(const QString &bar)> progress;
    std::function<bool()> cancelled;
};

// The renderer's working values, kept after a label for a look afterwards.
struct RendererState {
    int lineHeight = 0;   // mm, height of "5" in the base font, rounded
    int linesPerPage = 0;
    int rightLimit = 0;   // mm, printable width − 10, rounded
    int pageNumber = 0;
    bool cancelled = false; // the operator cancelled: nothing was sent
};

// A label is refused past this many pages (a runaway first column).
constexpr int kMaxLabelPages = 20;

// The font every label starts from; it sets the line height (4 mm).
QString baseFontName();
double baseFontSize();

// Draws `fields` as one label with `titles` on `canvas`, telling `steps`
// how far it is. Throws zl::Failure (adjustments or price not numbers, more
// than kMaxLabelPages pages, the printer refusing the document); the
// document is then discarded.
RendererState printLabel(PageCanvas &canvas, const LabelFields &fields, const Titles &titles,
                         const LabelSteps &steps = {});

// The price in the platform's currency format (the default locale, which
// follows the platform unless the program sets another): priceText.
QString currencyText(const QString &price, const QLocale &locale = QLocale());

// "1  234567  89012": a JAN-13's digits as it shows them, the first digit,
// then digits 2–7 and 8–13, two spaces apart.
QString barcodeDigitsText(const QString &source);

// The digits a label prints under its bars: those the bars encode, grouped
// as a JAN shows them ("4  912345  000019", "4901  2345") when the barcode
// was made; otherwise the value as it stands, never grouped.
QString labelDigitsText(const LabelFields &fields);

} // namespace zl::label
