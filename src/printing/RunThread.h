#pragma once
// The thread a print run prints on, apart from the windows': drawing, the
// printing system's answers and the final sync never hold a window up, and
// the windows never wait for the run: what the run tells, and its end, come
// to the windows' thread as calls handed over under a mutex of the
// program's own (Qt's event queue only wakes the windows for them, so every
// checker of threads sees the hand-over), and are dropped once the run's
// screen has let the run go.
#include "printing/ProgramRun.h"
#include "printing/RunContext.h"

#include <QMetaObject>
#include <exception>
#include <functional>
#include <memory>
#include <thread>

namespace zl::printing {

// How a run on its own thread ended.
struct RunEnd {
    RunResult result;
    std::exception_ptr error; // what the run threw, if it threw
};

class RunPostBox;

// One run on a thread of its own, made on the windows' thread and owned by
// what started it there (a screen), which destroys it before it goes.
class RunThread {
public:
    explicit RunThread(RunControl &control);
    // Cancels a run still printing and waits for its thread to end; no
    // event loop runs meanwhile, so nothing else happens in the windows.
    ~RunThread();
    RunThread(const RunThread &) = delete;
    RunThread &operator=(const RunThread &) = delete;

    // The hooks as the run calls them from its thread: what it tells is
    // handed to this thread and the run goes on at once. The question
    // before the first label is asked here too, and the run waits for the
    // answer (a cancel, or this going, answers no); what the question
    // throws is thrown in the run.
    RunHooks postedHooks(const RunHooks &hooks) const;
    // Starts `run`; `ended` is called on this thread once it is over,
    // unless this is destroyed first.
    void start(std::function<RunResult()> run, std::function<void(const RunEnd &)> ended);

private:
    RunControl &m_control;
    std::unique_ptr<RunPostBox> m_box;
    std::shared_ptr<bool> m_endWanted = std::make_shared<bool>(true);
    std::thread m_thread;
    QMetaObject::Connection m_quitting;
};

} // namespace zl::printing
