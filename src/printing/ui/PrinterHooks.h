#pragma once
#include "printing/ProgramRun.h"

class QWidget;

namespace zl::ui {

// The printer module's calls for a print run, with `owner` owning the
// print-setup dialog.
printing::RunHooks printerSetupHooks(QWidget *owner);

// Where the labels of a run went, for the end message: the PDF folder when
// the built-in PDF printer is current, otherwise nothing.
QString labelDestinationNote();

} // namespace zl::ui
