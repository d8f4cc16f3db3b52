#include "printer/ui/SystemPrintSetupDialog.h"

#include "ui/Dialogs.h"
#include "printer/platform/PrintSetupMapping.h"

#include <QPrintDialog>
#include <QPrinter>

namespace zl::ui {

bool SystemPrintSetupDialog::run(printer::PrintSetupRecords &records, uint32_t flags, QWidget *owner)
{
    using namespace printer;
    QPrinter qprinter(QPrinter::HighResolution);
    configureFromRecords(qprinter, records);
    QPrintDialog dialog(&qprinter, owner);
    dialog.setWindowTitle(QStringLiteral("プリンターの設定"));
    QAbstractPrintDialog::PrintDialogOptions options = QAbstractPrintDialog::PrintShowPageSize;
    if (!(flags & PD_NOSELECTION))
        options |= QAbstractPrintDialog::PrintSelection;
    if (!(flags & PD_NOPAGENUMS))
        options |= QAbstractPrintDialog::PrintPageRange;
    if (!(flags & PD_HIDEPRINTTOFILE))
        options |= QAbstractPrintDialog::PrintToFile;
    // The print-setup form chooses a printer and its paper; copies are the
    // print run's business.
    if (!(flags & PD_PRINTSETUP))
        options |= QAbstractPrintDialog::PrintCollateCopies;
    dialog.setOptions(options);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    readBackIntoRecords(qprinter, records);
    return true;
}

void installSystemPrintSetupDialog()
{
    printer::installPrintSetupDialog(std::make_unique<SystemPrintSetupDialog>());
}

bool ShowPrinterSetup(uint32_t flags, QWidget *owner)
{
    const printer::SetupResult result = printer::runPrinterSetup(flags, owner);
    if (result == printer::SetupResult::ConfirmedPaperRefused)
        showMessage(owner, QStringLiteral("指定された用紙サイズが不正です"), QStringLiteral("プリンタの設定"), OkOnly);
    return result != printer::SetupResult::Cancelled;
}

} // namespace zl::ui
