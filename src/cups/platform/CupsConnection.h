#pragma once
// One connection to the print scheduler with a time limit on every answer.
// libcups on its own waits for ever for a scheduler that has stopped
// answering; every question the program asks goes through here instead, so
// such a scheduler shows up as a clear failure within seconds.
#include <QString>
#include <atomic>
#include <functional>
#include <memory>

typedef struct _http_s http_t;
class QThreadPool;

namespace zl::printer {

// Seconds a question to the scheduler may take, connecting included.
int cupsTimeLimitSeconds();
void setCupsTimeLimitSeconds(int seconds);

// The scheduler the program talks to (CUPS_SERVER, client.conf, or the local
// one), as "host:port" or a socket path, for messages.
QString cupsServerName();

// Where CUPS keeps the machine's client settings (client.conf, lpoptions):
// CUPS_SERVERROOT, else /etc/cups, as libcups looks for them.
QString cupsServerRoot();

// The print server someone named for this program, as libcups takes it:
// CUPS_SERVER, else the user's ~/.cups/client.conf ServerName, else the
// machine's. Empty when none is named or the one named is a socket on this
// machine: a scheduler is then expected only if one runs here.
QString namedPrintServer();

// What a connection's waits do when the run on their thread is cancelled
// (RunCancelWatch): give up at once, or go on (the questions that carry the
// cancel out).
enum class OnRunCancel { GiveUp, GoOn };

class CupsConnection {
public:
    // probe: ask one short question first, for callers whose next calls
    // are libcups' own (they retry, each waiting the limit out again).
    // Callers whose first question is their own request need none.
    explicit CupsConnection(bool probe = true, OnRunCancel onCancel = OnRunCancel::GiveUp);
    ~CupsConnection();
    CupsConnection(const CupsConnection &) = delete;
    CupsConnection &operator=(const CupsConnection &) = delete;

    // Null when the scheduler could not be reached in time. Every question
    // takes the connection here: its time limit counts from then.
    http_t *http() const;
    // True once a question ran out of time on this connection.
    bool timedOut() const { return m_timedOut; }
    // True once the run's cancel cut a question short; later questions on
    // this connection fail at once.
    bool abandoned() const { return m_abandoned.load(); }
    // True when the scheduler has closed the connection since its last
    // answer (its idle time-out, a restart): a connection kept for a whole
    // run is then opened anew.
    bool closedByScheduler() const;
    // Throws zl::Cancelled when the run's cancel cut a question short.
    void throwIfAbandoned() const;
    // What to tell the operator about the last failure on this connection
    // (not reached, no answer in time, or the scheduler's own error text).
    QString problem() const;

private:
    static int onTimeout(http_t *http, void *self);
    http_t *m_http = nullptr;
    bool m_timedOut = false;
    std::atomic<bool> m_abandoned{false};
    bool m_givesUp = false;
    // Looks for the run's cancel beside the connection's own waits: some of
    // libcups' waits (a second for "100 Continue" in every request) call
    // nothing back.
    class CancelWaker;
    std::unique_ptr<CancelWaker> m_waker;
    mutable qint64 m_questionSince = 0; // steady clock, ms
};

// Gives `question` to one of the workers that ask the printing system what
// the windows show, so that the windows' thread never waits for it; false
// (and not asked) before the application exists to own them.
bool handToWorker(std::function<void()> question);
// Until every question handed to them has been answered or given up.
void waitForAskingWorkers();

// True for a while after a question ran out of time, until the scheduler
// answers again: callers that only want a list then use what they knew
// instead of making the operator wait once more.
bool cupsRecentlySilent();
// Called after a question was answered.
void cupsAnswered();

} // namespace zl::printer
