#pragma once
// Where secondary screens open and which keys they answer, the same for
// every screen: the registry applies it to each screen it opens.
#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

class QPushButton;
class QWidget;

namespace zl::ui {

// Where a screen of `size` opens: centred over `hostArea` (the main
// window), never above `hostTop` (the lower edge of its menu bar), a step down
// and right of any open screen whose corner is near that place, inside `available`
// (the desktop without its panels) however small that is.
QPoint screenPlace(QSize size, QRect hostArea, int hostTop, QRect available, const QList<QPoint> &taken);

// The size a screen that wants `wanted` opens at on a desktop whose free
// area is `available`: as wanted where it fits, else as much as fits with
// room for the window's frame.
QSize fitToDesktop(QSize wanted, QRect available);
// Gives `screen` that size on the desktop it opens on; the operator may
// make it larger or smaller afterwards.
void sizeToDesktop(QWidget *screen, QSize wanted);

// Moves `screen` to its place over `host` (or the middle of the desktop
// without one), among the `others` already open.
void placeScreen(QWidget *screen, QWidget *host, const QList<QWidget *> &others);

// Esc closes the screen; Return or Enter in one of its fields clicks its
// default button, and on a button clicks that button.
void installScreenKeys(QWidget *screen);

// Marks the button Return and Enter press on its screen.
void setDefaultButton(QPushButton *button);

// Tab visits the window's controls as they are read: row by row from the
// top, left to right within a row.
void orderTabsByPlace(QWidget *window);

} // namespace zl::ui
