#pragma once
// The calibration label printed from the print position screen: a run on
// the printer, paper and sheet in use, off the windows' thread.
#include <QString>
#include <functional>

class QWidget;

namespace zl::ui {

// Starts the run; `said` is told, on the windows' thread, what the screen
// `owner` says afterwards (empty when the operator cancelled the
// print-setup dialog). A run still printing when `owner` goes is cancelled.
void printCalibrationLabel(QWidget *owner, const std::function<void(const QString &)> &said);

} // namespace zl::ui
