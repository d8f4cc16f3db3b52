#include "app/PrintCommand.h"

#include "app/CalibrateCommand.h"
#include "printing/CalibrationRun.h"
#include "datasource/DataSource.h"
#include "pdf/PdfPrinter.h"
#include "printer/PrinterSetup.h"
#include "sheets/SheetChoice.h"
#include "label/LabelFields.h"
#include "label/LabelPreview.h"
#include "printing/ProgramRun.h"
#include "printing/RunReport.h"
#include "settings/Defaults.h"
#include "settings/SettingsTable.h"
#include "settings/StoredSettings.h"

#include <QDir>
#include <algorithm>
#include <climits>
#include <csignal>
#include <memory>

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
// incomplete: what is wrong is settings a start has not finished making (a
// table or the sample missing, a restore cut short), which a start with
// windows completes, rather than a table that is damaged.
QString settingsProblem(bool &incomplete)
{
    using namespace settings;
    incomplete = true;
    if (!interruptedRestore().isEmpty())
        return QStringLiteral("設定の初期化が途中で止まっています。");
    try {
        readLayout();
        readDataSource();
        readAdjustments();
        QuerySettingsTable(kLayoutTable, layoutColumns());
        QuerySettingsTable(kDataSourceTable, dataSourceColumns());
        QuerySettingsTable(kAdjustmentTable, adjustmentColumns());
    } catch (const TableFailure &f) {
        incomplete = f.kind() == TableFailure::Missing;
        return f.description();
    } catch (const Failure &f) {
        incomplete = false;
        return f.description();
    }
    // Printing would only say the data file is missing, as if it were the operator's.
    if (sampleMissing())
        return QStringLiteral("見本のデータファイル %1 がまだ作られていません。")
            .arg(QDir::toNativeSeparators(samplePath()));
    incomplete = false;
    return {};
}

// The rest of the rows, as one run can print them: from the row not printed
// to the range's end or the data's last row, whichever comes first, and no
// more than a run's labels. The data is read only as far as the hint can
// reach, so that a million-row file costs no more here than the run did.
QString resumeHint(int nextRow, const PrintRequest &request)
{
    int last = nextRow + printing::kLabelsPerOpening - 1;
    if (request.from && request.to)
        last = std::min(last, printing::rowRange(*request.from, *request.to).last);
    try {
        const settings::StoredDataSource ds = settings::readDataSource();
        const qsizetype rows = datasource::DataSource::open(ds.folder, ds.file, last).recordCount();
        if (rows >= nextRow)
            last = int(std::min<qsizetype>(last, rows));
    } catch (const Failure &) {
        // The run has said what is wrong with the data; the bound stands.
    }
    return QStringLiteral("続きは zenlabo --print --from %1 --to %2 で印刷できます。").arg(nextRow).arg(last);
}

// SIGINT and SIGTERM ask the run to stop: it sends nothing more, takes back
// the labels not yet printed and says how many came out. A second one ends
// the program at once.
// The run's cancel is a lock-free atomic: safe to set from a signal handler.
printing::RunControl g_control;
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void onInterrupt(int signal)
{
    g_control.cancel = true;
    std::signal(signal, SIG_DFL);
}

struct InterruptHandlers {
    void (*oldInt)(int) = std::signal(SIGINT, onInterrupt);
    void (*oldTerm)(int) = std::signal(SIGTERM, onInterrupt);
    InterruptHandlers()
    {
        g_control.cancel = false;
        g_control.stopAfterLabel = false;
    }
    ~InterruptHandlers()
    {
        std::signal(SIGINT, oldInt);
        std::signal(SIGTERM, oldTerm);
    }
};

} // namespace

int runPrintCommand(const PrintRequest &request, QTextStream &out, QTextStream &err)
{
    // No windows: the command reads its printer as its run does.
    const printer::WaitingAllowed waiting;
    settings::clearStaleFiles();
    bool incomplete = false;
    const QString problem = settingsProblem(incomplete);
    if (!problem.isEmpty() && incomplete) {
        err << QStringLiteral("設定の初期化が済んでいないため、何も印刷しません: %1\n"
                              "画面で zenlabo を起動すると初期化を済ませます。ディスクの空き容量が足りないときは、"
                              "設定フォルダ %2 のあるディスクに空きを作ってから起動してください。\n")
                   .arg(problem, QDir::toNativeSeparators(settings::folderPath()));
        return ExitBadSettings;
    }
    if (!problem.isEmpty()) {
        err << QStringLiteral("設定ファイルがないか壊れているため、何も印刷しません: %1\n"
                              "画面で zenlabo を起動すると設定ファイルを確かめて初期化できます。設定フォルダ: %2\n")
                   .arg(problem, QDir::toNativeSeparators(settings::folderPath()));
        return ExitBadSettings;
    }
    if (request.calibrate)
        return runCalibrateCommand(*request.calibrate, out, err);

    // The sheet is settled before anything is printed: a position off the
    // sheet would otherwise show only once the labels are drawn.
    try {
        if (!request.sheet)
            printer::readSheetChoice();
        if (!request.fit)
            printer::readLabelScale();
    } catch (const Failure &f) {
        err << QStringLiteral("シートの設定が壊れているため、何も印刷しません: %1\n").arg(f.description());
        return ExitBadSettings;
    }
    std::optional<printer::LabelScale> scale;
    if (request.fit)
        scale = *request.fit ? printer::LabelScale::Fit : printer::LabelScale::ActualSize;
    printer::setSheetOverride({request.sheet, request.sheetStart, scale});
    printer::SheetChoice sheet;
    bool storedSheet = false;
    try {
        sheet = printer::runSheetChoice(&storedSheet);
    } catch (const Failure &f) {
        err << f.description() << QLatin1Char('\n');
        return ExitUsage;
    }

    if (request.printer) {
        printer::Printer *chosen = printer::findPrinter(*request.printer);
        if (!chosen && printer::printers() && !printer::printers()->problem().isEmpty()) {
            // Not known to be missing: the printing system did not answer.
            err << QStringLiteral("プリンター「%1」を確かめられないため、何も印刷しません。%2\n")
                       .arg(*request.printer, printer::printers()->problem());
            return ExitFailed;
        }
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
    InterruptHandlers interrupts;
    if (request.verbose) {
        hooks.recordPrepared = [&](int row, const label::LabelFields &f) {
            err << QStringLiteral("%1行目: %2 %3\n").arg(row).arg(f.barcodeValue, f.secondText);
            err.flush();
        };
        auto shown = std::make_shared<std::pair<int, int>>(-1, -1);
        hooks.labelsOut = [&err, shown](int sent, int processed, int out) {
            if (std::pair(processed, out) == *shown)
                return;
            *shown = {processed, out};
            err << QStringLiteral("送信 %1 / 処理済み %2 / 印刷済み %3\n").arg(sent).arg(processed).arg(out);
            err.flush();
        };
        hooks.printerWaiting = [&err](const QString &what) {
            if (what.isEmpty())
                return;
            err << what << QLatin1Char('\n');
            err.flush();
        };
    }
    // Rows that would stop the run (misread, prices that are not numbers)
    // are refused before anything is printed; what else would spoil a
    // label is said, and the run goes on.
    hooks.confirmCheck = [&err](const printing::RunCheck &check) {
        if (!check.refusal.isEmpty())
            throw printing::LabelRefused(check.text(INT_MAX));
        if (check.stops())
            throw Failure(check.text(INT_MAX));
        for (const printing::RunCheck::Problem &p : check.warnings)
            if (!p.text.startsWith(QStringLiteral("バーコードなし")))
                err << QStringLiteral("警告: %1行目: %2\n").arg(p.row).arg(p.text);
        return true;
    };
    auto pdfNote = [&](int labels) {
        if (auto *pdf = dynamic_cast<printer::PdfPrinter *>(target); pdf && labels > 0 && !pdf->lastDocumentPath().isEmpty())
            out << QStringLiteral("PDFファイル: %1\n").arg(QDir::toNativeSeparators(pdf->lastDocumentPath()));
    };
    try {
        printing::loadAdjustmentsIntoLabelFields();
        std::optional<printing::RunContext> context =
            request.printCalibration ? printing::prepareCalibration(hooks) : printing::prepareRun(hooks);
        if (!context) // no dialog to decline without windows
            return ExitFailed;
        if (request.printCalibration) {
            const printing::RunResult r = printing::printCalibration(std::move(*context), g_control, hooks);
            if (r.outcome == printing::RunOutcome::Cancelled || r.printed < r.wanted) {
                err << QStringLiteral("調整用ラベルの印刷を中断しました。\n");
                return ExitFailed;
            }
            out << QStringLiteral("調整用ラベルを「%1」に印刷しました。%2\n").arg(target->deviceName(), printing::calibrationInstructions());
            pdfNote(r.printed);
            return ExitPrinted;
        }
        printing::ProgramRunServices services(std::move(*context), g_control, hooks);
        int cap = printing::kLabelsPerOpening;
        int remaining = 0;
        const printing::RunResult r = request.from
            ? printing::runPartial(services, cap, remaining, *request.from, *request.to)
            : printing::runContinuous(services, cap, remaining);
        const printing::GoOnFrom goOn = [&](int row) { return resumeHint(row, request); };
        for (const printing::RowWithoutBarcode &row : r.withoutBarcode)
            if (r.rowsOut.contains(row.row))
                err << QStringLiteral("警告: %1行目「%2」はバーコードなしで印刷されました: %3\n")
                           .arg(row.row)
                           .arg(row.value, row.reason);
        if (r.outcome == printing::RunOutcome::Cancelled) {
            err << QStringLiteral("印刷を中断しました。");
            // Only labels known to have come out are said to be printed.
            if (r.unknown == 0) {
                err << QStringLiteral("%1枚のラベルを「%2」に印刷しました。").arg(r.printed).arg(target->deviceName());
                if (r.nextRow > 0)
                    err << resumeHint(r.nextRow, request);
                if (!r.twiceRows.isEmpty())
                    err << printing::progressText({0, 0, {}, r.twiceRows});
            } else {
                err << printing::progressText(r.tally(), goOn);
            }
            err << QLatin1Char('\n');
            pdfNote(r.printed);
            return ExitFailed;
        }
        if (r.wanted == 0 && r.outcome == printing::RunOutcome::Finished) {
            err << QStringLiteral("データに印刷する行がないため、ラベルは1枚も印刷していません。\n");
            return ExitNothingToPrint;
        }
        out << QStringLiteral("%1枚のラベルを「%2」に印刷しました。").arg(r.printed).arg(target->deviceName());
        const bool stoppedAtCap = r.nextRow > 0
            && (r.outcome == printing::RunOutcome::StoppedAtCounter || r.outcome == printing::RunOutcome::CapExhausted);
        if (stoppedAtCap)
            out << QStringLiteral("1回の印刷は%1枚までのため、%2行目の前で止めました。%3")
                       .arg(printing::kLabelsPerOpening)
                       .arg(r.nextRow)
                       .arg(resumeHint(r.nextRow, request));
        out << QLatin1Char('\n');
        if (!r.twiceRows.isEmpty())
            err << QStringLiteral("警告: ") << printing::progressText({0, 0, {}, r.twiceRows}) << QLatin1Char('\n');
        pdfNote(r.printed);
        if (sheet.sheet() && r.printed > 0) {
            out << QStringLiteral("シート「%1」の%2番目の位置から並べました。").arg(sheet.sheet()->name).arg(sheet.start);
            if (storedSheet)
                out << QStringLiteral("次の印刷は%1番目の位置から始めます。").arg(printer::readSheetChoice().start);
            out << QLatin1Char('\n');
        }
        return stoppedAtCap ? ExitStoppedAtCap : ExitPrinted;
    } catch (const printing::RunFailure &f) {
        err << printing::kRunErrorPrefix << f.cause() << QLatin1Char('\n');
        if (f.unknown() > 0 || !f.tally().twice.isEmpty())
            err << printing::progressText(f.tally(), [&](int row) { return resumeHint(row, request); }) << QLatin1Char('\n');
        else if (f.printed() > 0 && f.nextRow() > 0)
            err << QStringLiteral("%1枚のラベルを印刷したところで止まりました。%2\n").arg(f.printed()).arg(resumeHint(f.nextRow(), request));
        else if (f.nextRow() > 0)
            err << QStringLiteral("ラベルは1枚も印刷していません。%1\n").arg(resumeHint(f.nextRow(), request));
        else if (f.printed() > 0)
            err << QStringLiteral("%1枚のラベルを印刷しました。指定の行はすべて印刷済みです。\n").arg(f.printed());
        else
            err << QStringLiteral("ラベルは1枚も印刷していません。\n");
        return ExitFailed;
    } catch (const printing::LabelRefused &f) {
        err << f.description() << QLatin1Char('\n') << QStringLiteral("ラベルは1枚も印刷していません。\n");
        return ExitUnreadableLabel;
    } catch (const printing::NothingToPrint &f) {
        err << f.description() << QLatin1Char('\n') << QStringLiteral("ラベルは1枚も印刷していません。\n");
        return ExitNothingToPrint;
    } catch (const Failure &f) {
        err << printing::kRunErrorPrefix << f.description() << QLatin1Char('\n');
        err << QStringLiteral("ラベルは1枚も印刷していません。\n");
        return ExitFailed;
    }
}

int listSheets(QTextStream &out)
{
    for (const printer::SheetTemplate &s : printer::sheetTemplates())
        out << QStringList{s.id, s.maker, s.part, s.paperName, s.labelSizeText(), QString::number(s.positions()),
                           s.description}
                   .join(QLatin1Char('\t'))
            << QLatin1Char('\n');
    return ExitPrinted;
}

} // namespace zl::app
