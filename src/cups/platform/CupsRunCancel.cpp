// Taking back a run's labels not yet printed.
#include "cups/platform/CupsPrinter.h"

#include "cups/platform/CupsConnection.h"
#include "cups/platform/CupsRequests.h"

#include "common/Failure.h"

#include <cups/cups.h>

namespace zl::printer {

void CupsPrinter::cancelUnfinishedJobs(CupsConnection &c)
{
    auto toCancel = [&] {
        QList<int> ids;
        for (const RunJob &j : m_runJobs)
            if (!j.ended && !j.endSeen && !j.cancelledByRun)
                ids << j.id;
        return ids;
    };
    if (toCancel().isEmpty())
        return;
    // The scheduler cancels a job that has just printed along with the
    // others (and it is then counted as not printed, and printed again):
    // the ends it knows of are read first.
    if (m_events.subscribed())
        takeJobEvents(c);
    c.throwIfAbandoned();
    const QList<int> ids = toCancel();
    if (ids.isEmpty())
        return;
    if (!cancelJobsAtOnce(c, ids)) {
        c.throwIfAbandoned(); // asked again, by the cancel's own connection
        if (c.timedOut())
            throw Failure(jobFailure(m_name, QStringLiteral("の印刷ジョブを取り消せません"), c));
        const QByteArray queue = m_name.toUtf8();
        for (const int id : ids) {
            // IPP Cancel-Job: the job leaves the queue, or stops at the
            // printer if it is being printed.
            cupsCancelJob2(c.http(), queue.constData(), id, 0);
            c.throwIfAbandoned();
            for (RunJob &j : m_runJobs)
                if (j.id == id)
                    j.cancelledByRun = true;
            if (c.timedOut())
                throw Failure(jobFailure(m_name, QStringLiteral("の印刷ジョブを取り消せません"), c));
        }
        return;
    }
    for (RunJob &j : m_runJobs)
        if (ids.contains(j.id))
            j.cancelledByRun = true;
}

bool CupsPrinter::cancelJobsAtOnce(CupsConnection &c, const QList<int> &ids)
{
    ipp_t *request = queueRequest(IPP_OP_CANCEL_JOBS, m_name);
    ippAddIntegers(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-ids", int(ids.size()), ids.constData());
    // CUPS' stock policy keeps Cancel-Jobs to its administrators: where it
    // asks who is asking, the jobs are cancelled one by one instead, never
    // by asking the operator for a password.
    cupsSetPasswordCB2([](const char *, http_t *, const char *, const char *, void *) -> const char * { return nullptr; },
                       nullptr);
    ipp_t *response = cupsDoRequest(c.http(), request, "/jobs/");
    cupsSetPasswordCB2(nullptr, nullptr);
    const bool done = answeredOk(response);
    ippDelete(response);
    return done;
}

} // namespace zl::printer
