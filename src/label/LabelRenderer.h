#pragma once
// The label renderer: draws the label fields as one label, one print document
// per label, and shows the progress window while it does.
#include "label/LabelFields.h"
#include "label/LabelTitles.h"
#include "label/PageCanvas.h"

#include <QLocale>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace zl::label {

// The progress window as the renderer sees it (the screen lives with the
// print screens; tests use a double).
class ProgressView {
public:
    virtual ~ProgressView() = default;
    // Opens the window with an empty bar and lets it paint.
    virtual void open() = 0;
    virtual void setProgressText(const QString &text) = 0;
    // Runs pending user-interface events: the cancel button acts here.
    virtual void processEvents() = 0;
    virtual void close() = 0;
    // How far the run is: labels sent, and printed once the printer says.
    virtual void setRunCounts(const QString &text) { Q_UNUSED(text); }
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

// Draws `fields` as one label with `titles` on `canvas`, with `progress`
// showing the bar. Throws zl::Failure (adjustments or price not numbers, more
// than kMaxLabelPages pages, the printer refusing the document); the document
// is then discarded and the progress window closed.
// With `windowPerLabel` the label opens and closes `progress` itself; a run
// that keeps one window open for all its labels passes false.
RendererState printLabel(PageCanvas &canvas, ProgressView *progress, LabelFields &fields, const Titles &titles,
                         bool windowPerLabel = true);

// The price in the platform's currency format (the default locale, which
// follows the platform unless the program sets another): priceText.
QString currencyText(const QString &price, const QLocale &locale = QLocale());

// "1  234567  89012": the first digit, then digits 2–7 and 8–13, two spaces
// apart; shorter values give shorter pieces, characters after the 13th are
// not shown.
QString barcodeDigitsText(const QString &source);

// The digits a label prints under its bars: those the bars encode, grouped
// as a JAN shows them ("4  912345  000019", "4901  2345") when the barcode
// was made; otherwise barcodeDigitsText of the value as it stands.
QString labelDigitsText(const LabelFields &fields);

} // namespace zl::label
