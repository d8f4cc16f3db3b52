#include "printing/RowRange.h"

#include "common/Failure.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace zl::printing {

namespace {

// A row bound as typed: a finite number ("inf" and "1e400" are none).
std::optional<double> rowNumber(const QString &text)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

double rowBound(const QString &text, const char *which)
{
    const std::optional<double> v = rowNumber(text);
    if (!v)
        throw Failure(QStringLiteral("%1の行番号「%2」は数値ではありません。")
                          .arg(QString::fromUtf8(which), text));
    return *v;
}

} // namespace

RowRange rowRange(const QString &first, const QString &last)
{
    const double from = rowBound(first, "開始");
    const double to = rowBound(last, "終了");
    constexpr double kMaxRow = 1e9;
    RowRange r;
    r.first = int(std::ceil(std::clamp(from, 1.0, kMaxRow)));
    r.last = int(std::floor(std::clamp(to, 0.0, kMaxRow)));
    if (r.first > r.last)
        throw Failure(QStringLiteral("印刷する行の範囲（%1行目から%2行目まで）に行がありません。"
                                     "開始には終了より小さい行番号を指定してください。")
                          .arg(first.trimmed(), last.trimmed()));
    return r;
}

} // namespace zl::printing
