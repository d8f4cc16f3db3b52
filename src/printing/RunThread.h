#pragma once
// The thread a print run prints on, apart from the windows': drawing, the
// printing system's answers and the final sync never hold a window up, and
// the windows never wait for the run: what the run tells, and its end, come
// to them as queued calls, dropped when their receiver is gone.
#include "printing/ProgramRun.h"
#include "printing/RunContext.h"

#include <QMetaObject>
#include <QObject>
#include <exception>
#include <functional>
#include <memory>
#include <thread>

class QObject;

namespace zl::printing {

// The hooks as a run on another thread calls them: what it tells is posted
// to the thread of `context` (the screen's) and the run goes on at once.
// The question before the first label is asked there too, and the run waits
// for the answer (a cancel, or `context` going, answers no); what the
// question throws is thrown in the run.
RunHooks hooksOnThreadOf(QObject *context, const RunHooks &hooks, const RunControl &control);

// How a run on its own thread ended.
struct RunEnd {
    RunResult result;
    std::exception_ptr error; // what the run threw, if it threw
};

// One run on a thread of its own, started from the windows' thread, whose
// hooks are posted to a receiver that destroys this before it goes (and so
// never gets a call once gone). `ended` is called on this thread once the
// run is over, unless this is destroyed first.
class RunThread {
public:
    RunThread(RunControl &control, std::function<RunResult()> run, std::function<void(const RunEnd &)> ended);
    // Cancels a run still printing and waits for its thread to end; no
    // event loop runs meanwhile, so nothing else happens in the windows.
    ~RunThread();
    RunThread(const RunThread &) = delete;
    RunThread &operator=(const RunThread &) = delete;

private:
    RunControl &m_control;
    std::unique_ptr<QObject> m_relay; // where the end is posted
    std::shared_ptr<bool> m_endWanted = std::make_shared<bool>(true);
    std::thread m_thread;
    QMetaObject::Connection m_quitting;
};

} // namespace zl::printing
