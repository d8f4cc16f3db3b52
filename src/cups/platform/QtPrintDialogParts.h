#pragma once
// The parts of Qt's own print dialog that the print-setup form reaches by
// name. Qt does not publish them, so an upgrade of Qt may rename them: every
// name is here, each is looked up with a check, and what is not found is
// listed (a test names it; the program leaves that part as Qt made it).
#include <QStringList>
#include <optional>

class QObject;

namespace zl::printer::qtdialog {

// In the print dialog.
inline constexpr char kPrinterList[] = "printers";          // the queues' combo box
inline constexpr char kPropertiesButton[] = "properties";   // opens the printer properties
inline constexpr char kLocation[] = "location";             // the chosen printer's location
inline constexpr char kType[] = "type";                     // the chosen printer's make and model
inline constexpr char kTabs[] = "tabs";                     // its options' tabs
inline constexpr char kCopies[] = "copies";                 // on the tab of copies and page order
inline const char *const kRunOnlyParts[] = {"groupBox", "gbPrintRange", "preview"}; // copies, page range, preview
inline const char *const kOutputFile[] = {"filename", "fileBrowser", "lOutput"};

// In the printer properties dialog.
inline constexpr char kPropertiesDialogClass[] = "QPrintPropertiesDialog";
inline constexpr char kPageSetup[] = "pageSetup";
inline constexpr char kPaperList[] = "pageSizeCombo";
inline const char *const kPageSetupRunParts[] = {"groupBox", "pagesPerSheetButtonGroup"}; // margins, pages per sheet
inline constexpr char kJobOptions[] = "QCupsJobWidget";     // the job's scheduling
// The property on each driver option's combo box that holds its PPD option.
inline constexpr char kPpdOptionProperty[] = "_q_ppd_option";

// The driver option one of the properties' combo boxes stands for: its PPD
// keyword and its choices, indexed by the box's item data. None when the
// box carries no PPD option (or one of a type this program cannot read).
struct DriverOption {
    QString keyword;
    QStringList choices;
};
std::optional<DriverOption> driverOptionOf(const QObject *box);

// The names above that a shown print dialog lacks, as "name (what it is)".
QStringList missingInPrintDialog(const QObject &dialog);
// Likewise for a shown properties dialog; with driverOptions, also the PPD
// option property when no combo box carries a readable one (a queue with a
// PPD that has options of its own).
QStringList missingInPropertiesDialog(const QObject &dialog, bool driverOptions);

} // namespace zl::printer::qtdialog
