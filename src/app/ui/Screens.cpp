#include "ui/ScreenRegistry.h"

#include "datasource/ui/DataSourceScreens.h"
#include "info/ui/InfoScreens.h"
#include "layout/ui/LayoutScreens.h"
#include "paper/ui/PrinterScreens.h"
#include "printing/ui/CalibrationPrinting.h"
#include "printing/ui/PrintScreens.h"

namespace zl::ui {

void registerAllScreens(ScreenRegistry &registry)
{
    registerDataSourceScreens(registry);
    registerInfoScreens(registry);
    registerLayoutScreens(registry, printCalibrationLabel);
    registerPrinterScreens(registry);
    registerPrintRunScreens(registry);
}

} // namespace zl::ui
