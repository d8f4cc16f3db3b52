#include "cups/platform/SystemPrinters.h"

#include "common/Failure.h"
#include "printer/PrinterChoice.h"

#include "cups/platform/CupsConnection.h"
#include "cups/platform/CupsPrinter.h"
#include "cups/platform/LpOptions.h"

#include <cups/cups.h>

namespace zl::printer {

SystemPrinterCollection::SystemPrinterCollection(std::unique_ptr<Printer> builtInPdf) : m_pdf(std::move(builtInPdf)) {}

SystemPrinterCollection::~SystemPrinterCollection() = default;

QStringList SystemPrinterCollection::queueNames(QString *defaultQueue) const
{
    // A scheduler that just ran out of time is not asked again for a while:
    // every screen that lists printers would make the operator wait anew.
    if (cupsRecentlySilent()) {
        if (m_unanswered.isEmpty())
            m_unanswered = problem();
        return m_lastNames;
    }
    m_noPrintSystem = false;
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
        m_unanswered = expected ? c.problem() : QString();
        m_noPrintSystem = !expected;
        return c.timedOut() ? m_lastNames : QStringList();
    }
    cups_dest_t *dests = nullptr;
    const int count = cupsGetDests2(c.http(), &dests);
    if (c.timedOut()) {
        cupsFreeDests(count, dests);
        m_unanswered = c.problem();
        return m_lastNames;
    }
    m_unanswered.clear();
    cupsAnswered();
    QStringList names;
    for (int i = 0; i < count; ++i) {
        if (dests[i].instance)
            continue; // an lpoptions instance is a set of options, not a queue
        const QString name = QString::fromUtf8(dests[i].name);
        names << name;
        if (defaultQueue && dests[i].is_default)
            *defaultQueue = name;
    }
    cupsFreeDests(count, dests);
    // The user's own saved default, read from the user's files (libcups
    // reads them only once per process).
    if (const QString saved = LpOptions::savedDefaultQueue(); defaultQueue && names.contains(saved))
        *defaultQueue = saved;
    m_lastNames = names;
    return names;
}

std::function<void()> SystemPrinterCollection::printingSystemProbe() const
{
    // A connection of its own: its one short question records a time-out
    // where every later question looks for it.
    return [] {
        if (!cupsRecentlySilent())
            CupsConnection probe;
    };
}

QList<Printer *> SystemPrinterCollection::printers() const
{
    QList<Printer *> list;
    for (const QString &name : queueNames(nullptr)) {
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
    if (!m_currentChosen) {
        m_currentChosen = true;
        m_current = m_pdf.get();
        // The program's own printer, kept in its settings, needs no print
        // system to be asked.
        if (m_pdf) {
            try {
                if (!readPrinterChoice(m_pdf->deviceName()).isEmpty()) {
                    restoreKeptPaper(*m_pdf);
                    return m_current;
                }
            } catch (const Failure &f) {
                m_choiceProblem = f.description();
            }
        }
        QString defaultQueue;
        queueNames(&defaultQueue);
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
