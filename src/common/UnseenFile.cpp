#include "common/UnseenFile.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zl {

namespace {

QByteArray native(const QString &path)
{
    return QFile::encodeName(path);
}

// Naming an unnamed file goes through /proc without the capability that
// links a descriptor directly; a system without /proc gets named files.
// ZENLABO_NAMED_TEMPORARY_FILES makes this system behave as one whose file
// system has no unnamed files, so that way is tried here too.
bool unnamedFilesPossible()
{
    return !qEnvironmentVariableIsSet("ZENLABO_NAMED_TEMPORARY_FILES") && ::access("/proc/self/fd", X_OK) == 0;
}

bool linkUnnamed(int fd, const QByteArray &path)
{
    if (::linkat(fd, "", AT_FDCWD, path.constData(), AT_EMPTY_PATH) == 0)
        return true;
    if (errno == EEXIST)
        return false;
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    return ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, path.constData(), AT_SYMLINK_FOLLOW) == 0;
}

bool renameNoReplace(const QByteArray &from, const QByteArray &to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // File systems without it: a second name, then the first goes.
    if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
        return true;
    }
    if (errno == EEXIST)
        return false;
    // Nor links (FAT): look first. A file made in between is the one risk left.
    struct stat st {};
    if (::lstat(to.constData(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.constData(), to.constData()) == 0;
}

// The folder itself is locked: shared while a named temporary file is made
// and locked, exclusive while the folder is cleared, so a clearing never
// meets a file between its creation and its lock.
class FolderLock {
public:
    FolderLock(const QString &folder, int operation)
        : m_fd(::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        int locked = -1;
        while (m_fd >= 0 && (locked = ::flock(m_fd, operation)) != 0 && errno == EINTR) {
        }
        if (m_fd >= 0 && locked != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~FolderLock()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;
    bool held() const { return m_fd >= 0; }

private:
    int m_fd;
};

} // namespace

UnseenFile::~UnseenFile()
{
    // Still locked: no clearing can have taken it, nor anyone else made a file of that name.
    if (!m_temporary.isEmpty())
        ::unlink(native(m_temporary).constData());
    if (m_fd >= 0)
        ::close(m_fd);
}

QString UnseenFile::randomName() const
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QString name = m_prefix;
    for (int i = 0; i < 6; ++i)
        name += QLatin1Char(letters[QRandomGenerator::global()->bounded(int(sizeof letters - 1))]);
    return QDir(m_folder).filePath(name + m_suffix);
}

bool UnseenFile::create(const QString &folder, const QString &prefix, const QString &suffix)
{
    m_folder = folder;
    m_prefix = prefix;
    m_suffix = suffix;
    if (unnamedFilesPossible()) {
        m_fd = ::open(native(folder).constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
        if (m_fd >= 0) {
            // Locked before it has a name, so the temporary name replace() gives it is never free to take.
            ::flock(m_fd, LOCK_EX | LOCK_NB);
            return true;
        }
        // Old kernels read the flag as "open the folder"; the rest refuse it.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            return false;
    }
    const FolderLock making(folder, LOCK_SH);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString path = randomName();
        m_fd = ::open(native(path).constData(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0666);
        if (m_fd >= 0) {
            ::flock(m_fd, LOCK_EX | LOCK_NB);
            m_temporary = path;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

bool UnseenFile::place(const QString &path)
{
    const bool placed = m_temporary.isEmpty() ? linkUnnamed(m_fd, native(path))
                                              : renameNoReplace(native(m_temporary), native(path));
    if (placed)
        m_temporary.clear();
    return placed;
}

bool UnseenFile::replace(const QString &path)
{
    // An unnamed file cannot be renamed over another: it takes a temporary
    // name first, while it is still open and locked.
    for (int attempt = 0; m_temporary.isEmpty() && attempt < 100; ++attempt) {
        const QString name = randomName();
        if (linkUnnamed(m_fd, native(name)))
            m_temporary = name;
        else if (errno != EEXIST)
            return false;
    }
    if (m_temporary.isEmpty() || ::rename(native(m_temporary).constData(), native(path).constData()) != 0)
        return false;
    m_temporary.clear();
    return true;
}

void removeUnheldFiles(const QString &folder, const std::function<bool(const QString &name)> &isTemporary)
{
    const FolderLock clearing(folder, LOCK_EX | LOCK_NB);
    if (!clearing.held())
        return;
    const QDir dir(folder);
    for (const QString &entry : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (!isTemporary(entry))
            continue;
        const QByteArray path = native(dir.filePath(entry));
        const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue;
        // Locked: a file some program is writing right now.
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlink(path.constData());
        ::close(fd);
    }
}

} // namespace zl
