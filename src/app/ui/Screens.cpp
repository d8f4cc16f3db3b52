#include "app/ui/ScreenRegistry.h"

#include "info/ui/InfoScreens.h"
#include "layout/ui/LayoutScreens.h"

namespace zl::ui {

void registerAllScreens(ScreenRegistry &registry)
{
    registerInfoScreens(registry);
    registerLayoutScreens(registry);
}

} // namespace zl::ui
