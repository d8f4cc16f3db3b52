#include "printing/RunContext.h"

#include "layout/Titles.h"

namespace zl::printing {

RunContext gatherRunContext(const LayoutChoice &layout)
{
    RunContext c;
    c.layout = layout;
    c.titles = layout::currentTitles();
    // Only the adjustments: the record the screens show is not the run's.
    const label::LabelFields &held = label::sharedLabelFields();
    c.adjustments.adjustX = held.adjustX;
    c.adjustments.adjustY = held.adjustY;
    c.adjustments.adjustS = held.adjustS;
    if (const printer::Printer *current = printer::currentPrinter()) {
        c.makePrinter = current->runPrinterMaker();
        c.printerName = current->deviceName();
    }
    if (printer::PrinterCollection *all = printer::printers())
        c.printerProblem = all->currentProblem();
    try {
        c.sheet = printer::runSheetChoice(&c.sheetStored);
        c.scale = printer::runLabelScale();
    } catch (const Failure &f) {
        c.sheetProblem = f.description();
    }
    try {
        c.dataSource = settings::readDataSource();
    } catch (const Failure &f) {
        c.dataSourceProblem = f.description();
    }
    return c;
}

} // namespace zl::printing
