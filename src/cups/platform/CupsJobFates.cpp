// What each of a run's labels came to, from the counts of its job: out,
// not out, or perhaps out (and perhaps twice), and the words for a job that
// ended otherwise than printed.
#include "cups/platform/CupsJobFollow.h"

#include "cups/platform/PrinterJobReport.h"

#include <algorithm>
#include <cups/cups.h>

namespace zl::printer {

int CupsPrinter::JobFollow::documentsWithin(int pages) const
{
    int upTo = 0, n = 0;
    for (const int d : p.m_pagesPerDocument) {
        upTo += d;
        if (upTo > pages)
            break;
        ++n;
    }
    return n;
}

int CupsPrinter::JobFollow::documentsTouched(int pages) const
{
    int from = 0, n = 0;
    for (const int d : p.m_pagesPerDocument) {
        if (from >= pages)
            break;
        from += d;
        ++n;
    }
    return n;
}

int CupsPrinter::JobFollow::documentsReached() const
{
    if (m_completed)
        return m_documents;
    int reached = 0;
    if (m_processed > 0)
        reached = documentsTouched(m_processed + (m_last.state == IPP_JSTATE_PROCESSING ? 1 : 0));
    else if (m_everProcessing)
        reached = m_documents;
    return std::max(reached, documentsOut());
}

void CupsPrinter::JobFollow::showProgress()
{
    const int out = documentsOut();
    const int processed = std::max(out, std::min(m_documents, documentsWithin(m_processed)));
    if (m_wait.progress && std::pair(processed, out) != m_shown)
        m_wait.progress(m_documents, processed, out);
    m_shown = {processed, out};
}

void CupsPrinter::JobFollow::askPrinterItself()
{
    if (m_printerUri.isEmpty())
        return;
    const PrinterNews n = askPrinter(m_printerUri, p.m_jobName, m_allPages);
    m_sincePrinterAsked.restart();
    if (!n.answered)
        return;
    m_printerPages = std::max(m_printerPages, n.pages);
    // The printer got the job twice: what the first one printed came
    // out twice.
    if (n.pagesBefore > 0)
        m_twice = std::max(m_twice, documentsWithin(n.pagesBefore));
}

DocumentsEnd CupsPrinter::JobFollow::ending(const QString &problem)
{
    if (!m_completed)
        askPrinterItself();
    DocumentsEnd end;
    end.known = true;
    const int out = documentsOut(), reached = documentsReached();
    for (int i = 0; i < m_documents; ++i)
        end.fates << (i < out ? LabelFate::Out : i < reached ? LabelFate::Unknown : LabelFate::NotOut);
    // Labels out before the job started again are out twice only once
    // it did start again.
    end.twice = m_startedAgain ? std::min(m_twice, reached) : 0;
    end.problem = problem;
    tell(QString());
    return end;
}

void CupsPrinter::JobFollow::followStarts(const JobNews &n)
{
    const bool wasPrinting = m_last.state == IPP_JSTATE_PROCESSING;
    const bool takenOff = wasPrinting && (n.state == IPP_JSTATE_PENDING || n.state == IPP_JSTATE_HELD);
    const bool restarted = m_firstStart && n.processingAt && n.processingAt != m_firstStart;
    if (takenOff || (restarted && !m_takenOff)) {
        m_twice = std::max(m_twice, documentsReached());
        m_takenOff = true;
    }
    if (m_takenOff && (restarted || n.state == IPP_JSTATE_PROCESSING || n.state == IPP_JSTATE_COMPLETED))
        m_startedAgain = true;
    if (!m_firstStart)
        m_firstStart = n.processingAt;
    m_everProcessing = m_everProcessing || n.processingAt > 0;
}

DocumentsEnd CupsPrinter::JobFollow::ended(const JobNews &n, CupsConnection &c)
{
    if (n.state == IPP_JSTATE_COMPLETED)
        return ending(QString());
    QString why = m_problem;
    if (why.isEmpty() && n.gone)
        why = QStringLiteral("プリンター「%1」のラベル（ジョブ番号 %2）が印刷の途中で消えました。"
                             "プリンターが削除されていないか、CUPSで確かめてください。")
                  .arg(p.m_name)
                  .arg(p.m_jobId);
    // Taken back by the operator's cancel: no problem to tell.
    if (why.isEmpty() && !m_cancelSent) {
        const QString words = whyInWords(n, askQueueState(c, p.m_name));
        why = QStringLiteral("プリンター「%1」でラベルが印刷されませんでした（ジョブ番号 %2 を%3%4）。"
                             "プリンターの用紙と状態を確かめてから、続きを印刷してください。")
                  .arg(p.m_name)
                  .arg(p.m_jobId)
                  .arg(n.state == IPP_JSTATE_CANCELED ? QStringLiteral("取り消しました") : QStringLiteral("中止しました"))
                  .arg(words.isEmpty() ? QString() : QStringLiteral(": %1").arg(words));
    }
    return ending(why);
}

} // namespace zl::printer
