#include "app/ui/ScreenRegistry.h"

#include "info/ui/InfoScreens.h"
#include "printing/ui/ProgressWindow.h"

namespace zl::ui {

void registerAllScreens(ScreenRegistry &registry)
{
    registerInfoScreens(registry);
    registerPrintingScreens(registry);
}

} // namespace zl::ui
