#include "printer/Printer.h"

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
thread_local bool t_withoutWaiting = false;
} // namespace

WithoutWaiting::WithoutWaiting() : m_outer(t_withoutWaiting)
{
    t_withoutWaiting = true;
}

WithoutWaiting::~WithoutWaiting()
{
    t_withoutWaiting = m_outer;
}

bool WithoutWaiting::mayWait()
{
    return !t_withoutWaiting;
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
