#include "printer/PrinterNews.h"

namespace zl::printer {

PrinterInForceNews &PrinterInForceNews::instance()
{
    // One a process: every screen that shows the printer in force listens to it.
    static PrinterInForceNews news;
    return news;
}

} // namespace zl::printer
