#pragma once
// The thread a print run prints on, apart from the windows': drawing, the
// printing system's answers and the final sync never hold a window up.
#include "printing/ProgramRun.h"
#include "printing/RunContext.h"

#include <functional>

class QObject;

namespace zl::printing {

// The hooks as a run on another thread calls them: what it tells is posted
// to the thread of `context` (the screen's) and the run goes on at once;
// only the question before the first label waits for the operator's answer
// (what it throws is thrown in the run).
RunHooks hooksOnThreadOf(QObject *context, const RunHooks &hooks);

// Runs `run` on a thread of its own while this thread's events go on, and
// returns what it returns; what it throws is thrown here. When the
// application quits meanwhile, `control` cancels the run.
RunResult runOffThisThread(const std::function<RunResult()> &run, RunControl *control = nullptr);

} // namespace zl::printing
