#pragma once
// The label renderer: draws the label fields as one label, one print document
// per label, and shows the progress window while it does.
#include "layout/Titles.h"
#include "printing/LabelFields.h"
#include "printing/PageCanvas.h"

#include <QLocale>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace zl::printing {

// The progress window as the renderer sees it (the screen lives with the
// other screens; tests use a double).
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

// "送信 12 / 20　印刷済み 9 / 20"; without `printed` only what was sent.
QString runCountsText(int sent, std::optional<int> printed, int total);

// How PrintLabel() gets its progress window; the screens install theirs.
// Without one the label is printed without a window.
using ProgressViewFactory = std::function<std::unique_ptr<ProgressView>(LabelFields &fields)>;
void setProgressViewFactory(ProgressViewFactory factory);

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

// One progress window for a whole print run: opened when made, closed when
// destroyed; every PrintLabel in between shows its bar there, so a cancel
// clicked between two labels still lands on a window and stops the next.
class RunProgress {
public:
    explicit RunProgress(LabelFields &fields);
    ~RunProgress();
    // Shows the run's counts and lets the window's cancel act.
    void showCounts(const QString &text);
    RunProgress(const RunProgress &) = delete;
    RunProgress &operator=(const RunProgress &) = delete;

private:
    std::unique_ptr<ProgressView> m_view;
};

// The font every label starts from; it sets the line height (4 mm).
QString baseFontName();
double baseFontSize();

// Draws `fields` as one label on `canvas`, with `progress` showing the bar.
// Throws zl::Failure (adjustments or price not numbers, titles unreadable,
// more than kMaxLabelPages pages, the printer refusing the document); the document is then discarded and the
// progress window closed.
// `titles`, when given, are printed instead of the current titles (a
// preview that redraws often passes the ones it read once).
RendererState printLabel(PageCanvas &canvas, ProgressView *progress, LabelFields &fields,
                         const layout::Titles *titles = nullptr);

// The program's renderer: the shared label fields on the current printer,
// with the run's progress window, or one of its own outside a run. False
// when the operator cancelled the label (nothing of it was sent).
bool PrintLabel();

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

// A print adjustment's decimal text as a number; throws zl::Failure naming
// the adjustment when it is not one.
double adjustmentValue(const QString &text, const QString &what);

} // namespace zl::printing
