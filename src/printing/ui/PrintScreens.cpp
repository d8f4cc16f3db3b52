#include "printing/ui/PrintScreens.h"

#include "ui/ScreenRegistry.h"
#include "printing/ui/ContinuousPrintScreen.h"
#include "printing/ui/PartialPrintScreen.h"

namespace zl::ui {

void registerPrintRunScreens(ScreenRegistry &registry)
{
    registry.add(QStringLiteral("F_CustInput"), [](QWidget *host) { return new ContinuousPrintScreen(host); });
    registry.add(QStringLiteral("F_CustInput2"), [](QWidget *host) { return new PartialPrintScreen(host); });
}

} // namespace zl::ui
