#include "layout/Calibration.h"

#include "common/Failure.h"
#include "label/Adjustments.h"
#include "label/CalibrationLabel.h"
#include "paper/PaperSelection.h"

#include <QLocale>
#include <cmath>

namespace zl::layout {

QString tenthsText(double value)
{
    const long tenths = std::lround(value * 10);
    if (tenths % 10 == 0)
        return QString::number(tenths / 10);
    return QStringLiteral("%1%2.%3").arg(tenths < 0 ? QStringLiteral("-") : QString()).arg(std::labs(tenths) / 10).arg(std::labs(tenths) % 10);
}

std::optional<double> readingValue(const QString &text)
{
    const std::optional<double> v = label::adjustmentNumber(QString(text).replace(QLatin1Char(','), QLatin1Char('.')));
    if (!v)
        return std::nullopt;
    return std::round(*v * 10) / 10;
}

QString Calibrated::change() const
{
    QStringList parts;
    for (int i = 0; i < 2; ++i)
        parts << QStringLiteral("%1 %2 → %3").arg(label::adjustmentName(i), before[i], after[i]);
    return parts.join(QStringLiteral("、"));
}

Calibrated calibrate(const QStringList &values, QPointF reading, const label::LabelFit &fit)
{
    const QPointF move = label::layoutShift(fit, reading);
    const double by[2] = {move.x(), move.y()};
    Calibrated c;
    c.values = values;
    for (int i = 0; i < 2; ++i) {
        const QString name = label::adjustmentName(i);
        c.before[i] = values.value(kFirstAdjustmentColumn + i);
        const double now = label::adjustmentValue(c.before[i], name);
        const double next = std::round((now + by[i]) * 10) / 10;
        if (!label::adjustmentInRange(next))
            throw Failure(QStringLiteral("%1が %2 になり、%3 から %4 の範囲を外れるため反映しません"
                                         "（今の値は %5）。目盛りの読みを確かめてください。")
                              .arg(name, tenthsText(now + by[i]))
                              .arg(label::kAdjustmentMin)
                              .arg(label::kAdjustmentMax)
                              .arg(c.before[i]));
        // An unchanged value keeps its text as stored.
        c.after[i] = next == now ? c.before[i] : tenthsText(next);
        c.values[kFirstAdjustmentColumn + i] = c.after[i];
    }
    return c;
}

label::LabelFit fitInForce()
{
    if (const std::optional<printer::PageGeometry> page = printer::pageInForce())
        return label::fitLabel(*page, printer::labelScaleInForce());
    return {};
}

Calibrated calibrateStored(QPointF reading, const label::LabelFit &fit)
{
    const AdjustmentLoad load = loadAdjustments();
    if (!load.problems.isEmpty())
        throw Failure(load.problems.join(QLatin1Char('\n')));
    Calibrated c = calibrate(load.values, reading, fit);
    saveAdjustments(c.values, load.stored);
    return c;
}

} // namespace zl::layout
