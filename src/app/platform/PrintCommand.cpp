#include "app/platform/PrintCommand.h"

#include "printer/PdfPrinter.h"
#include "printer/PrinterSetup.h"
#include "printing/LabelFields.h"
#include "printing/LabelPreview.h"
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

// The tables a run reads, read as the run will read them. The command line
// never restores the defaults: an unattended run on sample data, or a
// dealer's set copied over the shop's, would print labels nobody asked for.
QString settingsProblem()
{
    using namespace settings;
    try {
        ReadSettingsRecords(kLayoutTable, 4);
        ReadSettingsRecords(kDataSourceTable, 2);
        ReadSettingsRecords(kAdjustmentTable, 99);
        QuerySettingsTable(kLayoutTable, layoutColumns());
        QuerySettingsTable(kDataSourceTable, dataSourceColumns());
        QuerySettingsTable(kAdjustmentTable, adjustmentColumns());
    } catch (const Failure &f) {
        return f.description();
    }
    return {};
}

QString resumeHint(int nextRow)
{
    return QStringLiteral("続きは zenlabo --print --from %1 --to (最後の行) で印刷できます。").arg(nextRow);
}

} // namespace

int runPrintCommand(const PrintRequest &request, QTextStream &out, QTextStream &err)
{
    const QString problem = settingsProblem();
    if (!problem.isEmpty()) {
        err << QStringLiteral("設定ファイルがないか壊れているため、何も印刷しません: %1\n"
                              "画面で zenlabo を起動すると設定ファイルを確かめて初期化できます。設定フォルダ: %2\n")
                   .arg(problem, QDir::toNativeSeparators(settings::folderPath()));
        return ExitBadSettings;
    }

    if (request.printer) {
        printer::Printer *chosen = printer::findPrinter(*request.printer);
        if (!chosen || !printer::printers()) {
            err << QStringLiteral("プリンター「%1」はインストールされていません。インストール済みのプリンター: %2\n")
                       .arg(*request.printer, installedNames());
            if (printer::printers() && !printer::printers()->problem().isEmpty())
                err << printer::printers()->problem() << QLatin1Char('\n');
            return ExitNoSuchPrinter;
        }
        printer::printers()->setCurrent(chosen);
    }
    printer::Printer *target = printer::currentPrinter();
    if (!target) {
        err << QStringLiteral("印刷できるプリンターがありません。\n");
        return ExitFailed;
    }

    if (const QString notice = target->printingNotice(); !notice.isEmpty()) {
        err << QStringLiteral("注意: ") << notice << QLatin1Char('\n');
        err.flush();
    }

    // Without windows there is no print-setup dialog to ask: the variable
    // connection type prints on the chosen (or current) printer as it stands.
    printing::RunHooks hooks;
    hooks.recordPrepared = [&](int row) {
        const printing::LabelFields &f = printing::sharedLabelFields();
        if (request.verbose)
            err << QStringLiteral("%1行目: %2 %3\n").arg(row).arg(f.barcodeValue, f.secondText);
        // What the preview would show in red on the screens: the label is
        // drawn once more on the paper in force, without printing it. A
        // partial run reads the rows outside its range too; they do not print.
        const bool printed = !request.from || (request.from->toInt() <= row && row <= request.to.value_or(QString()).toInt());
        if (printer::Printer *p = printer::currentPrinter(); p && printed) {
            const printing::LabelPreview preview =
                printing::previewLabel(f, p->pageGeometry(), layout::currentTitles());
            if (preview.failure.isEmpty())
                for (const QString &warning : preview.warnings())
                    err << QStringLiteral("警告: %1行目: %2\n").arg(row).arg(warning);
        }
        err.flush();
    };
    printing::ProgramRunServices services(hooks);
    auto pdfNote = [&](int labels) {
        if (auto *pdf = dynamic_cast<printer::PdfPrinter *>(target); pdf && labels > 0 && !pdf->lastDocumentPath().isEmpty())
            out << QStringLiteral("PDFファイル: %1\n").arg(QDir::toNativeSeparators(pdf->lastDocumentPath()));
    };
    try {
        printing::loadAdjustmentsIntoLabelFields();
        int cap = printing::kLabelsPerOpening;
        int &remaining = printing::sharedLabelFields().remainingLabels;
        const printing::RunResult r = request.from
            ? printing::runPartial(services, cap, remaining, *request.from, *request.to)
            : printing::runContinuous(services, cap, remaining);
        for (const printing::RowWithoutBarcode &row : r.withoutBarcode)
            err << QStringLiteral("警告: %1行目「%2」はバーコードなしで印刷されました: %3\n")
                       .arg(row.row)
                       .arg(row.value, row.reason);
        out << QStringLiteral("%1枚のラベルを「%2」に印刷しました。").arg(r.printed).arg(target->deviceName());
        const bool stoppedAtCap = r.nextRow > 0
            && (r.outcome == printing::RunOutcome::StoppedAtCounter || r.outcome == printing::RunOutcome::CapExhausted);
        if (stoppedAtCap)
            out << QStringLiteral("1回の印刷は%1枚までのため、%2行目の前で止めました。%3")
                       .arg(printing::kLabelsPerOpening)
                       .arg(r.nextRow)
                       .arg(resumeHint(r.nextRow));
        out << QLatin1Char('\n');
        pdfNote(r.printed);
        return stoppedAtCap ? ExitStoppedAtCap : ExitPrinted;
    } catch (const printing::RunFailure &f) {
        err << printing::kRunErrorPrefix << f.cause() << QLatin1Char('\n');
        if (f.printed() > 0 && f.nextRow() > 0)
            err << QStringLiteral("%1枚のラベルを印刷したところで止まりました。%2\n").arg(f.printed()).arg(resumeHint(f.nextRow()));
        else if (f.printed() > 0)
            err << QStringLiteral("%1枚のラベルを印刷しました。指定の行はすべて印刷済みです。\n").arg(f.printed());
        else
            err << QStringLiteral("ラベルは1枚も印刷していません。\n");
        return ExitFailed;
    } catch (const Failure &f) {
        err << printing::kRunErrorPrefix << f.description() << QLatin1Char('\n');
        err << QStringLiteral("ラベルは1枚も印刷していません。\n");
        return ExitFailed;
    }
}

} // namespace zl::app
