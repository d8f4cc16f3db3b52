#pragma once

namespace zl::ui {

class ScreenRegistry;

// The continuous print screen (F_CustInput) and the partial one (F_CustInput2).
void registerPrintRunScreens(ScreenRegistry &registry);

} // namespace zl::ui
