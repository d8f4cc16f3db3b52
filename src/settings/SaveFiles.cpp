#include "settings/SaveFiles.h"

#include "common/Failure.h"
#include "common/SystemErrors.h"
#include "common/UnseenFile.h"
#include "settings/SettingsTestHooks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zl::settings {

namespace testhooks {
std::function<void()> beforeCommit;
}

namespace {

// The file a save writes: where a link stands, the file it points to, so the
// link stays.
QString savedPath(const QString &path)
{
    QFileInfo at(path);
    for (int depth = 0; at.isSymLink() && depth < 40; ++depth)
        at.setFile(at.symLinkTarget());
    return at.filePath();
}

bool writeWhole(int fd, const QByteArray &bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno != EINTR)
            return false;
        done += n > 0 ? n : 0;
    }
    return true;
}

} // namespace

void writeFiles(const QList<QPair<QString, QByteArray>> &files, int *replaced)
{
    if (replaced)
        *replaced = 0;
    // Every file is written out in full, and on the disk, before any of them
    // replaces what stands there. Until then no other program can see it
    // (or, where it needs a temporary name, it is locked from its first
    // moment, so a start clearing crashed saves away never takes it).
    std::vector<std::unique_ptr<UnseenFile>> written;
    QStringList targets;
    auto fail = [&](const QString &path, int error) {
        const QString target = savedPath(path);
        const QString reason = writeProblemText(nullptr, error, QFileInfo(target).absolutePath());
        written.clear(); // uncommitted save files go with them
        const QString kept = QFileInfo::exists(target) ? QStringLiteral("元のファイルはそのまま残っています。") : QString();
        throw SaveFailure(QStringLiteral("%1 を保存できませんでした。%2%3").arg(QDir::toNativeSeparators(path), reason, kept),
                          problemFromErrno(error));
    };
    for (const auto &[path, bytes] : files) {
        // A link to a device or a pipe is replaced by the file, never what it points to.
        const QFileInfo at(path);
        if (at.isSymLink() && QFileInfo::exists(at.symLinkTarget()) && !QFileInfo(at.symLinkTarget()).isFile())
            QFile::remove(path);
        const QString target = savedPath(path);
        const QByteArray name = QFile::encodeName(target);
        struct stat old {};
        const bool exists = ::stat(name.constData(), &old) == 0;
        // Found now, not at the rename after other files are already replaced.
        if (exists && S_ISDIR(old.st_mode))
            fail(path, EISDIR);
        if (exists && ::access(name.constData(), W_OK) != 0)
            fail(path, errno);
        auto file = std::make_unique<UnseenFile>();
        const QFileInfo placed(target);
        if (!file->create(placed.absolutePath(), placed.fileName() + QLatin1Char('.')))
            fail(path, errno);
        // The new table keeps the permissions the old one was given.
        if (exists)
            ::fchmod(file->handle(), old.st_mode & 07777);
        if (!writeWhole(file->handle(), bytes) || ::fdatasync(file->handle()) != 0)
            fail(path, errno);
        written.push_back(std::move(file));
        targets << target;
    }
    if (testhooks::beforeCommit) {
        try {
            testhooks::beforeCommit();
        } catch (...) {
            written.clear();
            throw;
        }
    }
    QStringList folders;
    for (size_t i = 0; i < written.size(); ++i) {
        if (!written[i]->replace(targets[int(i)]))
            fail(files[int(i)].first, errno);
        if (replaced)
            ++*replaced;
        const QString folder = QFileInfo(targets[int(i)]).absolutePath();
        if (!folders.contains(folder))
            folders << folder;
    }
    // The new names reach the disk too: after a power cut the folder shows
    // the saved files, not the ones they replaced.
    for (const QString &folder : folders) {
        const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) {
            ::fsync(fd);
            ::close(fd);
        }
    }
}

void clearStaleSaveFiles(const QStringList &folders, const QStringList &names)
{
    static const QRegularExpression tail(QStringLiteral("^(.+)\\.[A-Za-z0-9]{6}$"));
    for (const QString &folder : folders)
        removeUnheldFiles(folder, [&names](const QString &entry) {
            const QRegularExpressionMatch m = tail.match(entry);
            return m.hasMatch() && names.contains(m.captured(1));
        });
}

} // namespace zl::settings
