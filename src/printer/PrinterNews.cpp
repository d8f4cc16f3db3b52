#include "printer/PrinterNews.h"

namespace zl::printer {

PrinterInForceNews &PrinterInForceNews::instance()
{
    static PrinterInForceNews news;
    return news;
}

} // namespace zl::printer
