#include "printing/ui/CalibrationPrinting.h"

#include "common/Failure.h"
#include "printer/Printer.h"
#include "printing/CalibrationRun.h"
#include "printing/RunThread.h"
#include "printing/ui/PrinterHooks.h"

#include <QObject>
#include <QWidget>
#include <memory>

namespace zl::ui {

namespace {

// The run's thread, kept by the screen that started it: gone with it.
class CalibrationRunHolder : public QObject {
public:
    explicit CalibrationRunHolder(QObject *owner) : QObject(owner) {}
    ~CalibrationRunHolder() override { thread.reset(); }
    printing::RunControl control;
    std::unique_ptr<printing::RunThread> thread;
};

} // namespace

void printCalibrationLabel(QWidget *owner, const std::function<void(const QString &)> &said)
{
    std::optional<printing::RunContext> context;
    try {
        const printer::WaitingAllowed waiting;
        context = printing::prepareCalibration(printerSetupHooks(owner));
    } catch (const Failure &failure) {
        said(QStringLiteral("調整用ラベルを印刷できません: ") + failure.description());
        return;
    }
    if (!context) {
        said({});
        return;
    }
    auto *holder = new CalibrationRunHolder(owner);
    holder->thread = std::make_unique<printing::RunThread>(holder->control);
    holder->thread->start(
        [context = std::make_shared<printing::RunContext>(std::move(*context)), &control = holder->control] {
            return printing::printCalibration(std::move(*context), control, {});
        },
        [holder, said](const printing::RunEnd &end) {
            QString text;
            try {
                if (end.error)
                    std::rethrow_exception(end.error);
                const printing::RunResult &r = end.result;
                text = r.printed > 0 && r.printed == r.wanted
                    ? QStringLiteral("調整用ラベルを印刷しました。") + printing::calibrationInstructions()
                    : QStringLiteral("調整用ラベルの印刷を中断しました。");
            } catch (const Failure &failure) {
                text = QStringLiteral("調整用ラベルを印刷できませんでした: ") + failure.description();
            }
            holder->deleteLater();
            said(text);
        });
}

} // namespace zl::ui
