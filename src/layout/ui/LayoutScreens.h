#pragma once
#include <QString>
#include <QWidget>
#include <functional>

namespace zl::ui {

class ScreenRegistry;

// Prints the calibration label for the print position screen `owner`
// (as a run, which the print runs' area knows) and says how it went;
// empty when nothing was printed and there is nothing to say.
using CalibrationPrinting = std::function<void(QWidget *owner, const std::function<void(const QString &)> &said)>;

// Form3 (output layout selection) and Form13 (print position adjustment);
// without `printCalibration` the screen offers no calibration label.
void registerLayoutScreens(ScreenRegistry &registry, CalibrationPrinting printCalibration = {});

// Each reads its table first; when that fails the operator is told why and
// no screen opens (null is returned).
QWidget *createLayoutSelectionScreen(QWidget *host);
QWidget *createPrintPositionScreen(QWidget *host, const CalibrationPrinting &printCalibration = {});

} // namespace zl::ui
