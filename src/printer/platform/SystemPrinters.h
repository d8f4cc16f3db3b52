#pragma once
// The installed printers as the program starts: the CUPS queues in the order
// the printing system lists them, then the built-in PDF printer.
#include "printer/Printer.h"

#include <memory>

namespace zl::printer {

// The default queue is current; with no queue or no default queue the
// built-in PDF printer is, so the operator can always print somewhere.
// builtInPdf may be null (then only the queues are listed).
std::unique_ptr<PrinterCollection> systemPrinters(std::unique_ptr<Printer> builtInPdf);
void installSystemPrinters(std::unique_ptr<Printer> builtInPdf);

} // namespace zl::printer
