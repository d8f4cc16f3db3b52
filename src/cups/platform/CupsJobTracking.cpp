// Following a run's one job to its end: how far the printer got, what holds
// it up, and what came out when it ended otherwise than printed.
#include "cups/platform/CupsPrinter.h"

#include "cups/platform/CupsConnection.h"
#include "cups/platform/CupsRequests.h"

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
    int pages = 0;   // job-impressions-completed
    bool processed = false; // it reached the printer at some time
};

// And of its queue.
struct QueueNews {
    bool answered = false;
    int state = 0;
    QStringList reasons;
    QString message;
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

JobNews askJob(CupsConnection &c, int job)
{
    JobNews n;
    ipp_t *request = jobRequest(IPP_OP_GET_JOB_ATTRIBUTES, job);
    static const char *const wanted[] = {"job-state", "job-state-reasons", "job-printer-state-message",
                                         "job-impressions-completed", "time-at-processing"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 5, nullptr, wanted);
    http_t *http = c.http();
    ipp_t *response = http ? cupsDoRequest(http, request, "/") : (ippDelete(request), nullptr);
    if (!response)
        return n;
    n.answered = true;
    cupsAnswered();
    if (ippGetStatusCode(response) > IPP_STATUS_OK_EVENTS_COMPLETE) {
        n.gone = true;
        ippDelete(response);
        return n;
    }
    if (ipp_attribute_t *a = ippFindAttribute(response, "job-state", IPP_TAG_ENUM))
        n.state = ippGetInteger(a, 0);
    n.reasons = keywordsOf(ippFindAttribute(response, "job-state-reasons", IPP_TAG_KEYWORD));
    if (ipp_attribute_t *a = ippFindAttribute(response, "job-printer-state-message", IPP_TAG_TEXT))
        n.message = utf8Text(ippGetString(a, 0, nullptr));
    if (ipp_attribute_t *a = ippFindAttribute(response, "job-impressions-completed", IPP_TAG_INTEGER))
        n.pages = ippGetInteger(a, 0);
    if (ipp_attribute_t *a = ippFindAttribute(response, "time-at-processing", IPP_TAG_INTEGER))
        n.processed = ippGetInteger(a, 0) > 0;
    ippDelete(response);
    return n;
}

QueueNews askQueueState(CupsConnection &c, const QString &queue)
{
    QueueNews n;
    ipp_t *request = printerAttributesRequest(queue);
    static const char *const wanted[] = {"printer-state", "printer-state-reasons", "printer-state-message"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 3, nullptr, wanted);
    http_t *http = c.http();
    ipp_t *response = http ? cupsDoRequest(http, request, "/") : (ippDelete(request), nullptr);
    if (!response)
        return n;
    n.answered = true;
    cupsAnswered();
    if (ipp_attribute_t *a = ippFindAttribute(response, "printer-state", IPP_TAG_ENUM))
        n.state = ippGetInteger(a, 0);
    n.reasons = keywordsOf(ippFindAttribute(response, "printer-state-reasons", IPP_TAG_KEYWORD));
    if (ipp_attribute_t *a = ippFindAttribute(response, "printer-state-message", IPP_TAG_TEXT))
        n.message = utf8Text(ippGetString(a, 0, nullptr));
    ippDelete(response);
    return n;
}

// Why labels wait or did not print, from what the job and its printer say:
// the printer's own state in words where there are words for it, the
// print system's message in brackets only where there are none.
QString whyInWords(const JobNews &job, const QueueNews &queue)
{
    QString words = reasonsInWords(job.reasons + queue.reasons);
    if (!words.isEmpty())
        return words;
    const QString message = !job.message.isEmpty() ? job.message : queue.message;
    return message.isEmpty() ? QString() : QStringLiteral("（%1）").arg(message);
}

bool holdsUp(const QStringList &printerReasons)
{
    // Reports and warnings (media-low) do not stop the labels.
    return std::any_of(printerReasons.begin(), printerReasons.end(),
                       [](const QString &r) { return r.endsWith(QLatin1String("-error")) || r == QLatin1String("paused"); });
}

} // namespace

void CupsPrinter::checkQueue(CupsConnection &c, bool forNewJobs)
{
    // Asked often, so only the three facts wanted: the whole destination
    // (cupsGetNamedDest) costs a few milliseconds more.
    ipp_t *request = printerAttributesRequest(m_name);
    static const char *const wanted[] = {"printer-state", "printer-is-accepting-jobs", "printer-state-message",
                                         "printer-state-reasons"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 4, nullptr, wanted);
    ipp_t *response = cupsDoRequest(c.http(), request, "/");
    if (!response || ippGetStatusCode(response) > IPP_STATUS_OK_EVENTS_COMPLETE) {
        const bool notFound = response && ippGetStatusCode(response) == IPP_STATUS_ERROR_NOT_FOUND;
        ippDelete(response);
        if (!notFound)
            throw Failure(jobFailure(m_name, QStringLiteral("に印刷できません"), c));
        throw Failure(QStringLiteral("プリンター「%1」が見つかりません。削除されたか名前が変わった可能性があります。"
                                     "「プリンター/用紙設定」でプリンターを選び直してください。")
                          .arg(m_name));
    }
    cupsAnswered();
    ipp_attribute_t *state = ippFindAttribute(response, "printer-state", IPP_TAG_ENUM);
    ipp_attribute_t *accepting = ippFindAttribute(response, "printer-is-accepting-jobs", IPP_TAG_BOOLEAN);
    QueueNews queue;
    queue.state = state ? ippGetInteger(state, 0) : 0;
    queue.reasons = keywordsOf(ippFindAttribute(response, "printer-state-reasons", IPP_TAG_KEYWORD));
    if (ipp_attribute_t *message = ippFindAttribute(response, "printer-state-message", IPP_TAG_TEXT))
        queue.message = utf8Text(ippGetString(message, 0, nullptr));
    const bool refusing = accepting && !ippGetBoolean(accepting, 0);
    ippDelete(response);
    QString why = whyInWords({}, queue);
    if (!why.isEmpty() && !why.startsWith(QStringLiteral("（")))
        why = QStringLiteral("（%1）").arg(why);
    if (queue.state == IPP_PSTATE_STOPPED)
        throw Failure(QStringLiteral("プリンター「%1」は停止しています%2。プリンターの電源と用紙を確認し、CUPSで"
                                     "プリンターを再開してから（cupsenable %1）、もう一度印刷してください。")
                          .arg(m_name, why));
    // A queue that refuses new jobs still prints those it holds.
    if (refusing && forNewJobs)
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

DocumentsEnd CupsPrinter::finishDocuments(const DocumentsWait &wait)
{
    DocumentsEnd end;
    end.known = true;
    const int documents = int(m_pagesPerDocument.size());
    if (!documents || !m_runDocument)
        return end;
    end.printed = QList<bool>(documents, false);
    const QByteArray pdf = std::exchange(m_runDocument, nullptr)->finish(sentPointsAsSent());

    // Until the operator cancels, a question in progress is given up for
    // the cancel; from then on the questions carry it out and are answered.
    auto cancelAsked = [&] { return wait.cancel && wait.cancel(); };
    QString told;
    auto tell = [&](const QString &what) {
        if (what != told && wait.waiting)
            wait.waiting(what);
        told = what;
    };
    int pagesOut = 0;
    auto documentsOut = [&] {
        int pages = 0, out = 0;
        for (const int p : m_pagesPerDocument) {
            pages += p;
            if (pages > pagesOut)
                break;
            ++out;
        }
        return out;
    };
    int shownOut = -1;
    auto showProgress = [&](bool ended) {
        const int out = ended ? documents : documentsOut();
        if (wait.progress && out != shownOut)
            wait.progress(documents, ended ? documents : out, out);
        shownOut = out;
    };
    // How the run ends: its first `out` documents came out, and (unknown)
    // whether the rest did is not known.
    auto ending = [&](int out, bool unknown, const QString &problem) {
        for (int i = 0; i < documents; ++i)
            end.printed[i] = i < out;
        end.unknown = unknown ? documents - out : 0;
        end.problem = problem;
        tell(QString());
        return end;
    };

    enum class Job { ToSend, Lost, Sent } job = Job::ToSend;
    bool cancelSent = false;
    QString problem; // why the run took its job back
    QElapsedTimer silence, sinceNews, heldFor, sinceCancel, sinceQueueAsked;
    sinceNews.start();
    JobNews last;
    QueueNews queue;
    int pauseMs = kFirstPauseMs;
    // The job ended: completed, or cancelled, aborted or gone. What came
    // out is what the scheduler counted; a job that reached the printer
    // and was counted nothing may have printed any of its labels.
    auto ended = [&](const JobNews &n, CupsConnection &c) {
        if (n.state == IPP_JSTATE_COMPLETED)
            return ending(documents, false, QString());
        const bool uncounted = last.processed && pagesOut == 0;
        QString why = problem;
        if (why.isEmpty() && n.gone)
            why = QStringLiteral("プリンター「%1」のラベル（ジョブ番号 %2）が印刷の途中で消えました。"
                                 "プリンターが削除されていないか、CUPSで確かめてください。")
                      .arg(m_name)
                      .arg(m_jobId);
        // Taken back by the operator's cancel: no problem to tell.
        if (why.isEmpty() && !cancelSent) {
            const QString words = whyInWords(n, askQueueState(c, m_name));
            why = QStringLiteral("プリンター「%1」でラベルが印刷されませんでした（ジョブ番号 %2 を%3%4）。"
                                 "プリンターの用紙と状態を確かめてから、続きを印刷してください。")
                      .arg(m_name)
                      .arg(m_jobId)
                      .arg(n.state == IPP_JSTATE_CANCELED ? QStringLiteral("取り消しました") : QStringLiteral("中止しました"))
                      .arg(words.isEmpty() ? QString() : QStringLiteral(": %1").arg(words));
        }
        return ending(documentsOut(), uncounted, why);
    };
    // The job waits or prints: what holds it up is told, and a printer
    // that prints nothing for long, or a job held for long, has the job
    // taken back.
    auto waitFor = [&](const JobNews &n) {
        if (n.state == IPP_JSTATE_HELD) {
            if (!heldFor.isValid())
                heldFor.start();
            tell(QStringLiteral("ラベル（ジョブ番号 %1）は印刷システムで保留されています。CUPSで保留を解除すると印刷されます。")
                     .arg(m_jobId));
            if (problem.isEmpty() && heldFor.elapsed() >= kJobsStallSeconds * 1000)
                problem = QStringLiteral("プリンター「%1」のラベル（ジョブ番号 %2）が%3秒の間保留されたままだったため、取り消しました。"
                                         "CUPSでジョブの保留（job-hold-until）を確かめてから、続きを印刷してください。")
                              .arg(m_name)
                              .arg(m_jobId)
                              .arg(kJobsStallSeconds);
            return;
        }
        heldFor.invalidate();
        QString why = whyInWords(n, queue);
        const QString inBrackets = why.isEmpty() || why.startsWith(QStringLiteral("（")) ? why : QStringLiteral("（%1）").arg(why);
        if (queue.state == IPP_PSTATE_STOPPED && problem.isEmpty())
            problem = QStringLiteral("プリンター「%1」が止まりました%2。残りのラベルは取り消しました。プリンターの電源と用紙を確認し、"
                                     "CUPSでプリンターを再開してから（cupsenable %1）、続きを印刷してください。")
                          .arg(m_name, inBrackets);
        if (holdsUp(queue.reasons)) {
            tell(QStringLiteral("プリンター「%1」: %2").arg(m_name, why));
        } else if (n.state == IPP_JSTATE_PENDING && queue.state == IPP_PSTATE_PROCESSING) {
            // Another counter's labels first: the queue is busy, not stalled.
            tell(QStringLiteral("プリンター「%1」はほかの印刷を終えてから、このラベルを印刷します。").arg(m_name));
            sinceNews.restart();
        } else {
            tell(QString());
        }
        // A printer without page counts has the time a label takes
        // besides.
        const qint64 allowedMs = qint64(kJobsStallSeconds) * 1000 + qint64(documents - documentsOut()) * 1000;
        if (problem.isEmpty() && sinceNews.elapsed() >= allowedMs)
            problem = QStringLiteral("プリンター「%1」が%2秒の間ラベルを1枚も印刷しませんでした%3。残りのラベルは取り消しました。"
                                     "プリンターの電源、接続と用紙を確かめてから、続きを印刷してください。")
                          .arg(m_name)
                          .arg(sinceNews.elapsed() / 1000)
                          .arg(inBrackets);
    };
    showProgress(false);
    for (;;) {
        // A question that got no answer: the print system is waited for, a
        // while, and then the run says what it knows.
        auto noAnswer = [&]() -> std::optional<DocumentsEnd> {
            if (!silence.isValid())
                silence.start();
            m_link.reset();
            if (silence.elapsed() >= kSchedulerWaitSeconds * 1000) {
                const QString silent = QStringLiteral("印刷システム(CUPS)が%1秒の間応答しませんでした（%2）。")
                                           .arg(kSchedulerWaitSeconds)
                                           .arg(cupsServerName());
                // A job never sent printed nothing; one the scheduler may
                // have had printed what it said, and perhaps more.
                if (job == Job::ToSend)
                    return ending(0, false, silent + QStringLiteral("ラベルは送っていません。"));
                return ending(documentsOut(), true, silent);
            }
            tell(kWaitingForSystem);
            pauseMs = kSilencePauseMs;
            return std::nullopt;
        };
        std::optional<DocumentsEnd> over;
        try {
            CupsConnection &c = runConnection(cancelAsked() ? OnRunCancel::GoOn : OnRunCancel::GiveUp);
            if (job == Job::ToSend) {
                // Cancelled before its labels went: nothing printed.
                if (cancelAsked())
                    return ending(0, false, QString());
                Sent s;
                try {
                    s = sendJob(c, pdf, m_jobName);
                } catch (const Cancelled &) {
                    throw;
                } catch (const Failure &refused) {
                    // The scheduler said no: no job was made.
                    return ending(0, false, refused.description());
                }
                c.throwIfAbandoned();
                if (s.id) {
                    m_jobId = s.id;
                    job = Job::Sent;
                } else if (s.maybeMade) {
                    job = Job::Lost;
                    over = noAnswer();
                } else {
                    over = noAnswer();
                }
            } else if (job == Job::Lost) {
                const std::optional<int> found = findSentJob(c);
                c.throwIfAbandoned();
                if (!found) {
                    over = noAnswer();
                } else {
                    silence.invalidate();
                    m_jobId = *found;
                    // Never made: sent again, unless the operator cancelled.
                    job = *found ? Job::Sent : Job::ToSend;
                }
            } else {
                bool answered = true;
                if ((cancelAsked() || !problem.isEmpty()) && !cancelSent) {
                    answered = cancelRunJob(c);
                    c.throwIfAbandoned();
                    if (answered) {
                        cancelSent = true;
                        sinceCancel.start();
                    }
                }
                JobNews n;
                if (answered) {
                    n = askJob(c, m_jobId);
                    c.throwIfAbandoned();
                    answered = n.answered;
                }
                const bool jobEnded = n.gone || n.state >= IPP_JSTATE_CANCELED;
                if (answered && !jobEnded && (!sinceQueueAsked.isValid() || sinceQueueAsked.elapsed() >= 1000)) {
                    queue = askQueueState(c, m_name);
                    c.throwIfAbandoned();
                    sinceQueueAsked.restart();
                    answered = queue.answered;
                }
                if (!answered) {
                    over = noAnswer(); // the connection is gone from here on
                } else {
                    silence.invalidate();
                    const bool news = n.pages > pagesOut || n.state != last.state || n.reasons != last.reasons;
                    pagesOut = std::max(pagesOut, n.pages);
                    const bool processed = last.processed || n.processed;
                    last = n;
                    last.processed = processed;
                    if (news) {
                        sinceNews.restart();
                        pauseMs = kFirstPauseMs;
                    } else {
                        pauseMs = std::min(pauseMs * 3 / 2, kLongestPauseMs);
                    }
                    showProgress(n.state == IPP_JSTATE_COMPLETED);
                    if (jobEnded)
                        over = ended(n, c);
                    else
                        waitFor(n);
                    // Jobs the scheduler neither ends nor lets go are not
                    // waited for without end.
                    if (!over && cancelSent && sinceCancel.elapsed() >= kEndAfterCancelMs)
                        over = ending(documentsOut(), last.processed, problem);
                }
            }
        } catch (const Cancelled &) {
            // The cancel came while the scheduler was being asked: it is
            // carried out on a connection that sees it through.
            m_link.reset();
            continue;
        }
        if (over)
            return *over;
        QElapsedTimer paused;
        paused.start();
        const bool cancelled = cancelAsked();
        while (paused.elapsed() < pauseMs && cancelAsked() == cancelled)
            QThread::msleep(ulong(qBound(qint64(1), pauseMs - paused.elapsed(), qint64(kFirstPauseMs))));
    }
}

} // namespace zl::printer
