#pragma once
// Printing without windows, for shop systems and scripts:
//   zenlabo --print [--from N --to M] [--printer NAME] [--sheet ID|none] [--sheet-start N]
//                   [--fit|--actual-size] [--verbose]
//   zenlabo --print-calibration [--printer NAME] [--sheet ID|none] [--fit|--actual-size]
//   zenlabo --calibrate X Y
//   zenlabo --list-sheets | --help | --version
#include <QString>
#include <QStringList>
#include <optional>
#include <utility>

namespace zl::app {

struct PrintRequest {
    bool print = false;       // without --print the program starts its windows
    std::optional<QString> from;
    std::optional<QString> to;
    std::optional<QString> printer;
    // A label sheet for this run instead of the stored one (empty: none),
    // and the first free position on it.
    std::optional<QString> sheet;
    std::optional<int> sheetStart;
    // The layout fitted to the label (true) or at its own size (false) for
    // this run instead of the stored choice.
    std::optional<bool> fit;
    bool verbose = false;
    // The calibration label instead of the data's labels.
    bool printCalibration = false;
    // The two numbers read off it (left edge, top edge), as typed.
    std::optional<std::pair<QString, QString>> calibrate;
    bool help = false;
    bool version = false;
    bool listSheets = false;
};

// Exit statuses of the command line.
enum ExitStatus {
    ExitPrinted = 0,        // every label of the data (or the range) printed
    ExitFailed = 1,         // the run failed or was interrupted; how far it got is said
    ExitNoSuchPrinter = 2,  // --printer names no installed printer
    ExitStoppedAtCap = 3,   // the 300-label limit stopped the run; the next row is said
    ExitBadSettings = 4,    // a settings table is missing or damaged; nothing printed
    ExitNothingToPrint = 5, // the data (or the range) has no rows; nothing printed
    ExitUnreadableLabel = 6, // the barcode would not scan on this stock; nothing printed
    ExitUsage = 64,         // words the command line does not know
};

// Whether the arguments ask for the command line at all: only --print,
// --print-calibration, --calibrate, --list-sheets, --help and --version do.
// Anything else, Qt's own options included, opens the windows.
bool wantsCommandLine(const QStringList &arguments);

// Throws zl::Failure with a usage message on words it does not know.
PrintRequest parseCommandLine(const QStringList &arguments);

QString usageText();

} // namespace zl::app
