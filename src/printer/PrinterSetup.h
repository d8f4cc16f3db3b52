#pragma once
// The printer settings a print run keeps in force: the saved settings (four
// values, alive while the program runs, never written to disk) and the
// print-setup dialog through which the operator chooses printer and paper.
#include "printer/DeviceRecords.h"
#include "printer/Printer.h"

#include <QString>
#include <cstdint>
#include <memory>

class QWidget;

namespace zl::printer {

struct SavedPrinterSettings {
    QString deviceName;
    int16_t paperSize = 0;
    int16_t orientation = 0;
    int16_t paperBin = 0;
};

// The print-setup dialog. It is handed the records built from the current
// printer and, when the operator confirms, leaves the confirmed values in
// them and returns true. Cancel returns false. A dialog that cannot be shown
// at all throws zl::Failure.
class PrintSetupDialog {
public:
    virtual ~PrintSetupDialog() = default;
    virtual bool run(PrintSetupRecords &records, uint32_t flags, QWidget *owner) = 0;
};

// The dialog ShowPrinterSetup and the printer screen use. Until one is
// installed, the dialog counts as failed (ShowPrinterSetup returns false).
void installPrintSetupDialog(std::unique_ptr<PrintSetupDialog> dialog);
PrintSetupDialog *printSetupDialog();

// The records the dialog is handed, built from a printer; a property the
// printer cannot report leaves its field 0 and its flag out.
PrintSetupRecords buildPrintSetupRecords(const Printer *printer);

// Copies device name, paper size, orientation and paper bin of the current
// printer into the saved settings. Throws zl::Failure when there is no current
// printer or it cannot report one of them; the saved settings are then unchanged.
void SavePrinterSettings();

// Makes the first installed printer whose name matches (ignoring letter case)
// current, then sets paper size, orientation and bin, passing over refusals.
// True when the current printer now carries that name. Throws zl::Failure
// when there is no printer at all.
bool ApplyPrinterSettings(const QString &deviceName, int16_t paperSize, int16_t orientation, int16_t paperBin);
bool RestorePrinterSettings();

enum class SetupResult {
    Cancelled,            // cancelled or failed: nothing has changed
    Confirmed,
    ConfirmedPaperRefused, // applied, but the printer refused the paper size
    PrinterNotFound        // the printer chosen is not installed (any more): nothing changed
};
// The work of ShowPrinterSetup without its message: shows the print-setup
// dialog for the current printer and applies what the operator confirmed.
// The screens call zl::ui::ShowPrinterSetup, which also tells the operator
// about a refused paper size.
SetupResult runPrinterSetup(uint32_t flags, QWidget *owner);

// The paper chosen on the printer and paper selection screen (the YOSHI
// code) for a run of the fixed connection type: the current printer takes
// it when it lists it; otherwise it keeps its own paper. True when taken.
bool useLayoutPaper(const QString &paperCode);
// The same for `p`, a run's own printer.
bool useLayoutPaper(const QString &paperCode, Printer &p);

const SavedPrinterSettings &savedPrinterSettings();
// Back to the state at program start (for tests).
void clearSavedPrinterSettings();

// The first installed printer with this name, ignoring letter case, or null.
Printer *findPrinter(const QString &deviceName);

} // namespace zl::printer
