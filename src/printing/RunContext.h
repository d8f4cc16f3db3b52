#pragma once
// A print run as a value: everything it needs from the program, read on the
// windows' thread when it starts and handed to the thread it prints on, and
// the only things the windows may still say to it while it prints.
#include "datasource/DataFileLocation.h"
#include "label/LabelFields.h"
#include "label/LabelTitles.h"
#include "printer/Printer.h"
#include "sheets/SheetChoice.h"
#include "printing/PrintRun.h"
#include "settings/StoredSettings.h"

#include <atomic>
#include <memory>
#include <optional>

namespace zl::printing {

struct RunControl {
    // The progress window's cancel: the label being drawn is discarded and
    // what the printer has not printed yet is taken back.
    std::atomic<bool> cancel{false};
    // The screen closing mid-run: the label being printed is the last.
    std::atomic<bool> stopAfterLabel{false};
};

struct RunContext {
    LayoutChoice layout;
    label::Titles titles;
    // The adjustments (adjustX, adjustY, adjustS) every label is drawn with.
    label::LabelFields adjustments;
    // The printer current when the run started, with its settings then,
    // whatever becomes current or is set meanwhile: made on the run's thread,
    // the run's alone. Empty when no printer is current.
    printer::RunPrinterMaker makePrinter;
    QString printerName; // for the messages of the windows
    // The layout's own paper, taken by the run's printer only: the printer
    // the windows show keeps the paper it has, the one a restart shows too.
    std::optional<QString> fixedPaper;
    // Why it may not be the printer the operator set up; the run refuses.
    QString printerProblem;
    printer::SheetChoice sheet;
    bool sheetStored = false; // the stored choice, whose first free position moves on
    printer::LabelScale scale = printer::LabelScale::Fit;
    // The sheet table could not be read: the run refuses before its first
    // label, saying this.
    QString sheetProblem;
    // DB1 and DB2 of the data-source table; the file is read by the run.
    settings::StoredDataSource dataSource;
    QString dataSourceProblem; // the table could not be read: the run says this
    // The data file as the operator saw it (a screen's grid): a run that
    // finds another version refuses before its first label.
    std::optional<datasource::DataFileStamp> expectedData;
};

// What the run needs now, for `layout`, on the printer set up for it:
// the titles as the output-layout screen shows them while it is open (saved
// or not), else as stored; the adjustments the print screens hold; the
// current printer; the sheet and the scale. Throws zl::Failure when the
// titles cannot be read.
RunContext gatherRunContext(const LayoutChoice &layout);

} // namespace zl::printing
