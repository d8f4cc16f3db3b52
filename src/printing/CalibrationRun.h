#pragma once
// The calibration label printed as a run: on the run's printer, paper, fit
// and sheet, at the stored adjustments, as one job, with the run's checks,
// waits and cancel; no data file is read.
#include "printing/ProgramRun.h"

namespace zl::printing {

// On the windows' thread: the run set up as prepareRun sets one up, with
// the adjustments as stored (what the screens hold unsaved is not what the
// labels print with) and, on a sheet, a whole fresh sheet from its first
// position, the stored next position left as it is. Nothing when the
// operator cancelled the print-setup dialog.
std::optional<RunContext> prepareCalibration(const RunHooks &hooks);

// Prints one calibration label, or one on every position of a sheet.
RunResult printCalibration(RunContext context, const RunControl &control, const RunHooks &hooks);

// What the operator does with it, for the command line and the screen.
QString calibrationInstructions();

} // namespace zl::printing
