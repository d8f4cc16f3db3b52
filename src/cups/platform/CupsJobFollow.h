#pragma once
// The run's one job followed to its end (CupsPrinter::finishDocuments):
// following the job lives in CupsJobTracking.cpp, what each label came to
// and the words for it in CupsJobFates.cpp.
#include "cups/platform/CupsJobNews.h"
#include "cups/platform/CupsPrinter.h"

#include <QElapsedTimer>
#include <optional>
#include <utility>

namespace zl::printer {

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
    JobFollow(CupsPrinter &printer, const DocumentsWait &wait, QByteArray pdf);

    DocumentsEnd run();

private:
    enum class Job { ToSend, Lost, Sent };
    using Step = std::optional<DocumentsEnd>; // the end, or nothing to go on

    bool cancelAsked() const { return m_wait.cancel && m_wait.cancel(); }

    void tell(const QString &what);

    // What each label came to (CupsJobFates.cpp).

    // The documents whose every page lies within the first `pages`.
    int documentsWithin(int pages) const;

    // The documents with a page among the first `pages`.
    int documentsTouched(int pages) const;
    int documentsOut() const { return m_completed ? m_documents : documentsWithin(m_printerPages); }

    // The documents that may have reached the printer: those the print
    // system has processed, and the one it is making; every one when it
    // counts no pages (a raw queue) and has started the job.
    int documentsReached() const;

    void showProgress();

    // What the printer itself says, where it says anything.
    void askPrinterItself();

    // The job is over (or no more is to be found out): each document's
    // fate from what is known.
    DocumentsEnd ending(const QString &problem);

    // The print system starts a job again from its first page after a
    // restart of its own, or once a job taken off the printer (held,
    // stopped) goes on: what came out before may come out twice.
    void followStarts(const JobNews &n);

    // The job ended: completed, or cancelled, aborted or gone.
    DocumentsEnd ended(const JobNews &n, CupsConnection &c);

    // Following the job (CupsJobTracking.cpp).

    // A question that got no answer: its connection is dropped, and the
    // print system waited for, a while.
    Step noAnswer();

    Step send(CupsConnection &c);

    // After the answer to sending it was lost: the job by its name.
    Step findAgain(CupsConnection &c);

    // One look at the job (and, once a second, its queue and the printer),
    // taking it back first when the operator or a problem asks for that.
    Step look(CupsConnection &c);

    // The job waits or prints: what holds it up is told, and a printer that
    // prints nothing for long, or a job held for long, has the job taken
    // back.
    void waitFor(const JobNews &n);

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
    int m_pauseMs; // between two looks at the job
    JobNews m_last;
    QueueNews m_queue;
    QElapsedTimer m_silence, m_sinceNews, m_heldFor, m_sinceCancel, m_sinceQueueAsked, m_sincePrinterAsked, m_printingFor;
};

} // namespace zl::printer
