#pragma once
// Where secondary screens open and which keys they answer, the same for
// every screen: the registry applies it to each screen it opens.
#include <QList>
#include <QMargins>
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

// The title bar and borders allowed for around a screen before the window
// manager has drawn any: about what the heaviest common themes draw.
inline constexpr QMargins kFrameAllowance(8, 40, 8, 8);

// The size a screen that wants `wanted` opens at on a desktop whose free
// area is `available`: as wanted where it fits, else as much as fits with
// room for the window's `frame`.
QSize fitToDesktop(QSize wanted, QRect available, QMargins frame = kFrameAllowance);
// Gives `screen` that size on the desktop it opens on; the operator may
// make it larger or smaller afterwards.
void sizeToDesktop(QWidget *screen, QSize wanted);

// Moves `screen` to its place over `host` (or the middle of the desktop
// without one), among the `others` already open, its frame inside the
// desktop: smaller than it asked to be where the desktop has not the room.
// Fitted once more when the window manager has drawn its real frame.
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
