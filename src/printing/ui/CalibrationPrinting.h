#pragma once
// The calibration label printed from the print position screen: a run on
// the printer, paper and sheet in use, off the windows' thread.
#include <QString>

class QWidget;

namespace zl::ui {

// What the screen `owner` says afterwards; empty when the operator
// cancelled the print-setup dialog.
QString printCalibrationLabel(QWidget *owner);

} // namespace zl::ui
