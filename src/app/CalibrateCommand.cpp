#include "app/CalibrateCommand.h"

#include "app/CommandLine.h"
#include "common/Failure.h"
#include "layout/Calibration.h"

namespace zl::app {

int runCalibrateCommand(const std::pair<QString, QString> &reading, QTextStream &out, QTextStream &err)
{
    const std::optional<double> x = layout::readingValue(reading.first);
    const std::optional<double> y = layout::readingValue(reading.second);
    if (!x || !y) {
        err << QStringLiteral("--calibrate の値「%1」は数値ではありません。調整用ラベルで読んだ目盛りを mm で指定してください。\n")
                   .arg(x ? reading.second : reading.first);
        return ExitUsage;
    }
    try {
        const layout::Calibrated c = layout::calibrateStored({*x, *y}, layout::fitInForce());
        out << QStringLiteral("印刷位置調整を変更しました: %1\n").arg(c.change());
        return ExitPrinted;
    } catch (const Failure &f) {
        err << f.description() << QStringLiteral("\n印刷位置調整は変更していません。\n");
        return ExitFailed;
    }
}

} // namespace zl::app
