// Following a run's one job to its end: how far the printer got, what holds
// it up, and what came out when it ended otherwise than printed.
#include "cups/platform/CupsPrinter.h"

#include "cups/platform/CupsConnection.h"
#include "cups/platform/CupsRequests.h"
#include "cups/platform/PrinterJobReport.h"

#include "common/Failure.h"

#include <QElapsedTimer>
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

// What the scheduler says of the run's job.
struct JobNews {
    bool answered = false;
    bool gone = false; // no such job (its queue deleted)
    int state = 0;
    QStringList reasons;
    QString message; // job-printer-state-message
    int pages = 0;   // job-impressions-completed: processed, not printed
    int processingAt = 0; // time-at-processing: when it was last started, 0 never
};

// And of its queue.
struct QueueNews {
    bool answered = false;
    ipp_status_t status = IPP_STATUS_OK;
    int state = 0;
    bool accepting = true;
    QStringList reasons;
    QString message;
    QString deviceUri;
};

ipp_t *jobRequest(ipp_op_t operation, int job)
{
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(), "/jobs/%d", job);
    ipp_t *request = ippNewRequest(operation);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    return request;
}

// Asks for just the attributes `wanted`: the question is asked every few
// hundred milliseconds while labels print. Null when nothing answered.
ipp_t *askFor(CupsConnection &c, ipp_t *request, std::initializer_list<const char *> wanted)
{
    const std::vector<const char *> names(wanted);
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", int(names.size()), nullptr,
                  names.data());
    http_t *http = c.http();
    ipp_t *response = http ? cupsDoRequest(http, request, "/") : (ippDelete(request), nullptr);
    if (response)
        cupsAnswered();
    return response;
}

QString textOf(ipp_t *response, const char *name)
{
    ipp_attribute_t *a = ippFindAttribute(response, name, IPP_TAG_TEXT);
    return a ? utf8Text(ippGetString(a, 0, nullptr)) : QString();
}

int integerOf(ipp_t *response, const char *name, ipp_tag_t tag)
{
    ipp_attribute_t *a = ippFindAttribute(response, name, tag);
    return a ? ippGetInteger(a, 0) : 0;
}

JobNews askJob(CupsConnection &c, int job)
{
    JobNews n;
    ipp_t *response = askFor(c, jobRequest(IPP_OP_GET_JOB_ATTRIBUTES, job),
                             {"job-state", "job-state-reasons", "job-printer-state-message", "job-impressions-completed",
                              "time-at-processing"});
    if (!response)
        return n;
    n.answered = true;
    n.gone = !answeredOk(response);
    n.state = integerOf(response, "job-state", IPP_TAG_ENUM);
    n.reasons = keywordsOf(ippFindAttribute(response, "job-state-reasons", IPP_TAG_KEYWORD));
    n.message = textOf(response, "job-printer-state-message");
    n.pages = integerOf(response, "job-impressions-completed", IPP_TAG_INTEGER);
    n.processingAt = integerOf(response, "time-at-processing", IPP_TAG_INTEGER);
    ippDelete(response);
    return n;
}

QueueNews askQueueState(CupsConnection &c, const QString &queue)
{
    QueueNews n;
    ipp_t *response = askFor(c, printerAttributesRequest(queue),
                             {"printer-state", "printer-state-reasons", "printer-state-message", "printer-is-accepting-jobs",
                              "device-uri"});
    if (!response)
        return n;
    n.answered = true;
    n.status = ippGetStatusCode(response);
    n.state = integerOf(response, "printer-state", IPP_TAG_ENUM);
    if (ipp_attribute_t *a = ippFindAttribute(response, "printer-is-accepting-jobs", IPP_TAG_BOOLEAN))
        n.accepting = ippGetBoolean(a, 0);
    n.reasons = keywordsOf(ippFindAttribute(response, "printer-state-reasons", IPP_TAG_KEYWORD));
    n.message = textOf(response, "printer-state-message");
    if (ipp_attribute_t *a = ippFindAttribute(response, "device-uri", IPP_TAG_URI))
        n.deviceUri = utf8Text(ippGetString(a, 0, nullptr));
    ippDelete(response);
    return n;
}

// Why labels wait or did not print, from what the job and its printer say:
// the printer's own state in words where there are words for it, the
// print system's message in brackets only where there are none.
QString whyInWords(const JobNews &job, const QueueNews &queue)
{
    const QString words = reasonsInWords(job.reasons + queue.reasons);
    const QString message = !job.message.isEmpty() ? job.message : queue.message;
    return !words.isEmpty() || message.isEmpty() ? words : QStringLiteral("（%1）").arg(message);
}

// The same, as an aside after a sentence's subject.
QString inBrackets(const QString &why)
{
    return why.isEmpty() || why.startsWith(QStringLiteral("（")) ? why : QStringLiteral("（%1）").arg(why);
}

bool holdsUp(const QStringList &printerReasons)
{
    // Reports and warnings (media-low) do not stop the labels.
    return std::any_of(printerReasons.begin(), printerReasons.end(),
                       [](const QString &r) { return r.endsWith(QLatin1String("-error")) || r == QLatin1String("paused"); });
}

} // namespace

void CupsPrinter::checkQueue(CupsConnection &c)
{
    const QueueNews queue = askQueueState(c, m_name);
    if (queue.status == IPP_STATUS_ERROR_NOT_FOUND)
        throw Failure(QStringLiteral("プリンター「%1」が見つかりません。削除されたか名前が変わった可能性があります。"
                                     "「プリンター/用紙設定」でプリンターを選び直してください。")
                          .arg(m_name));
    if (!queue.answered || queue.status > IPP_STATUS_OK_EVENTS_COMPLETE)
        throw Failure(jobFailure(m_name, QStringLiteral("に印刷できません"), c));
    const QString why = inBrackets(whyInWords({}, queue));
    if (queue.state == IPP_PSTATE_STOPPED)
        throw Failure(QStringLiteral("プリンター「%1」は停止しています%2。プリンターの電源と用紙を確認し、CUPSで"
                                     "プリンターを再開してから（cupsenable %1）、もう一度印刷してください。")
                          .arg(m_name, why));
    if (!queue.accepting)
        throw Failure(QStringLiteral("プリンター「%1」は印刷ジョブを受け付けていません%2。CUPSで受け付けを再開してから"
                                     "（cupsaccept %1）、もう一度印刷してください。")
                          .arg(m_name, why));
}

std::optional<int> CupsPrinter::findSentJob(CupsConnection &c)
{
    http_t *http = c.http();
    if (!http)
        return std::nullopt;
    // The newest of this user's jobs on the queue: the run's is among
    // them, unless the scheduler never made it.
    ipp_t *request = queueRequest(IPP_OP_GET_JOBS, m_name);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "all");
    ippAddBoolean(request, IPP_TAG_OPERATION, "my-jobs", 1);
    static const char *const wanted[] = {"job-id", "job-name"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 2, nullptr, wanted);
    ipp_t *response = cupsDoRequest(http, request, "/");
    if (!response)
        return std::nullopt;
    cupsAnswered();
    int found = 0, id = 0;
    for (ipp_attribute_t *a = ippFirstAttribute(response); a; a = ippNextAttribute(response)) {
        const char *name = ippGetName(a);
        if (name && qstrcmp(name, "job-id") == 0)
            id = ippGetInteger(a, 0);
        else if (name && qstrcmp(name, "job-name") == 0 && m_jobName == ippGetString(a, 0, nullptr))
            found = id;
    }
    ippDelete(response);
    return found;
}

bool CupsPrinter::cancelRunJob(CupsConnection &c)
{
    http_t *http = c.http();
    if (!http)
        return false;
    // The job leaves the queue, or stops at the printer if it is printing.
    ipp_t *response = cupsDoRequest(http, jobRequest(IPP_OP_CANCEL_JOB, m_jobId), "/jobs/");
    if (!response)
        return false;
    cupsAnswered();
    ippDelete(response); // refused: it has ended already
    return true;
}

// A run's one job followed from its sending to its end. Each look asks
// the scheduler; a look that got no answer waits for the print system a
// while before the run says what it knows.
//
// Three counts are kept apart: what the run sent, what the print system
// processed (its page count, raised as its filters make each page, before
// the printer has it) and what is known to have come out: every label of
// a job the print system completed, otherwise only what the printer itself
// reports. The labels in between may or may not have come out.
class CupsPrinter::JobFollow {
public:
    JobFollow(CupsPrinter &printer, const DocumentsWait &wait, QByteArray pdf)
        : p(printer), m_wait(wait), m_pdf(std::move(pdf)), m_documents(int(printer.m_pagesPerDocument.size()))
    {
        for (const int n : p.m_pagesPerDocument)
            m_allPages += n;
        m_sinceNews.start();
    }

    DocumentsEnd run()
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

private:
    enum class Job { ToSend, Lost, Sent };
    using Step = std::optional<DocumentsEnd>; // the end, or nothing to go on

    bool cancelAsked() const { return m_wait.cancel && m_wait.cancel(); }

    void tell(const QString &what)
    {
        if (what != m_told && m_wait.waiting)
            m_wait.waiting(what);
        m_told = what;
    }

    // The documents whose every page lies within the first `pages`.
    int documentsWithin(int pages) const
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

    // The documents with a page among the first `pages`.
    int documentsTouched(int pages) const
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

    int documentsOut() const { return m_completed ? m_documents : documentsWithin(m_printerPages); }

    // The documents that may have reached the printer: those the print
    // system has processed, and the one it is making; every one when it
    // counts no pages (a raw queue) and has started the job.
    int documentsReached() const
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

    void showProgress()
    {
        const int out = documentsOut();
        const int processed = std::max(out, std::min(m_documents, documentsWithin(m_processed)));
        if (m_wait.progress && std::pair(processed, out) != m_shown)
            m_wait.progress(m_documents, processed, out);
        m_shown = {processed, out};
    }

    // What the printer itself says, where it says anything.
    void askPrinterItself()
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

    // The job is over (or no more is to be found out): each document's
    // fate from what is known.
    DocumentsEnd ending(const QString &problem)
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

    // A question that got no answer: its connection is dropped, and the
    // print system waited for, a while.
    Step noAnswer()
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

    Step send(CupsConnection &c)
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

    // After the answer to sending it was lost: the job by its name.
    Step findAgain(CupsConnection &c)
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

    // The print system starts a job again from its first page after a
    // restart of its own, or once a job taken off the printer (held,
    // stopped) goes on: what came out before may come out twice.
    void followStarts(const JobNews &n)
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

    // One look at the job (and, once a second, its queue and the printer),
    // taking it back first when the operator or a problem asks for that.
    Step look(CupsConnection &c)
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

    // The job ended: completed, or cancelled, aborted or gone.
    DocumentsEnd ended(const JobNews &n, CupsConnection &c)
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

    // The job waits or prints: what holds it up is told, and a printer that
    // prints nothing for long, or a job held for long, has the job taken
    // back.
    void waitFor(const JobNews &n)
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

    CupsPrinter &p;
    const DocumentsWait &m_wait;
    const QByteArray m_pdf;
    const int m_documents;
    int m_allPages = 0;
    Job m_job = Job::ToSend;
    bool m_cancelSent = false;
    QString m_problem; // why the run takes its job back
    QString m_told;
    int m_processed = 0;    // pages, as the print system counted them
    int m_printerPages = 0; // pages, as the printer itself reported them
    bool m_completed = false;
    QString m_printerUri; // the printer that reports its own jobs, if any
    bool m_everProcessing = false;
    int m_firstStart = 0; // time-at-processing first seen
    bool m_takenOff = false, m_startedAgain = false;
    int m_twice = 0; // documents out before the job started again
    std::pair<int, int> m_shown{-1, -1};
    int m_pauseMs = kFirstPauseMs;
    JobNews m_last;
    QueueNews m_queue;
    QElapsedTimer m_silence, m_sinceNews, m_heldFor, m_sinceCancel, m_sinceQueueAsked, m_sincePrinterAsked, m_printingFor;
};

DocumentsEnd CupsPrinter::finishDocuments(const DocumentsWait &wait)
{
    if (m_pagesPerDocument.isEmpty() || !m_runDocument)
        return DocumentsEnd{true, {}, 0, {}};
    return JobFollow(*this, wait, std::exchange(m_runDocument, nullptr)->finish()).run();
}

} // namespace zl::printer
