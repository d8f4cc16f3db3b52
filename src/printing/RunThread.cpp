#include "printing/RunThread.h"

#include "printing/RunCheck.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

namespace zl::printing {

// Calls from the run's thread to the windows': kept under the box's mutex,
// taken and made on the thread the box lives on when Qt's event wakes it.
class RunPostBox : public QObject {
public:
    void post(std::function<void()> call)
    {
        QEvent *wake = nullptr;
        {
            // Made under the lock too: the windows' thread reads it only
            // after taking the lock.
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_calls.push_back(std::move(call));
            wake = new QEvent(kDeliver);
        }
        QCoreApplication::postEvent(this, wake);
    }
    bool onItsThread() const { return QThread::currentThread() == thread(); }
    // Once the run's thread has ended: what it told and was not yet made is
    // for a screen that no longer waits for it.
    void dropAll()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_calls.clear();
    }

protected:
    bool event(QEvent *e) override
    {
        std::deque<std::function<void()>> calls;
        bool ours = false;
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            ours = e->type() == kDeliver;
            if (ours)
                calls.swap(m_calls);
        }
        if (!ours)
            return QObject::event(e);
        for (const std::function<void()> &call : calls)
            call();
        return true;
    }

private:
    static inline const QEvent::Type kDeliver = QEvent::Type(QEvent::registerEventType());
    std::mutex m_mutex;
    std::deque<std::function<void()>> m_calls;
};


namespace {

// Told on the context's thread, in order, without the run waiting: the
// arguments are copied, the run's own values stay its own.
template <typename... A>
std::function<void(const A &...)> postedTo(RunPostBox *box, const std::function<void(const A &...)> &f)
{
    if (!f)
        return f;
    return [box, f](const A &...args) {
        if (box->onItsThread())
            return f(args...);
        // What the screen makes of the news is its own business: a failure
        // there (the grid's file no longer opens) must not leave through the
        // event loop, and the run reports what goes wrong for it itself.
        box->post([f, args...] {
            try {
                f(args...);
            } catch (const std::exception &) {
            }
        });
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

std::function<bool(const RunCheck &)> askedOn(RunPostBox *box, const std::function<bool(const RunCheck &)> &f,
                                              const RunControl &control)
{
    if (!f)
        return f;
    return [box, f, &control](const RunCheck &check) {
        if (box->onItsThread())
            return f(check);
        auto answer = std::make_shared<Answer>();
        auto unasked = std::make_shared<Unasked>(answer);
        box->post([f, check, unasked] {
            try {
                unasked->answer->give(f(check));
            } catch (...) {
                unasked->answer->give(false, std::current_exception());
            }
        });
        unasked.reset();
        return answer->wait(control);
    };
}

} // namespace

RunThread::RunThread(RunControl &control) : m_control(control), m_box(std::make_unique<RunPostBox>())
{
    // The application told to quit takes the run's labels back first.
    if (QCoreApplication *app = QCoreApplication::instance())
        m_quitting = QObject::connect(app, &QCoreApplication::aboutToQuit, [&control] { control.cancel = true; });
}

RunHooks RunThread::postedHooks(const RunHooks &h) const
{
    RunPostBox *box = m_box.get();
    RunHooks on;
    on.status = postedTo(box, h.status);
    on.paper = postedTo(box, h.paper);
    on.printerType = postedTo(box, h.printerType);
    on.dataSource = postedTo(box, h.dataSource);
    on.recordPrepared = postedTo(box, h.recordPrepared);
    on.labelsOut = postedTo(box, h.labelsOut);
    on.printerWaiting = postedTo(box, h.printerWaiting);
    on.progressBar = postedTo(box, h.progressBar);
    on.runCounts = postedTo(box, h.runCounts);
    on.confirmCheck = askedOn(box, h.confirmCheck, m_control);
    return on;
}

void RunThread::start(std::function<RunResult()> run, std::function<void(const RunEnd &)> ended)
{
    // The box lives until the thread has ended, so every call is handed to
    // something alive; what it holds is dropped with it.
    RunPostBox *box = m_box.get();
    std::shared_ptr<bool> wanted = m_endWanted;
    m_thread = std::thread([box, wanted, run = std::move(run), ended = std::move(ended)] {
        RunEnd end;
        try {
            end.result = run();
        } catch (...) {
            end.error = std::current_exception();
        }
        // Read and cleared on the windows' thread only.
        box->post([wanted, ended, end] {
            if (*wanted)
                ended(end);
        });
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
    m_box->dropAll();
    // Perhaps destroyed from the end's own call: the box goes once that
    // call has returned.
    m_box.release()->deleteLater();
}

} // namespace zl::printing
