#include "printer/Printer.h"

#include <QCoreApplication>
#include <QThread>

namespace zl::printer {

namespace {
std::unique_ptr<PrinterCollection> &installed()
{
    static std::unique_ptr<PrinterCollection> collection;
    return collection;
}
} // namespace

namespace {
// The cancel of the run on this thread, while one watches for it.
thread_local const std::function<bool()> *t_runCancel = nullptr;
} // namespace

RunCancelWatch::RunCancelWatch(std::function<bool()> asked) : m_asked(std::move(asked)), m_outer(t_runCancel)
{
    t_runCancel = &m_asked;
}

RunCancelWatch::~RunCancelWatch()
{
    t_runCancel = m_outer;
}

bool RunCancelWatch::watching()
{
    return t_runCancel != nullptr;
}

bool RunCancelWatch::asked()
{
    return t_runCancel && (*t_runCancel) && (*t_runCancel)();
}

std::function<bool()> RunCancelWatch::current()
{
    if (!t_runCancel || !*t_runCancel)
        return [] { return false; };
    return *t_runCancel;
}

namespace {
// The innermost scope that says whether this thread may wait.
thread_local const WithoutWaiting *t_waitScope = nullptr;

bool onWindowsThread()
{
    const QCoreApplication *app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}
} // namespace

WithoutWaiting::WithoutWaiting() : m_outer(t_waitScope)
{
    t_waitScope = this;
}

WithoutWaiting::~WithoutWaiting()
{
    t_waitScope = m_outer;
}

WaitingAllowed::WaitingAllowed()
{
    m_waits = true;
    // Counted from the loop the run is prepared in: a nested loop started
    // below it runs the windows' own events.
    m_loopLevel = QThread::currentThread()->loopLevel();
}

bool WithoutWaiting::mayWait()
{
    if (!t_waitScope)
        return !onWindowsThread();
    if (!t_waitScope->m_waits)
        return false;
    return !onWindowsThread() || QThread::currentThread()->loopLevel() == t_waitScope->m_loopLevel;
}

PrinterCollection *printers()
{
    return installed().get();
}

void installPrinters(std::unique_ptr<PrinterCollection> collection)
{
    installed() = std::move(collection);
}

Printer *currentPrinter()
{
    return installed() ? installed()->current() : nullptr;
}

OwnedPrinterCollection::OwnedPrinterCollection(std::vector<std::unique_ptr<Printer>> owned, int currentIndex)
    : m_owned(std::move(owned))
{
    if (currentIndex >= 0 && currentIndex < int(m_owned.size()))
        m_current = m_owned[size_t(currentIndex)].get();
}

QList<Printer *> OwnedPrinterCollection::printers() const
{
    QList<Printer *> list;
    for (const auto &p : m_owned)
        list << p.get();
    return list;
}

} // namespace zl::printer
