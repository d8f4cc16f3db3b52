#pragma once
#include <QWidget>

namespace zl::ui {

class ScreenRegistry;

// Form3 (output layout selection) and Form13 (print position adjustment).
void registerLayoutScreens(ScreenRegistry &registry);

// Each reads its table first; when that fails the operator is told why and
// no screen opens (null is returned).
QWidget *createLayoutSelectionScreen(QWidget *host);
QWidget *createPrintPositionScreen(QWidget *host);

} // namespace zl::ui
