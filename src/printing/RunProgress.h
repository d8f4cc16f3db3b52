#pragma once
// The progress window of a print run, and the program's renderer: the shared
// label fields drawn on the current printer with the current titles.
#include "label/LabelRenderer.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace zl::printing {

// "送信 12 / 20　印刷済み 9 / 20"; without `printed` only what was sent.
QString runCountsText(int sent, std::optional<int> printed, int total);

// How PrintLabel() gets its progress window; the screens install theirs.
// Without one the label is printed without a window.
using ProgressViewFactory = std::function<std::unique_ptr<label::ProgressView>(label::LabelFields &fields)>;
void setProgressViewFactory(ProgressViewFactory factory);

// One progress window for a whole print run: opened when made, closed when
// destroyed; every PrintLabel in between shows its bar there, so a cancel
// clicked between two labels still lands on a window and stops the next.
class RunProgress {
public:
    explicit RunProgress(label::LabelFields &fields);
    ~RunProgress();
    // Shows the run's counts and lets the window's cancel act.
    void showCounts(const QString &text);
    RunProgress(const RunProgress &) = delete;
    RunProgress &operator=(const RunProgress &) = delete;

private:
    std::unique_ptr<label::ProgressView> m_view;
};

// The program's renderer: the shared label fields on the current printer,
// with the run's progress window, or one of its own outside a run. False
// when the operator cancelled the label (nothing of it was sent).
bool PrintLabel(printer::LabelScale scale = printer::LabelScale::Fit);

} // namespace zl::printing
