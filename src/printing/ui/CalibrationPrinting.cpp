#include "printing/ui/CalibrationPrinting.h"

#include "common/Failure.h"
#include "printer/Printer.h"
#include "printing/CalibrationRun.h"
#include "printing/RunThread.h"
#include "printing/ui/PrinterHooks.h"

namespace zl::ui {

QString printCalibrationLabel(QWidget *owner)
{
    std::optional<printing::RunContext> context;
    try {
        const printer::WaitingAllowed waiting;
        context = printing::prepareCalibration(printerSetupHooks(owner));
    } catch (const Failure &failure) {
        return QStringLiteral("調整用ラベルを印刷できません: ") + failure.description();
    }
    if (!context)
        return {};
    try {
        printing::RunControl control;
        const printing::RunResult r = printing::runOffThisThread(
            [&] { return printing::printCalibration(std::move(*context), control, {}); }, &control);
        return r.printed > 0 && r.printed == r.wanted
            ? QStringLiteral("調整用ラベルを印刷しました。") + printing::calibrationInstructions()
            : QStringLiteral("調整用ラベルの印刷を中断しました。");
    } catch (const Failure &failure) {
        return QStringLiteral("調整用ラベルを印刷できませんでした: ") + failure.description();
    }
}

} // namespace zl::ui
