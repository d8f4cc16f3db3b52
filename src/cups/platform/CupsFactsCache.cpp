#include "cups/platform/CupsPrinter.h"

#include "printer/PrinterNews.h"
#include "cups/platform/CupsConnection.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>
#include <condition_variable>
#include <deque>
#include <functional>
#include <cups/cups.h>
#include <mutex>

namespace zl::printer {

namespace {
// The workers that ask queues for the windows, and the questions handed to
// them. The application owns the pool: its end waits for a question still
// out (the time limit bounds it) while the news it tells still exists.
// Process-wide: one pool serves every queue's cache, so that a frozen
// scheduler holds at most four workers, whatever the number of queues.
//
// A question goes to its worker here, under this mutex, and not in the
// task the pool is given: the pool hands its tasks over inside Qt, where
// ThreadSanitizer does not see that the worker starts after the question
// was made, and would report every reading of it.
struct AskingWorkers {
    std::mutex mutex;
    QPointer<QThreadPool> pool;
    std::deque<std::function<void()>> questions;
};

AskingWorkers &askingWorkers()
{
    static AskingWorkers workers;
    return workers;
}
} // namespace

bool handToWorker(std::function<void()> question)
{
    AskingWorkers &w = askingWorkers();
    std::unique_lock<std::mutex> lock(w.mutex);
    if (!w.pool && QCoreApplication::instance()) {
        // Made first, so that it outlives the workers that tell it.
        PrinterInForceNews::instance();
        w.pool = new QThreadPool(QCoreApplication::instance());
        // A frozen scheduler holds each question for the time limit; other
        // queues are asked meanwhile.
        w.pool->setMaxThreadCount(4);
    }
    if (!w.pool)
        return false;
    w.questions.push_back(std::move(question));
    QThreadPool *pool = w.pool;
    lock.unlock();
    // One task a question, each taking the oldest one not yet taken.
    pool->start([] {
        AskingWorkers &w = askingWorkers();
        std::unique_lock<std::mutex> lock(w.mutex);
        const std::function<void()> next = std::move(w.questions.front());
        w.questions.pop_front();
        lock.unlock();
        next();
    });
    return true;
}

void waitForAskingWorkers()
{
    AskingWorkers &w = askingWorkers();
    std::unique_lock<std::mutex> lock(w.mutex);
    const QPointer<QThreadPool> pool = w.pool;
    lock.unlock();
    if (pool)
        pool->waitForDone();
}

namespace {
std::shared_ptr<const CupsPrinter::QueueFacts> stillBeingAsked()
{
    // Never changed: the one "still being asked" every cache hands out.
    static const auto facts = [] {
        auto f = std::make_shared<CupsPrinter::QueueFacts>();
        f->asking = true;
        return f;
    }();
    return facts;
}
} // namespace

// What a queue said, for every thread. A thread that may wait asks itself
// (or waits for the question already out); one that may not gets what is
// known and a question on a worker, whose answer the windows hear of.
class CupsPrinter::FactsCache : public std::enable_shared_from_this<FactsCache> {
public:
    explicit FactsCache(QString queue) : m_queue(std::move(queue)) {}

    std::shared_ptr<const QueueFacts> get()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_known)
            return m_known;
        return WithoutWaiting::mayWait() ? answer(lock) : whatIsKnown();
    }

    void forget()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_known.reset();
        ++m_generation;
    }

private:
    std::shared_ptr<const QueueFacts> answer(std::unique_lock<std::mutex> &lock)
    {
        // A question already out is waited for, not asked a second time.
        m_answered.wait(lock, [this] { return !m_asking; });
        if (m_known)
            return m_known;
        m_asking = true;
        const quint64 generation = m_generation;
        lock.unlock();
        const auto facts = askQueue(m_queue, false);
        lock.lock();
        const bool tell = keep(facts, generation);
        lock.unlock();
        if (tell)
            PrinterInForceNews::instance().tell();
        return facts;
    }

    std::shared_ptr<const QueueFacts> whatIsKnown()
    {
        m_windowsWait = true;
        // A scheduler that has just let a question run out of time is not
        // asked again until that is forgotten; one that refused at once is.
        if (!m_asking && !(m_unanswered && cupsRecentlySilent()))
            askOnWorker();
        return m_unanswered ? m_unanswered : stillBeingAsked();
    }

    // Under the lock.
    void askOnWorker()
    {
        m_asking = handToWorker([self = shared_from_this(), generation = m_generation] {
            // A worker lives on from one question to the next, and libcups
            // keeps for each thread the server it first found: each question
            // goes to the server named now, as a run's own thread does.
            cupsSetServer(nullptr);
            const auto facts = askQueue(self->m_queue, true);
            std::unique_lock<std::mutex> lock(self->m_mutex);
            const bool tell = self->keep(facts, generation);
            lock.unlock();
            if (tell)
                PrinterInForceNews::instance().tell();
        });
    }

    // Under the lock: takes an answer asked since `generation`. True when
    // the windows, which showed the queue without one, have news.
    bool keep(const std::shared_ptr<const QueueFacts> &facts, quint64 generation)
    {
        m_asking = false;
        m_answered.notify_all();
        bool news = false;
        if (facts->answered) {
            // An answer from before a forget may hold what was since changed.
            if (generation == m_generation) {
                m_known = facts;
                m_unanswered.reset();
            }
            news = true;
        } else if (!facts->problem.isEmpty()) {
            news = !m_unanswered || m_unanswered->problem != facts->problem;
            m_unanswered = facts;
        } else if (m_windowsWait && !m_unanswered) {
            // Not asked (the scheduler had just been silent), so the windows
            // still know nothing: a worker asks all the same.
            askOnWorker();
        }
        news = news && m_windowsWait;
        if (news)
            m_windowsWait = false;
        return news;
    }

    const QString m_queue;
    std::mutex m_mutex;
    std::condition_variable m_answered;
    std::shared_ptr<const QueueFacts> m_known;      // the queue's answer
    std::shared_ptr<const QueueFacts> m_unanswered; // why it gave none, the last time
    bool m_asking = false;
    bool m_windowsWait = false; // a window showed the queue without its answer
    quint64 m_generation = 0;   // counts forgets
};

CupsPrinter::CupsPrinter(QString queueName)
    : m_name(std::move(queueName)), m_facts(std::make_shared<FactsCache>(m_name))
{
}

RunPrinterMaker CupsPrinter::runPrinterMaker() const
{
    // What the queue offers is the same queue's, asked once for both.
    return [name = m_name, facts = m_facts, settings = m_settings] {
        auto run = std::make_unique<CupsPrinter>(name);
        run->m_facts = facts;
        run->m_settings = settings;
        return run;
    };
}

std::shared_ptr<const CupsPrinter::QueueFacts> CupsPrinter::facts() const
{
    return m_facts->get();
}

void CupsPrinter::forgetQueue()
{
    m_facts->forget();
}

bool CupsPrinter::stillAsking() const
{
    return facts()->asking;
}

QString CupsPrinter::unansweredProblem() const
{
    const auto f = facts();
    return f->answered ? QString() : f->problem;
}

} // namespace zl::printer
