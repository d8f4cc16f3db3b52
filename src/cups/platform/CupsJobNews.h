#pragma once
// What the scheduler says of a run's job and of its queue while the job
// prints, and why labels wait or did not print, in the operator's words.
#include <QString>
#include <QStringList>
#include <cups/ipp.h>

namespace zl::printer {

class CupsConnection;

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

// A request about the run's job, addressed to it.
ipp_t *jobRequest(ipp_op_t operation, int job);
// Null answers (answered false) when the scheduler did not answer.
JobNews askJob(CupsConnection &c, int job);
QueueNews askQueueState(CupsConnection &c, const QString &queue);

// Why labels wait or did not print, from what the job and its printer say:
// the printer's own state in words where there are words for it, the
// print system's message in brackets only where there are none.
QString whyInWords(const JobNews &job, const QueueNews &queue);
// The same, as an aside after a sentence's subject.
QString inBrackets(const QString &why);
// Whether the printer's reasons stop the labels (reports and warnings do not).
bool holdsUp(const QStringList &printerReasons);

} // namespace zl::printer
