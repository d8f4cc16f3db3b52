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
// jobs: the shortest while they end one after another, growing to the
// longest while none does.
constexpr int kFirstPauseMs = 50;
constexpr int kLongestPauseMs = 500;
constexpr qint64 kSilenceListedAfterMs = 10000;
} // namespace

void CupsPrinter::checkQueue(CupsConnection &c, bool forNewJobs)
{
    // Asked often, so only the three facts wanted: the whole destination
    // (cupsGetNamedDest) costs a few milliseconds more.
    ipp_t *request = printerAttributesRequest(m_name);
    static const char *const wanted[] = {"printer-state", "printer-is-accepting-jobs", "printer-state-message"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 3, nullptr, wanted);
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
    ipp_attribute_t *message = ippFindAttribute(response, "printer-state-message", IPP_TAG_TEXT);
    const bool stopped = state && ippGetInteger(state, 0) == IPP_PSTATE_STOPPED;
    const bool refusing = accepting && !ippGetBoolean(accepting, 0);
    QString why = message ? utf8Text(ippGetString(message, 0, nullptr)) : QString();
    ippDelete(response);
    why = why.isEmpty() ? QString() : QStringLiteral("（%1）").arg(why);
    if (stopped)
        throw Failure(QStringLiteral("プリンター「%1」は停止しています%2。プリンターの電源と用紙を確認し、CUPSで"
                                     "プリンターを再開してから（cupsenable %1）、もう一度印刷してください。")
                          .arg(m_name, why));
    // A queue that refuses new jobs still prints those it holds.
    if (refusing && forNewJobs)
        throw Failure(QStringLiteral("プリンター「%1」は印刷ジョブを受け付けていません%2。CUPSで受け付けを再開してから"
                                     "（cupsaccept %1）、もう一度印刷してください。")
                          .arg(m_name, why));
}

namespace {

// A job's id and how far it got, as Get-Jobs lists it.
struct JobState {
    int id = 0;
    int state = 0;
    QStringList reasons;
    QString message;
};


} // namespace

QString CupsPrinter::printerProblem(CupsConnection &c)
{
    try {
        checkQueue(c, false);
    } catch (const Cancelled &) {
        throw;
    } catch (const Failure &f) {
        return f.description();
    }
    return {};
}

void CupsPrinter::updateJobs(CupsConnection &c)
{
    if (std::all_of(m_runJobs.begin(), m_runJobs.end(), [](const RunJob &j) { return j.ended; }))
        return;
    if (m_events.subscribed()) {
        const bool toList = takeJobEvents(c);
        // Should the scheduler ever let a job go without a word, a long
        // silence is checked by a listing, long before the run's own
        // limit for a printer that prints nothing.
        if (!toList && m_lastNews.isValid() && m_lastNews.elapsed() < kSilenceListedAfterMs)
            return;
    }
    listJobs(c);
    m_lastNews.start();
}

bool CupsPrinter::takeJobEvents(CupsConnection &c)
{
    const std::optional<QHash<int, int>> ended = m_events.endedJobs(c);
    if (!ended)
        return true;
    for (RunJob &j : m_runJobs) {
        if (j.ended)
            continue;
        const auto e = ended->constFind(j.id);
        if (e == ended->constEnd())
            continue;
        // One the run cancelled needs no word on why it did not print.
        if (e.value() == IPP_JSTATE_COMPLETED || j.cancelledByRun) {
            j.ended = true;
            j.printed = e.value() == IPP_JSTATE_COMPLETED;
        } else {
            j.endSeen = true;
        }
        m_lastNews.start();
    }
    return std::any_of(m_runJobs.begin(), m_runJobs.end(), [](const RunJob &j) { return !j.ended && j.endSeen; });
}

void CupsPrinter::listJobs(CupsConnection &c)
{
    int first = 0, last = 0;
    for (const RunJob &j : m_runJobs)
        if (!j.ended) {
            first = first ? qMin(first, j.id) : j.id;
            last = qMax(last, j.id);
        }
    if (!first)
        return;
    // Every queue's jobs from the run's first unfinished one: a queue
    // deleted mid-run no longer lists its own.
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(), "/");
    auto ask = [&] {
        ipp_t *request = ippNewRequest(IPP_OP_GET_JOBS);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "all");
        ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "first-job-id", first);
        ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "limit", last - first + 1);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
        static const char *const wanted[] = {"job-id", "job-state", "job-state-reasons", "job-printer-state-message"};
        ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 4, nullptr, wanted);
        return cupsDoRequest(c.http(), request, "/");
    };
    // This question is asked every few milliseconds for as long as labels
    // print; a busy scheduler that drops one of them (no answer at all, the
    // connection cut) has not lost the jobs: asking again on the connection,
    // which libcups opens anew, must not end a run that is printing.
    ipp_t *response = ask();
    for (int again = 0; !response && again < 3 && !c.timedOut() && !c.abandoned(); ++again) {
        QThread::msleep(100);
        response = ask();
    }
    if (!response || ippGetStatusCode(response) > IPP_STATUS_OK_EVENTS_COMPLETE) {
        ippDelete(response);
        throw Failure(jobFailure(m_name, QStringLiteral("の印刷ジョブの状態が分かりません"), c));
    }
    cupsAnswered();
    QList<JobState> jobs{JobState{}};
    for (ipp_attribute_t *a = ippFirstAttribute(response); a; a = ippNextAttribute(response)) {
        const char *name = ippGetName(a);
        if (!name)
            jobs.append(JobState{});
        else if (qstrcmp(name, "job-id") == 0)
            jobs.last().id = ippGetInteger(a, 0);
        else if (qstrcmp(name, "job-state") == 0)
            jobs.last().state = ippGetInteger(a, 0);
        else if (qstrcmp(name, "job-state-reasons") == 0)
            jobs.last().reasons = keywordsOf(a);
        else if (qstrcmp(name, "job-printer-state-message") == 0)
            jobs.last().message = utf8Text(ippGetString(a, 0, nullptr));
    }
    ippDelete(response);
    // A job no longer listed is gone with its queue (deleted mid-run): it
    // ended without printing.
    for (RunJob &j : m_runJobs) {
        if (j.ended || j.id < first || j.id > last)
            continue;
        if (std::none_of(jobs.begin(), jobs.end(), [&](const JobState &js) { return js.id == j.id; })) {
            j.ended = true;
            if (!j.cancelledByRun && m_jobsProblem.isEmpty())
                m_jobsProblem = QStringLiteral("プリンター「%1」のラベル（ジョブ番号 %2）が印刷されないまま消えました。"
                                               "プリンターが削除されていないか、CUPSで確かめてください。")
                                    .arg(m_name)
                                    .arg(j.id);
        }
    }
    for (const JobState &js : jobs) {
        for (RunJob &j : m_runJobs) {
            if (j.id != js.id || j.ended || js.state < IPP_JSTATE_STOPPED)
                continue;
            // A stopped job waits for the queue to be restarted: it is the
            // queue's state, judged with the printer's.
            if (js.state == IPP_JSTATE_STOPPED)
                continue;
            j.ended = true;
            j.printed = js.state == IPP_JSTATE_COMPLETED;
            if (!j.printed && !j.cancelledByRun && m_jobsProblem.isEmpty()) {
                QString why = reasonsInWords(js.reasons);
                const QString printerWhy = stalledReasons(c);
                if (!printerWhy.isEmpty())
                    why = why.isEmpty() ? printerWhy.mid(1, printerWhy.size() - 2)
                                        : why + QStringLiteral("、") + printerWhy.mid(1, printerWhy.size() - 2);
                if (!js.message.isEmpty() && !why.contains(js.message))
                    why = why.isEmpty() ? js.message : why + QStringLiteral("、") + js.message;
                m_jobsProblem = QStringLiteral("プリンター「%1」でラベルが印刷されませんでした（ジョブ番号 %2 を%3%4）。"
                                               "プリンターの用紙と状態を確かめてから、続きを印刷してください。")
                                    .arg(m_name)
                                    .arg(j.id)
                                    .arg(js.state == IPP_JSTATE_CANCELED ? QStringLiteral("取り消しました")
                                                                         : QStringLiteral("中止しました"))
                                    .arg(why.isEmpty() ? QString() : QStringLiteral(": %1").arg(why));
            }
        }
    }
}

DocumentsEnd CupsPrinter::finishDocuments(const DocumentsWait &wait)
{
    DocumentsEnd end;
    end.known = true;
    auto tally = [&] {
        end.printed.clear();
        int ended = 0;
        for (const RunJob &j : m_runJobs) {
            end.printed << j.printed;
            ended += j.ended ? 1 : 0;
        }
        return ended;
    };
    if (m_runJobs.isEmpty())
        return end;
    // Until the operator cancels, a question in progress is given up for
    // the cancel; from then on the questions carry it out and are answered.
    auto cancelAsked = [&] { return wait.cancel && wait.cancel(); };
    CupsConnection *connection = nullptr;
    auto connect = [&] {
        connection = &runConnection(cancelAsked() ? OnRunCancel::GoOn : OnRunCancel::GiveUp);
        if (!connection->http() && !connection->abandoned())
            throw Failure(jobFailure(m_name, QStringLiteral("の印刷ジョブの状態が分かりません"), *connection));
    };
    connect();
    QElapsedTimer sinceProgress, sincePrinterAsked;
    sinceProgress.start();
    sincePrinterAsked.start();
    int endedBefore = -1;
    int pauseMs = kFirstPauseMs;
    bool cancelled = false;
    for (;;) {
        try {
            CupsConnection &c = *connection;
            c.throwIfAbandoned();
            if (cancelAsked()) {
                cancelUnfinishedJobs(c);
                cancelled = true;
            }
            updateJobs(c);
            const int ended = tally();
            // Asked again soon while labels come out, less and less often
            // while none does.
            pauseMs = ended != endedBefore ? kFirstPauseMs : qMin(pauseMs * 3 / 2, kLongestPauseMs);
            if (ended != endedBefore) {
                endedBefore = ended;
                sinceProgress.restart();
            }
            if (wait.progress)
                wait.progress(int(m_runJobs.size()), ended, int(end.printed.count(true)));
            if (ended == m_runJobs.size())
                break;
            // A printer that fails, stops or prints nothing for a long
            // while ends the run: the jobs it still holds are taken back, so
            // that what the run reports is what came out.
            QString problem = m_jobsProblem;
            if (problem.isEmpty() && sincePrinterAsked.elapsed() >= 1000) {
                sincePrinterAsked.restart();
                problem = printerProblem(c);
            }
            if (problem.isEmpty() && sinceProgress.elapsed() >= kJobsStallSeconds * 1000)
                problem = QStringLiteral("プリンター「%1」が%2秒の間ラベルを1枚も印刷しませんでした%3。残りのラベルは取り消しました。"
                                         "プリンターの電源、接続と用紙を確かめてから、続きを印刷してください。")
                              .arg(m_name)
                              .arg(kJobsStallSeconds)
                              .arg(stalledReasons(c));
            if (!problem.isEmpty()) {
                if (m_jobsProblem.isEmpty())
                    m_jobsProblem = problem;
                cancelUnfinishedJobs(c);
                // Jobs the scheduler neither ends nor lets go are not
                // waited for without end: they did not print.
                if (sinceProgress.elapsed() >= kJobsStallSeconds * 1000 + 10000) {
                    for (RunJob &j : m_runJobs)
                        j.ended = true;
                    break;
                }
            }
        } catch (const Cancelled &) {
            // The cancel came while the scheduler was being asked: it is
            // carried out on a connection that sees it through.
            connect();
            continue;
        }
        // The window is kept alive and a cancel taken up at once however
        // long the pause.
        QElapsedTimer paused;
        paused.start();
        while (paused.elapsed() < pauseMs && (cancelled || !cancelAsked())) {
            QThread::msleep(ulong(qBound(qint64(1), pauseMs - paused.elapsed(), qint64(kFirstPauseMs))));
            if (wait.progress)
                wait.progress(int(m_runJobs.size()), endedBefore, int(end.printed.count(true)));
        }
    }
    // Done with: the run's jobs all ended.
    if (m_events.subscribed() && !connection->abandoned() && !connection->timedOut())
        m_events.unsubscribe(*connection);
    end.problem = m_jobsProblem;
    return end;
}

QString CupsPrinter::stalledReasons(CupsConnection &c)
{
    ipp_t *request = printerAttributesRequest(m_name);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "printer-state-reasons");
    ipp_t *response = cupsDoRequest(c.http(), request, "/");
    const QString why = response ? reasonsInWords(keywordsOf(ippFindAttribute(response, "printer-state-reasons", IPP_TAG_KEYWORD)))
                                 : QString();
    ippDelete(response);
    return why.isEmpty() ? QString() : QStringLiteral("（%1）").arg(why);
}

} // namespace zl::printer
