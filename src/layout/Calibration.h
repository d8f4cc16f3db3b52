#pragma once
// Two numbers read off the calibration label, added to the stored position
// adjustments.
#include "label/LabelFit.h"
#include "layout/PrintAdjustment.h"

#include <QPointF>
#include <QString>
#include <optional>

namespace zl::layout {

// A reading is typed to a tenth of a millimetre, within the adjustments' range.
constexpr double kReadingStep = 0.1;

// "1.5", "-0.5", "2": a value to a tenth, whole numbers as the screen's
// sliders store them.
QString tenthsText(double value);

// A typed reading as a number to a tenth; nothing when it is no number.
std::optional<double> readingValue(const QString &text);

struct Calibrated {
    QStringList values;    // the table's 99 values with the new SIZE1 and SIZE2
    QString before[2];     // SIZE1 and SIZE2 as they were
    QString after[2];
    // "横　位置調整 0 → 1.5、縦　位置調整 0 → -0.5"
    QString change() const;
};

// The stored adjustments `values` moved so that the print goes `reading`
// millimetres right and down on the stock, through `fit` (how the layout
// meets the label: a fitted or turned layout moves by its own measure).
// Throws zl::Failure naming the adjustment and the range when a value
// would leave it, or when a stored one is no number.
Calibrated calibrate(const QStringList &values, QPointF reading, const label::LabelFit &fit);

// The fit a run would use now on the printer and paper in force.
label::LabelFit fitInForce();

// Reads the table, calibrates and stores it. Throws zl::Failure with
// nothing stored: the table unreadable, a stored adjustment unusable, a
// value out of range, the write refused.
Calibrated calibrateStored(QPointF reading, const label::LabelFit &fit);

} // namespace zl::layout
