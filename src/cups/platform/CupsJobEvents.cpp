#include "cups/platform/CupsJobEvents.h"

#include "cups/platform/CupsConnection.h"
#include "cups/platform/CupsRequests.h"

#include <cups/cups.h>

namespace zl::printer {

namespace {
// Long enough for any run; a program that dies mid-run leaves a
// subscription behind for no longer than this.
constexpr int kLeaseSeconds = 3600;

// A question about the scheduler as a whole. The subscription is the
// scheduler's, not the queue's: CUPS tells a queue's subscribers only of
// the jobs its printer holds at the time, and a job cancelled or deleted
// while it waits in the queue ends without a word to them.
ipp_t *schedulerRequest(ipp_op_t operation)
{
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(), "/");
    ipp_t *request = ippNewRequest(operation);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    return request;
}
} // namespace

bool CupsJobEvents::subscribe(CupsConnection &c)
{
    m_id = 0;
    m_next = 1;
    ipp_t *request = schedulerRequest(IPP_OP_CREATE_PRINTER_SUBSCRIPTIONS);
    ippAddString(request, IPP_TAG_SUBSCRIPTION, IPP_TAG_KEYWORD, "notify-pull-method", nullptr, "ippget");
    // Only the ends: a job's other changes (queued, printing, its pages)
    // tell the run nothing, and would push out the ends it waits for from
    // the events the scheduler keeps.
    ippAddString(request, IPP_TAG_SUBSCRIPTION, IPP_TAG_KEYWORD, "notify-events", nullptr, "job-completed");
    ippAddInteger(request, IPP_TAG_SUBSCRIPTION, IPP_TAG_INTEGER, "notify-lease-duration", kLeaseSeconds);
    ipp_t *response = cupsDoRequest(c.http(), request, "/");
    if (answeredOk(response))
        if (ipp_attribute_t *id = ippFindAttribute(response, "notify-subscription-id", IPP_TAG_INTEGER))
            m_id = ippGetInteger(id, 0);
    ippDelete(response);
    return m_id > 0;
}

std::optional<QHash<int, int>> CupsJobEvents::endedJobs(CupsConnection &c)
{
    if (!m_id)
        return std::nullopt;
    ipp_t *request = schedulerRequest(IPP_OP_GET_NOTIFICATIONS);
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-subscription-ids", m_id);
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-sequence-numbers", m_next);
    ipp_t *response = cupsDoRequest(c.http(), request, "/");
    if (!answeredOk(response)) {
        // A refusal is for good (the subscription is gone); a question
        // without an answer is the connection's, and the listing that
        // follows asks again.
        if (response)
            m_id = 0;
        ippDelete(response);
        return std::nullopt;
    }
    const int asked = m_next;
    int first = 0;
    QHash<int, int> ended;
    int sequence = 0, subscription = 0, job = 0, state = 0;
    auto take = [&] {
        if (sequence && subscription == m_id) {
            first = first ? qMin(first, sequence) : sequence;
            m_next = qMax(m_next, sequence + 1);
            if (job && state >= IPP_JSTATE_CANCELED)
                ended.insert(job, state);
        }
        sequence = subscription = job = state = 0;
    };
    for (ipp_attribute_t *a = ippFirstAttribute(response); a; a = ippNextAttribute(response)) {
        const char *name = ippGetName(a);
        if (!name) {
            take();
            continue;
        }
        if (ippGetGroupTag(a) != IPP_TAG_EVENT_NOTIFICATION)
            continue;
        if (qstrcmp(name, "notify-sequence-number") == 0)
            sequence = ippGetInteger(a, 0);
        else if (qstrcmp(name, "notify-subscription-id") == 0)
            subscription = ippGetInteger(a, 0);
        else if (qstrcmp(name, "notify-job-id") == 0)
            job = ippGetInteger(a, 0);
        else if (qstrcmp(name, "job-state") == 0)
            state = ippGetInteger(a, 0);
    }
    take();
    ippDelete(response);
    // The scheduler starts at its oldest event kept: a later one than asked
    // for means ends were dropped unread.
    if (first > asked)
        return std::nullopt;
    return ended;
}

void CupsJobEvents::unsubscribe(CupsConnection &c)
{
    if (!m_id)
        return;
    ipp_t *request = schedulerRequest(IPP_OP_CANCEL_SUBSCRIPTION);
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-subscription-id", m_id);
    ippDelete(cupsDoRequest(c.http(), request, "/"));
    m_id = 0;
}

} // namespace zl::printer
