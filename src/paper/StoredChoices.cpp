#include "paper/StoredChoices.h"

#include "common/Failure.h"
#include "settings/SettingsTable.h"

#include <QFile>
#include <cerrno>
#include <mutex>
#include <sys/stat.h>
#include <tuple>

namespace zl::printer {

namespace {

// A table as it lies on disk. Tables are replaced by a rename, so a new
// version is a new file even when written within the same clock tick.
struct Stamp {
    QString path;
    int error = 0;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    long modifiedSec = 0, modifiedNsec = 0, changedSec = 0, changedNsec = 0;

    auto key() const
    {
        return std::tie(path, error, device, inode, size, modifiedSec, modifiedNsec, changedSec, changedNsec);
    }
    bool operator==(const Stamp &other) const { return key() == other.key(); }
};

Stamp stampOf(const QString &path)
{
    Stamp s;
    s.path = path;
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        s.error = errno;
        return s;
    }
    s.device = st.st_dev;
    s.inode = st.st_ino;
    s.size = st.st_size;
    s.modifiedSec = st.st_mtim.tv_sec;
    s.modifiedNsec = st.st_mtim.tv_nsec;
    s.changedSec = st.st_ctim.tv_sec;
    s.changedNsec = st.st_ctim.tv_nsec;
    return s;
}

StoredChoices readChoices()
{
    StoredChoices c;
    try {
        c.layout = readLayoutRow();
    } catch (const Failure &) {
    }
    try {
        c.sheet = readSheetChoice();
    } catch (const Failure &) {
    }
    try {
        c.scale = readLabelScale();
    } catch (const Failure &) {
    }
    return c;
}

} // namespace

StoredChoices storedChoices()
{
    // Process-wide as the tables it stands for are: the screens and the runs
    // of every thread read them, at every record.
    static struct {
        std::mutex mutex;
        std::optional<std::pair<Stamp, Stamp>> readAt;
        StoredChoices read;
    } cache;
    // Stamped before reading: a table replaced during the read is read again
    // next time.
    const std::pair<Stamp, Stamp> now{stampOf(settings::tablePath(settings::kLayoutTable)),
                                      stampOf(settings::tablePath(kSheetTable))};
    std::lock_guard<std::mutex> lock(cache.mutex);
    if (cache.readAt != now) {
        cache.read = readChoices();
        cache.readAt = now;
    }
    return cache.read;
}

} // namespace zl::printer
