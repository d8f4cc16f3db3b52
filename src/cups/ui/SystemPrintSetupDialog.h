#pragma once
// The print-setup dialog as the operator sees it (QPrintDialog), and the
// print-setup operation the screens call.
#include "printer/PrinterSetup.h"

#include <cstdint>

class QWidget;

namespace zl::ui {

class SystemPrintSetupDialog : public printer::PrintSetupDialog {
public:
    bool run(printer::PrintSetupRecords &records, uint32_t flags, QWidget *owner) override;
};

// Makes the system dialog the one ShowPrinterSetup shows (program start-up).
void installSystemPrintSetupDialog();

// ShowPrinterSetup: the print-setup dialog for the current printer; what the
// operator confirms is applied to the (possibly newly chosen) current
// printer. A refused paper size is reported with "指定された用紙サイズが不正です".
// False when the operator cancelled or the dialog failed; nothing changed then.
bool ShowPrinterSetup(uint32_t flags, QWidget *owner);

} // namespace zl::ui
