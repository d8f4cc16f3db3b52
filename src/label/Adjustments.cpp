#include "label/Adjustments.h"

#include "common/Failure.h"

#include <QLocale>
#include <cmath>

namespace zl::label {

QString adjustmentName(int which)
{
    switch (which) {
    case 0:
        return QStringLiteral("横　位置調整");
    case 1:
        return QStringLiteral("縦　位置調整");
    default:
        return QStringLiteral("フォントサイズ");
    }
}

std::optional<double> adjustmentNumber(const QString &text)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

double adjustmentValue(const QString &text, const QString &what)
{
    if (const std::optional<double> value = adjustmentNumber(text))
        return *value;
    throw Failure(QStringLiteral("%1の値「%2」が数値ではありません。").arg(what, text));
}

bool adjustmentInRange(double value)
{
    return value >= kAdjustmentMin && value <= kAdjustmentMax;
}

int adjustmentPosition(double value)
{
    return int(std::lround(value));
}

} // namespace zl::label
