#include "printer/platform/SystemPrinters.h"

#include "printer/platform/CupsPrinter.h"

#include <QPrinterInfo>

namespace zl::printer {

std::unique_ptr<PrinterCollection> systemPrinters(std::unique_ptr<Printer> builtInPdf)
{
    const QStringList queues = QPrinterInfo::availablePrinterNames();
    const QString defaultQueue = QPrinterInfo::defaultPrinterName();
    std::vector<std::unique_ptr<Printer>> list;
    int current = -1;
    for (const QString &name : queues) {
        if (current < 0 && !defaultQueue.isEmpty() && name == defaultQueue)
            current = int(list.size());
        list.push_back(std::make_unique<CupsPrinter>(name));
    }
    if (builtInPdf) {
        if (current < 0)
            current = int(list.size());
        list.push_back(std::move(builtInPdf));
    }
    if (current < 0)
        current = 0;
    return std::make_unique<OwnedPrinterCollection>(std::move(list), current);
}

void installSystemPrinters(std::unique_ptr<Printer> builtInPdf)
{
    installPrinters(systemPrinters(std::move(builtInPdf)));
}

} // namespace zl::printer
