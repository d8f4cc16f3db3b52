#include "app/ui/ScreenRegistry.h"

#include "info/ui/InfoScreens.h"

namespace zl::ui {

void registerAllScreens(ScreenRegistry &registry)
{
    registerInfoScreens(registry);
}

} // namespace zl::ui
