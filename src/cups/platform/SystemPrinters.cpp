#include "cups/platform/SystemPrinters.h"

#include "common/Failure.h"
#include "printer/PrinterChoice.h"
#include "printer/PrinterNews.h"

#include "cups/platform/CupsConnection.h"
#include "cups/platform/CupsPrinter.h"
#include "cups/platform/LpOptions.h"

#include <QThreadPool>
#include <cups/cups.h>
#include <mutex>
#include <optional>

namespace zl::printer {

// What one question to the scheduler told of its queues.
struct SystemPrinterCollection::Listing {
    QStringList names;
    QString defaultQueue;
    // Why the printing system could not be asked; empty when it answered.
    QString problem;
    // No answer in time: the names heard last stand.
    bool keepLast = false;
    // No scheduler on this machine and none named anywhere.
    bool noPrintSystem = false;
    bool operator==(const Listing &o) const
    {
        return names == o.names && defaultQueue == o.defaultQueue && problem == o.problem && keepLast == o.keepLast
            && noPrintSystem == o.noPrintSystem;
    }
};

// The question a worker has out for the windows, and its answer; shared
// with the worker, which may end after the collection.
struct SystemPrinterCollection::Asking {
    std::mutex mutex;
    bool out = false;
    std::optional<Listing> answer;
    // What the windows took last: an answer like it is no news.
    std::optional<Listing> taken;
};

namespace {
// Safe on any thread: everything it touches is its own or libcups' per
// thread.
SystemPrinterCollection::Listing askListing()
{
    SystemPrinterCollection::Listing listing;
    CupsConnection c;
    if (!c.http()) {
        // No scheduler here and none named is a machine without CUPS (a
        // container, a counter PC where cupsd is not enabled); a print
        // server named for it, a saved default queue or a scheduler that
        // stopped answering means one is expected. libcups names
        // "localhost" itself when this machine has no scheduler's socket:
        // that names nothing.
        const bool expected =
            c.timedOut() || !namedPrintServer().isEmpty() || !LpOptions::savedDefaultQueue().isEmpty();
        listing.problem = expected ? c.problem() : QString();
        listing.noPrintSystem = !expected;
        listing.keepLast = c.timedOut();
        return listing;
    }
    cups_dest_t *dests = nullptr;
    const int count = cupsGetDests2(c.http(), &dests);
    if (c.timedOut()) {
        cupsFreeDests(count, dests);
        listing.problem = c.problem();
        listing.keepLast = true;
        return listing;
    }
    cupsAnswered();
    for (int i = 0; i < count; ++i) {
        if (dests[i].instance)
            continue; // an lpoptions instance is a set of options, not a queue
        const QString name = QString::fromUtf8(dests[i].name);
        listing.names << name;
        if (dests[i].is_default)
            listing.defaultQueue = name;
    }
    cupsFreeDests(count, dests);
    // The user's own saved default, read from the user's files (libcups
    // reads them only once per process).
    if (const QString saved = LpOptions::savedDefaultQueue(); listing.names.contains(saved))
        listing.defaultQueue = saved;
    return listing;
}
} // namespace

SystemPrinterCollection::SystemPrinterCollection(std::unique_ptr<Printer> builtInPdf)
    : m_pdf(std::move(builtInPdf)), m_asking(std::make_shared<Asking>())
{
}

SystemPrinterCollection::~SystemPrinterCollection() = default;

void SystemPrinterCollection::refresh() const
{
    // A scheduler that just ran out of time is not asked again for a while:
    // every screen that lists printers would make the operator wait anew.
    if (cupsRecentlySilent()) {
        if (m_unanswered.isEmpty())
            m_unanswered = problem();
        m_lastDefault.clear();
        m_heard = true;
        return;
    }
    if (WithoutWaiting::mayWait()) {
        take(askListing());
        return;
    }
    std::unique_lock<std::mutex> lock(m_asking->mutex);
    if (m_asking->answer) {
        const Listing answer = std::move(*m_asking->answer);
        m_asking->answer.reset();
        m_asking->taken = answer;
        lock.unlock();
        take(answer);
        return;
    }
    if (m_asking->out)
        return;
    m_asking->out = handToWorker([asking = m_asking] {
        // A worker lives on from one question to the next, and libcups
        // keeps for each thread the server it first found.
        cupsSetServer(nullptr);
        Listing answer = askListing();
        std::unique_lock<std::mutex> lock(asking->mutex);
        asking->out = false;
        if (asking->taken && *asking->taken == answer)
            return;
        asking->answer = std::move(answer);
        lock.unlock();
        PrinterInForceNews::instance().tell();
    });
}

void SystemPrinterCollection::take(const Listing &listing) const
{
    m_heard = true;
    m_noPrintSystem = listing.noPrintSystem;
    m_unanswered = listing.problem;
    m_lastDefault = listing.defaultQueue;
    if (!listing.keepLast)
        m_lastNames = listing.names;
}

bool SystemPrinterCollection::stillAsking() const
{
    return !current() && !m_heard;
}

QList<Printer *> SystemPrinterCollection::printers() const
{
    refresh();
    QList<Printer *> list;
    for (const QString &name : std::as_const(m_lastNames)) {
        auto &slot = m_queues[name];
        if (!slot)
            slot = std::make_unique<CupsPrinter>(name);
        list << slot.get();
    }
    if (m_pdf)
        list << m_pdf.get();
    return list;
}

Printer *SystemPrinterCollection::current() const
{
    if (!m_currentChosen && !m_choiceRead) {
        m_choiceRead = true;
        // The program's own printer, kept in its settings, needs no print
        // system to be asked.
        if (m_pdf) {
            try {
                if (!readPrinterChoice(m_pdf->deviceName()).isEmpty()) {
                    restoreKeptPaper(*m_pdf);
                    m_currentChosen = true;
                    m_current = m_pdf.get();
                }
            } catch (const Failure &f) {
                m_choiceProblem = f.description();
            }
        }
    }
    if (!m_currentChosen) {
        refresh();
        // Until the printing system has been heard, no printer is the
        // run's; the windows say that it is being asked.
        if (!m_heard)
            return nullptr;
        m_currentChosen = true;
        m_current = m_pdf.get();
        const QString defaultQueue = m_lastDefault;
        m_currentGuessed = defaultQueue.isEmpty() && !m_unanswered.isEmpty();
        if (m_pdf && defaultQueue.isEmpty() && m_noPrintSystem && m_choiceProblem.isEmpty())
            m_pdf->setStandIn({QStringLiteral("CUPS(印刷システム)が動いていないため、「%1」に印刷します。"
                                              "CUPSのプリンターに印刷するときは、CUPSを起動してください。")
                                   .arg(m_pdf->deviceName()),
                               QStringLiteral("CUPSが動いていないため「%1」に印刷しました。").arg(m_pdf->deviceName())});
        if (!defaultQueue.isEmpty()) {
            auto &slot = m_queues[defaultQueue];
            if (!slot)
                slot = std::make_unique<CupsPrinter>(defaultQueue);
            m_current = slot.get();
        } else if (!m_pdf && !m_lastNames.isEmpty()) {
            auto &slot = m_queues[m_lastNames.first()];
            if (!slot)
                slot = std::make_unique<CupsPrinter>(m_lastNames.first());
            m_current = slot.get();
        }
    }
    return m_current;
}

void SystemPrinterCollection::setCurrent(Printer *printer)
{
    m_currentChosen = true;
    m_currentGuessed = false;
    m_choiceProblem.clear();
    if (m_pdf)
        m_pdf->setStandIn({});
    m_current = printer;
}

QString SystemPrinterCollection::currentProblem() const
{
    if (!m_choiceProblem.isEmpty())
        return m_choiceProblem;
    if (!m_currentGuessed)
        return {};
    return QStringLiteral("通常使うプリンターが分からないため印刷しません。%1\n"
                          "「Zenlabo PDF」に印刷するときは、それを「プリンター/用紙設定」で選んでください"
                          "（コマンドラインでは --printer \"Zenlabo PDF\"）。")
        .arg(m_unanswered);
}

QString SystemPrinterCollection::problem() const
{
    if (!m_unanswered.isEmpty() && !cupsRecentlySilent())
        return m_unanswered;
    if (!cupsRecentlySilent())
        return {};
    return QStringLiteral("印刷システム(CUPS)が%1秒以内に応答しなかったため、プリンターの一覧が分かりません（%2）。"
                          "CUPSが止まっていないか確認してから、もう一度やり直してください。")
        .arg(cupsTimeLimitSeconds())
        .arg(cupsServerName());
}

std::unique_ptr<PrinterCollection> systemPrinters(std::unique_ptr<Printer> builtInPdf)
{
    return std::make_unique<SystemPrinterCollection>(std::move(builtInPdf));
}

void installSystemPrinters(std::unique_ptr<Printer> builtInPdf)
{
    installPrinters(systemPrinters(std::move(builtInPdf)));
}

} // namespace zl::printer
