#include "app/ui/ScreenRegistry.h"

#include "datasource/ui/DataSourceScreens.h"
#include "info/ui/InfoScreens.h"

namespace zl::ui {

void registerAllScreens(ScreenRegistry &registry)
{
    registerDataSourceScreens(registry);
    registerInfoScreens(registry);
}

} // namespace zl::ui
