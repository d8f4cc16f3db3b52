#pragma once
// The print position and font size adjustments as numbers: what a stored
// adjustment may be, the same for the screen that sets it, the check before
// a run and the renderer that adds it.
#include <QString>
#include <optional>

namespace zl::label {

// Millimetres added to every position, points to every font size. Beyond
// these the label leaves the paper or its text becomes unreadable.
constexpr int kAdjustmentMin = -20;
constexpr int kAdjustmentMax = 20;

// The operator's names for the three adjustments (0: horizontal,
// 1: vertical, 2: font size), as the print position screen labels them.
QString adjustmentName(int which);

// A stored adjustment's text as a number. The screen stores whole numbers,
// but older versions and hand-edited tables hold decimals ("1.5", "-0.5"),
// and those print as they are. Blank space around the number and a sign
// are allowed; nothing when the text is not a finite number.
std::optional<double> adjustmentNumber(const QString &text);

// The same, throwing zl::Failure naming the adjustment when it is not a number.
double adjustmentValue(const QString &text, const QString &what);

bool adjustmentInRange(double value);

// The slider position that shows a value: the nearest whole number.
int adjustmentPosition(double value);

} // namespace zl::label
