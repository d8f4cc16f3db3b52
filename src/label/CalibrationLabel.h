#pragma once
// The calibration label: two scales, a cross and the label's outline, drawn
// where a label would print on the stock in use. The operator reads where
// the stock's left and top edges fall on the scales and types the two
// numbers back; those numbers are the millimetres the print must move
// (right and down) for the label's edge to meet the stock's.
#include "label/LabelFit.h"
#include "printer/Printer.h"

#include <QPicture>
#include <QPointF>
#include <QRectF>
#include <QString>

namespace zl::label {

inline const QString kReadLeftEdge = QStringLiteral("用紙の左端が指す目盛り");
inline const QString kReadTopEdge = QStringLiteral("用紙の上端が指す目盛り");

// How far the scales run past the label's edges, where the printable area
// reaches that far: a stock shifted by a few millimetres still meets a number.
constexpr double kScaleOverrunMm = 5;
// The scales' baselines, in from the label's top and left edges: away from
// the corner, so the edge being read never meets the other scale.
constexpr double kScaleInsetMm = 11;

// What an adjustment (in the layout's millimetres, as stored) moves the
// print by on the page, and back: a fitted layout moves by its scale, a
// turned one along the page's other axis.
QPointF pageShift(const LabelFit &fit, QPointF layoutMm);
QPointF layoutShift(const LabelFit &fit, QPointF pageMm);

// Where the label's edges lie on `page` (millimetres from the printable
// corner) when the print is moved by `adjustment` (layout millimetres).
QRectF calibrationOutline(const printer::PageGeometry &page, const LabelFit &fit, QPointF adjustment);

// One page of the calibration label for `page`, drawn as the renderer's
// pages are (millimetres from the printable corner), every tick on whole
// dots of the page's device and nothing outside the printable area.
QPicture calibrationPage(const printer::PageGeometry &page, const LabelFit &fit, QPointF adjustment);

} // namespace zl::label
