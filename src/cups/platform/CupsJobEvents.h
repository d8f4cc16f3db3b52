#pragma once
// How a run learns that its jobs ended: a subscription to the scheduler's
// job-completed events, read back with Get-Notifications (the "ippget" pull
// method), the way CUPS' own clients follow their jobs. Reading the events
// since the last look costs the scheduler next to nothing, where listing
// the run's jobs (Get-Jobs) has it load every one of them.
#include <QHash>
#include <optional>

namespace zl::printer {

class CupsConnection;

class CupsJobEvents {
public:
    // Subscribes to the ends of the scheduler's jobs; false when it refuses
    // or offers no subscriptions: the run's jobs are then listed.
    bool subscribe(CupsConnection &c);
    bool subscribed() const { return m_id > 0; }
    // The jobs that ended since the last call, each with the
    // state it ended in. Nothing when the events cannot tell: some were
    // dropped before they were read (the scheduler keeps only so many), the
    // subscription is gone (with its queue, or its lease), or the question
    // got no answer; only a listing of the jobs tells then.
    std::optional<QHash<int, int>> endedJobs(CupsConnection &c);
    // Ends the subscription. One never ended lapses with its lease.
    void unsubscribe(CupsConnection &c);

private:
    int m_id = 0;
    int m_next = 1; // the sequence number of the first event not yet read
};

} // namespace zl::printer
