#include "printing/ui/PrinterHooks.h"

#include "printer/PrinterSetup.h"
#include "cups/ui/SystemPrintSetupDialog.h"

namespace zl::ui {

namespace {
constexpr uint32_t kPrintSetupFlag = 0x40; // the print-setup form of the dialog
}

printing::RunHooks printerSetupHooks(QWidget *owner)
{
    printing::RunHooks hooks;
    hooks.restorePrinterSettings = [] { printer::RestorePrinterSettings(); };
    hooks.showPrinterSetup = [owner] { return ShowPrinterSetup(kPrintSetupFlag, owner); };
    hooks.savePrinterSettings = [] { printer::SavePrinterSettings(); };
    return hooks;
}

} // namespace zl::ui
