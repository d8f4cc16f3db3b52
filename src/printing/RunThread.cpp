#include "printing/RunThread.h"

#include "printing/RunCheck.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <atomic>
#include <exception>
#include <memory>
#include <mutex>

namespace zl::printing {

namespace {

// Told on the context's thread, in order, without the run waiting: the
// arguments are copied, the run's own values stay its own.
template <typename... A>
std::function<void(const A &...)> postedTo(QObject *context, const std::function<void(const A &...)> &f)
{
    if (!f)
        return f;
    return [context, f](const A &...args) {
        if (QThread::currentThread() == context->thread())
            return f(args...);
        // What the screen makes of the news is its own business: a failure
        // there (the grid's file no longer opens) must not leave through the
        // event loop, and the run reports what goes wrong for it itself.
        QMetaObject::invokeMethod(
            context,
            [f, args...] {
                try {
                    f(args...);
                } catch (const std::exception &) {
                }
            },
            Qt::QueuedConnection);
    };
}

std::function<bool(const RunCheck &)> askedOn(QObject *context, const std::function<bool(const RunCheck &)> &f)
{
    if (!f)
        return f;
    return [context, f](const RunCheck &check) {
        if (QThread::currentThread() == context->thread())
            return f(check);
        bool answer = false;
        std::exception_ptr error;
        QMetaObject::invokeMethod(
            context,
            [&] {
                try {
                    answer = f(check);
                } catch (...) {
                    error = std::current_exception();
                }
            },
            Qt::BlockingQueuedConnection);
        if (error)
            std::rethrow_exception(error);
        return answer;
    };
}

} // namespace

RunHooks hooksOnThreadOf(QObject *context, const RunHooks &h)
{
    RunHooks on;
    on.status = postedTo(context, h.status);
    on.paper = postedTo(context, h.paper);
    on.printerType = postedTo(context, h.printerType);
    on.dataSource = postedTo(context, h.dataSource);
    on.recordPrepared = postedTo(context, h.recordPrepared);
    on.labelsOut = postedTo(context, h.labelsOut);
    on.printerWaiting = postedTo(context, h.printerWaiting);
    on.progressBar = postedTo(context, h.progressBar);
    on.runCounts = postedTo(context, h.runCounts);
    on.confirmCheck = askedOn(context, h.confirmCheck);
    return on;
}

RunResult runOffThisThread(const std::function<RunResult()> &run, RunControl *control)
{
    // What the run hands back, under a lock of the C++ library's own, so
    // that every checker of threads sees the hand-over Qt's event loop
    // makes out of its sight.
    std::mutex handBack;
    RunResult result;
    std::exception_ptr error;
    std::atomic<bool> done{false};
    std::unique_ptr<QThread> thread(QThread::create([&] {
        RunResult r;
        std::exception_ptr e;
        try {
            r = run();
        } catch (...) {
            e = std::current_exception();
        }
        const std::lock_guard<std::mutex> lock(handBack);
        result = std::move(r);
        error = std::move(e);
        done = true;
    }));
    thread->start();
    QEventLoop loop;
    QObject::connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit);
    if (!done)
        loop.exec();
    // The application told to quit leaves the loop early, and no loop runs
    // again in this thread: the run is cancelled and waited for with this
    // thread's events still handled, so a question it asks the windows
    // meanwhile is answered instead of waiting for ever.
    if (!done && control)
        control->cancel = true;
    while (!done)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    thread->wait();
    const std::lock_guard<std::mutex> lock(handBack);
    if (error)
        std::rethrow_exception(error);
    return result;
}

} // namespace zl::printing
