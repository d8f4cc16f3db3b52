// The run's questions to the scheduler about its job and its queue, and
// the requests that take the job back or find it again.
#include "cups/platform/CupsJobNews.h"

#include "cups/platform/CupsConnection.h"
#include "cups/platform/CupsPrinter.h"
#include "cups/platform/CupsRequests.h"

#include "common/Failure.h"

#include <algorithm>
#include <cups/cups.h>

namespace zl::printer {

namespace {

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

} // namespace

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

QString whyInWords(const JobNews &job, const QueueNews &queue)
{
    const QString words = reasonsInWords(job.reasons + queue.reasons);
    const QString message = !job.message.isEmpty() ? job.message : queue.message;
    return !words.isEmpty() || message.isEmpty() ? words : QStringLiteral("（%1）").arg(message);
}

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

} // namespace zl::printer
