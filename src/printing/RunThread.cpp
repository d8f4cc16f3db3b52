#include "printing/RunThread.h"

#include "printing/RunCheck.h"

#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>

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

// The answer to a question the windows were asked for a run.
class Answer {
public:
    void give(bool answer, std::exception_ptr error = {})
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (m_answer)
            return;
        m_answer = answer;
        m_error = std::move(error);
        m_given.notify_all();
    }
    // Waits for it; a cancel meanwhile answers no.
    bool wait(const RunControl &control)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        // The cancel is an atomic nobody notifies: looked at now and then.
        while (!m_answer && !control.cancel)
            m_given.wait_for(lock, std::chrono::milliseconds(100));
        if (m_error)
            std::rethrow_exception(m_error);
        return m_answer.value_or(false);
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_given;
    std::optional<bool> m_answer;
    std::exception_ptr m_error;
};

// A question whose call is dropped unasked (its window gone) answers no.
struct Unasked {
    explicit Unasked(std::shared_ptr<Answer> a) : answer(std::move(a)) {}
    Unasked(const Unasked &) = delete;
    Unasked &operator=(const Unasked &) = delete;
    ~Unasked() { answer->give(false); }
    const std::shared_ptr<Answer> answer;
};

std::function<bool(const RunCheck &)> askedOn(QObject *context, const std::function<bool(const RunCheck &)> &f,
                                              const RunControl &control)
{
    if (!f)
        return f;
    return [context, f, &control](const RunCheck &check) {
        if (QThread::currentThread() == context->thread())
            return f(check);
        auto answer = std::make_shared<Answer>();
        auto unasked = std::make_shared<Unasked>(answer);
        QMetaObject::invokeMethod(
            context,
            [f, check, unasked] {
                try {
                    unasked->answer->give(f(check));
                } catch (...) {
                    unasked->answer->give(false, std::current_exception());
                }
            },
            Qt::QueuedConnection);
        unasked.reset();
        return answer->wait(control);
    };
}

} // namespace

RunHooks hooksOnThreadOf(QObject *context, const RunHooks &h, const RunControl &control)
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
    on.confirmCheck = askedOn(context, h.confirmCheck, control);
    return on;
}

RunThread::RunThread(RunControl &control, std::function<RunResult()> run, std::function<void(const RunEnd &)> ended)
    : m_control(control), m_relay(std::make_unique<QObject>())
{
    // The application told to quit takes the run's labels back first.
    if (QCoreApplication *app = QCoreApplication::instance())
        m_quitting = QObject::connect(app, &QCoreApplication::aboutToQuit, [&control] { control.cancel = true; });
    // The relay lives until the thread has ended, so the end is always
    // posted to something alive; it is dropped with the relay when this
    // goes first.
    QObject *relay = m_relay.get();
    std::shared_ptr<bool> wanted = m_endWanted;
    m_thread = std::thread([relay, wanted, run = std::move(run), ended = std::move(ended)] {
        RunEnd end;
        try {
            end.result = run();
        } catch (...) {
            end.error = std::current_exception();
        }
        // Read and cleared on the windows' thread only.
        QMetaObject::invokeMethod(
            relay,
            [wanted, ended, end] {
                if (*wanted)
                    ended(end);
            },
            Qt::QueuedConnection);
    });
}

RunThread::~RunThread()
{
    *m_endWanted = false;
    QObject::disconnect(m_quitting);
    if (m_thread.joinable()) {
        m_control.cancel = true;
        m_thread.join();
    }
    // Perhaps destroyed from the end's own call: the relay goes once that
    // call has returned.
    QObject *relay = m_relay.release();
    QObject::disconnect(relay, nullptr, nullptr, nullptr);
    relay->deleteLater();
}

} // namespace zl::printing
