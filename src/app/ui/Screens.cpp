#include "app/ui/ScreenRegistry.h"

#include "info/ui/InfoScreens.h"
#include "printer/ui/PrinterScreens.h"

namespace zl::ui {

void registerAllScreens(ScreenRegistry &registry)
{
    registerInfoScreens(registry);
    registerPrinterScreens(registry);
}

} // namespace zl::ui
