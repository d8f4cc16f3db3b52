#pragma once
#include "printing/ProgramRun.h"

class QWidget;

namespace zl::ui {

// The printer module's calls for a print run, with `owner` owning the
// print-setup dialog.
printing::RunHooks printerSetupHooks(QWidget *owner);

} // namespace zl::ui
