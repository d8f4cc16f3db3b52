#pragma once
// The test scheduler that scripts/cups-up starts, as the tests and benchmarks
// that make it hang see it.
#include <QString>

namespace zltest {

// The test scheduler's process id; empty when unknown.
QString schedulerPid();

// Stops the scheduler `pid` (SIGSTOP) until thaw() or the end of its life:
// it then takes connections and answers nothing, as a print server that hangs.
class FrozenScheduler {
public:
    explicit FrozenScheduler(const QString &pid);
    ~FrozenScheduler() { thaw(); }
    FrozenScheduler(const FrozenScheduler &) = delete;
    FrozenScheduler &operator=(const FrozenScheduler &) = delete;
    bool frozen() const { return m_frozen; }
    void thaw();

private:
    QString m_pid;
    bool m_frozen = false;
};

// Ends the test scheduler (SIGTERM, as a service manager restarting it does)
// and waits until it is gone; false when it would not end. It keeps its
// queues and unfinished jobs for the next start.
bool stopScheduler();
// Starts the test scheduler again as scripts/cups-up does, from the
// configuration beside its pid file, and waits until its socket answers;
// false when it does not within a minute.
bool startScheduler();

// Connections waiting on the Unix socket `socket` that its server has not
// taken yet: a question of the program's that has reached a frozen scheduler.
int waitingConnections(const QString &socket);

} // namespace zltest
