#include "app/platform/PrintCommand.h"

#include "app/Startup.h"
#include "printer/PdfPrinter.h"
#include "printer/PrinterSetup.h"
#include "printing/LabelFields.h"
#include "printing/ProgramRun.h"
#include "settings/SettingsTable.h"

#include <QDir>

namespace zl::app {

namespace {

QString installedNames()
{
    QStringList names;
    if (auto *all = printer::printers())
        for (printer::Printer *p : all->printers())
            names << p->deviceName();
    return names.join(QStringLiteral(", "));
}

} // namespace

int runPrintCommand(const PrintRequest &request, QTextStream &out, QTextStream &err)
{
    // The same start-up as the windows: missing tables are restored from the
    // defaults, and the run then reads the restored copies.
    const StartupView startup = runStartup(QDir::currentPath());
    if (startup.initialised)
        err << QStringLiteral("設定ファイルを初期化しました: %1\n").arg(QDir::toNativeSeparators(settings::folderPath()));

    if (request.printer) {
        printer::Printer *chosen = printer::findPrinter(*request.printer);
        if (!chosen || !printer::printers()) {
            err << QStringLiteral("プリンター「%1」はインストールされていません。インストール済みのプリンター: %2\n")
                       .arg(*request.printer, installedNames());
            if (printer::printers() && !printer::printers()->problem().isEmpty())
                err << printer::printers()->problem() << QLatin1Char('\n');
            return 2;
        }
        printer::printers()->setCurrent(chosen);
    }
    printer::Printer *target = printer::currentPrinter();
    if (!target) {
        err << QStringLiteral("印刷できるプリンターがありません。\n");
        return 1;
    }

    // Without windows there is no print-setup dialog to ask: the variable
    // connection type prints on the chosen (or current) printer as it stands.
    printing::RunHooks hooks;
    int labels = 0;
    if (request.verbose)
        hooks.recordPrepared = [&](int row) {
            const printing::LabelFields &f = printing::sharedLabelFields();
            err << QStringLiteral("%1行目: %2 %3\n").arg(row).arg(f.barcodeValue, f.secondText);
            err.flush();
        };
    printing::ProgramRunServices services(hooks);
    try {
        printing::loadAdjustmentsIntoLabelFields();
        int cap = printing::kLabelsPerOpening;
        int &remaining = printing::sharedLabelFields().remainingLabels;
        const printing::RunResult r = request.from
            ? printing::runPartial(services, cap, remaining, *request.from, *request.to)
            : printing::runContinuous(services, cap, remaining);
        labels = r.printed;
        for (const printing::RowWithoutBarcode &row : r.withoutBarcode)
            err << QStringLiteral("警告: %1行目「%2」はバーコードなしで印刷されました: %3\n")
                       .arg(row.row)
                       .arg(row.value, row.reason);
        out << QStringLiteral("%1枚のラベルを「%2」に印刷しました。").arg(labels).arg(target->deviceName());
        if (r.outcome == printing::RunOutcome::StoppedAtCounter)
            out << QStringLiteral("(1回の印刷は%1枚までです)").arg(printing::kLabelsPerOpening);
        out << QLatin1Char('\n');
        if (auto *pdf = dynamic_cast<printer::PdfPrinter *>(target); pdf && labels > 0)
            out << QStringLiteral("PDFファイルの保存先: %1\n").arg(QDir::toNativeSeparators(pdf->outputFolder()));
        return 0;
    } catch (const Failure &f) {
        err << printing::kRunErrorPrefix << f.description() << QLatin1Char('\n');
        return 1;
    }
}

} // namespace zl::app
