// Following a run's one job to its end: sending it, looking at it until
// it ends, and taking it back when the operator or a stalled printer asks.
#include "cups/platform/CupsJobFollow.h"

#include "cups/platform/CupsConnection.h"
#include "cups/platform/CupsRunDocument.h"
#include "cups/platform/PrinterJobReport.h"

#include "common/Failure.h"

#include <QThread>
#include <algorithm>
#include <cups/cups.h>

namespace zl::printer {

namespace {
// How long a run waiting for its labels pauses between two looks at its
// job: the shortest while pages come out, growing to the longest while
// none does.
constexpr int kFirstPauseMs = 50;
constexpr int kLongestPauseMs = 500;
// A silent print system is asked again this often.
constexpr int kSilencePauseMs = 1000;
// How long a job prints before, and how often then, the printer that
// counts its own jobs is asked for its count.
constexpr int kPrinterAskedAfterMs = 2000;
// How long a job the run has cancelled, or found stalled, may take to end.
constexpr int kEndAfterCancelMs = 10000;

const QString kWaitingForSystem = QStringLiteral("印刷システムの応答を待っています");

} // namespace

CupsPrinter::JobFollow::JobFollow(CupsPrinter &printer, const DocumentsWait &wait, QByteArray pdf)
    : p(printer), m_wait(wait), m_pdf(std::move(pdf)), m_documents(int(printer.m_pagesPerDocument.size())),
      m_pauseMs(kFirstPauseMs)
{
    for (const int n : p.m_pagesPerDocument)
        m_allPages += n;
    m_sinceNews.start();
}

DocumentsEnd CupsPrinter::JobFollow::run()
{
    showProgress();
    for (;;) {
        std::optional<DocumentsEnd> over;
        try {
            // Until the operator cancels, a question in progress is
            // given up for the cancel; from then on the questions carry
            // it out and are answered.
            CupsConnection &c = p.runConnection(cancelAsked() ? OnRunCancel::GoOn : OnRunCancel::GiveUp);
            over = m_job == Job::ToSend ? send(c) : m_job == Job::Lost ? findAgain(c) : look(c);
        } catch (const Cancelled &) {
            // The cancel came while the scheduler was being asked: it is
            // carried out on a connection that sees it through.
            p.m_link.reset();
            continue;
        }
        if (over)
            return *over;
        QElapsedTimer paused;
        paused.start();
        const bool cancelled = cancelAsked();
        while (paused.elapsed() < m_pauseMs && cancelAsked() == cancelled)
            QThread::msleep(ulong(qBound(qint64(1), m_pauseMs - paused.elapsed(), qint64(kFirstPauseMs))));
    }
}

void CupsPrinter::JobFollow::tell(const QString &what)
{
    if (what != m_told && m_wait.waiting)
        m_wait.waiting(what);
    m_told = what;
}

CupsPrinter::JobFollow::Step CupsPrinter::JobFollow::noAnswer()
{
    if (!m_silence.isValid())
        m_silence.start();
    p.m_link.reset();
    if (m_silence.elapsed() < kSchedulerWaitSeconds * 1000) {
        tell(kWaitingForSystem);
        m_pauseMs = kSilencePauseMs;
        return std::nullopt;
    }
    const QString silent =
        QStringLiteral("印刷システム(CUPS)が%1秒の間応答しませんでした（%2）。").arg(kSchedulerWaitSeconds).arg(cupsServerName());
    // A job never sent printed nothing.
    if (m_job == Job::ToSend)
        return ending(silent + QStringLiteral("ラベルは送っていません。"));
    // One the scheduler may have had may have printed any of its labels.
    if (m_job == Job::Lost)
        m_everProcessing = true;
    return ending(silent);
}

CupsPrinter::JobFollow::Step CupsPrinter::JobFollow::send(CupsConnection &c)
{
    // Cancelled before its labels went: nothing printed.
    if (cancelAsked())
        return ending(QString());
    Sent sent;
    try {
        sent = p.sendJob(c, m_pdf, p.m_jobName);
    } catch (const Cancelled &) {
        throw;
    } catch (const Failure &refused) {
        // The scheduler said no: no job was made.
        return ending(refused.description());
    }
    c.throwIfAbandoned();
    if (!sent.id) {
        if (sent.maybeMade)
            m_job = Job::Lost;
        return noAnswer();
    }
    p.m_jobId = sent.id;
    m_job = Job::Sent;
    return std::nullopt;
}

CupsPrinter::JobFollow::Step CupsPrinter::JobFollow::findAgain(CupsConnection &c)
{
    const std::optional<int> found = p.findSentJob(c);
    c.throwIfAbandoned();
    if (!found)
        return noAnswer();
    m_silence.invalidate();
    p.m_jobId = *found;
    // Never made: sent again, unless the operator cancelled.
    m_job = *found ? Job::Sent : Job::ToSend;
    return std::nullopt;
}

CupsPrinter::JobFollow::Step CupsPrinter::JobFollow::look(CupsConnection &c)
{
    if ((cancelAsked() || !m_problem.isEmpty()) && !m_cancelSent) {
        const bool answered = p.cancelRunJob(c);
        c.throwIfAbandoned();
        if (!answered)
            return noAnswer();
        m_cancelSent = true;
        m_sinceCancel.start();
    }
    const JobNews n = askJob(c, p.m_jobId);
    c.throwIfAbandoned();
    if (!n.answered)
        return noAnswer();
    const bool jobEnded = n.gone || n.state >= IPP_JSTATE_CANCELED;
    if (!jobEnded && (!m_sinceQueueAsked.isValid() || m_sinceQueueAsked.elapsed() >= 1000)) {
        m_queue = askQueueState(c, p.m_name);
        c.throwIfAbandoned();
        m_sinceQueueAsked.restart();
        if (!m_queue.answered)
            return noAnswer();
        if (!m_queue.deviceUri.isEmpty())
            m_printerUri = reportingPrinter(m_queue.deviceUri);
    }
    m_silence.invalidate();
    followStarts(n);
    // The printer's own count shows while a long job prints; a short one
    // costs the printer no questions while it takes the job in, and how
    // a job ended is asked at its end in any case.
    if (m_everProcessing && !m_printingFor.isValid())
        m_printingFor.start();
    if (!jobEnded && !m_printerUri.isEmpty() && m_printingFor.isValid() && m_printingFor.elapsed() >= kPrinterAskedAfterMs
        && (!m_sincePrinterAsked.isValid() || m_sincePrinterAsked.elapsed() >= kPrinterAskedAfterMs))
        askPrinterItself();
    const int outBefore = documentsOut();
    const bool news = n.pages > m_processed || n.state != m_last.state || n.reasons != m_last.reasons;
    m_processed = std::max(m_processed, n.pages);
    m_completed = n.state == IPP_JSTATE_COMPLETED;
    m_last = n;
    if (news || documentsOut() > outBefore)
        m_sinceNews.restart();
    // Asked again soon while pages come out, less and less often while
    // none does.
    m_pauseMs = news ? kFirstPauseMs : std::min(m_pauseMs * 3 / 2, kLongestPauseMs);
    showProgress();
    if (jobEnded)
        return ended(n, c);
    waitFor(n);
    // Jobs the scheduler neither ends nor lets go are not waited for
    // without end.
    if (m_cancelSent && m_sinceCancel.elapsed() >= kEndAfterCancelMs)
        return ending(m_problem);
    return std::nullopt;
}

void CupsPrinter::JobFollow::waitFor(const JobNews &n)
{
    const QString &name = p.m_name;
    const QString why = whyInWords(n, m_queue);
    if (n.state == IPP_JSTATE_HELD) {
        if (!m_heldFor.isValid())
            m_heldFor.start();
        // A printer that failed the job is named for what it is, not
        // for the hold the print system put the job in after it.
        const bool printerFailed = holdsUp(m_queue.reasons) || m_queue.state == IPP_PSTATE_STOPPED;
        if (printerFailed)
            tell(QStringLiteral("プリンター「%1」: %2").arg(name, why));
        else
            tell(QStringLiteral("ラベル（ジョブ番号 %1）は印刷システムで保留されています。CUPSで保留を解除すると印刷されます。")
                     .arg(p.m_jobId));
        if (m_problem.isEmpty() && m_heldFor.elapsed() >= kJobsStallSeconds * 1000)
            m_problem = printerFailed
                ? QStringLiteral("プリンター「%1」がラベルを印刷できませんでした%2。残りのラベルは取り消しました。"
                                 "プリンターの電源、接続と用紙を確かめてから、続きを印刷してください。")
                      .arg(name, inBrackets(why))
                : QStringLiteral("プリンター「%1」のラベル（ジョブ番号 %2）が%3秒の間保留されたままだったため、取り消しました。"
                                 "CUPSでジョブの保留（job-hold-until）を確かめてから、続きを印刷してください。")
                      .arg(name)
                      .arg(p.m_jobId)
                      .arg(kJobsStallSeconds);
        return;
    }
    m_heldFor.invalidate();
    if (m_queue.state == IPP_PSTATE_STOPPED && m_problem.isEmpty())
        m_problem = QStringLiteral("プリンター「%1」が止まりました%2。残りのラベルは取り消しました。プリンターの電源と用紙を確認し、"
                                   "CUPSでプリンターを再開してから（cupsenable %1）、続きを印刷してください。")
                        .arg(name, inBrackets(why));
    if (holdsUp(m_queue.reasons)) {
        tell(QStringLiteral("プリンター「%1」: %2").arg(name, why));
    } else if (n.state == IPP_JSTATE_PENDING && m_queue.state == IPP_PSTATE_PROCESSING) {
        // Another counter's labels first: the queue is busy, not stalled.
        tell(QStringLiteral("プリンター「%1」はほかの印刷を終えてから、このラベルを印刷します。").arg(name));
        m_sinceNews.restart();
    } else {
        tell(QString());
    }
    // A printer without page counts has the time a label takes besides.
    const qint64 allowedMs = qint64(kJobsStallSeconds) * 1000 + qint64(m_documents - documentsWithin(m_processed)) * 1000;
    if (m_problem.isEmpty() && m_sinceNews.elapsed() >= allowedMs)
        m_problem = QStringLiteral("プリンター「%1」が%2秒の間ラベルを1枚も印刷しませんでした%3。残りのラベルは取り消しました。"
                                   "プリンターの電源、接続と用紙を確かめてから、続きを印刷してください。")
                        .arg(name)
                        .arg(m_sinceNews.elapsed() / 1000)
                        .arg(inBrackets(why));
}

DocumentsEnd CupsPrinter::finishDocuments(const DocumentsWait &wait)
{
    if (m_pagesPerDocument.isEmpty() || !m_runDocument)
        return DocumentsEnd{true, {}, 0, {}};
    return JobFollow(*this, wait, std::exchange(m_runDocument, nullptr)->finish()).run();
}

} // namespace zl::printer
