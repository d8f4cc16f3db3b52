#include "settings/SaveFiles.h"

#include "common/Failure.h"
#include "common/SystemErrors.h"
#include "settings/SettingsTestHooks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

namespace zl::settings {

namespace testhooks {
std::function<void()> beforeCommit;
}

void writeFiles(const QList<QPair<QString, QByteArray>> &files, int *replaced)
{
    if (replaced)
        *replaced = 0;
    // Every file is written out in full, unbuffered so a full disk shows at
    // the write itself, before any of them replaces what stands there.
    std::vector<std::unique_ptr<QSaveFile>> written;
    auto fail = [&](const QString &path, const QFileDevice &file, int error) {
        const QString reason = writeProblemText(&file, error, QFileInfo(path).absolutePath());
        written.clear(); // uncommitted save files are removed
        throw Failure(QStringLiteral("%1 を保存できませんでした。%2元のファイルはそのまま残っています。")
                          .arg(QDir::toNativeSeparators(path), reason));
    };
    for (const auto &[path, bytes] : files) {
        // A save writes beside the file a link points to; a link to a device
        // or a pipe is replaced by the file instead, never what it points to.
        const QFileInfo at(path);
        if (at.isSymLink() && QFileInfo::exists(at.symLinkTarget()) && !QFileInfo(at.symLinkTarget()).isFile())
            QFile::remove(path);
        auto file = std::make_unique<QSaveFile>(path);
        errno = 0;
        if (!file->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            fail(path, *file, errno);
        // Held until the file is committed or the program ends, so a start
        // can tell a save in progress from one a crash left behind.
        ::flock(file->handle(), LOCK_EX | LOCK_NB);
        errno = 0;
        if (file->write(bytes) != bytes.size() || !file->flush() || file->error() != QFileDevice::NoError)
            fail(path, *file, errno);
        written.push_back(std::move(file));
    }
    if (testhooks::beforeCommit) {
        try {
            testhooks::beforeCommit();
        } catch (...) {
            written.clear();
            throw;
        }
    }
    for (size_t i = 0; i < written.size(); ++i) {
        errno = 0;
        if (!written[i]->commit())
            fail(files[int(i)].first, *written[i], errno);
        if (replaced)
            ++*replaced;
    }
}

void clearStaleSaveFiles(const QStringList &folders, const QStringList &names)
{
    static const QRegularExpression tail(QStringLiteral("^(.+)\\.[A-Za-z0-9]{6}$"));
    for (const QString &folder : folders) {
        const QDir dir(folder);
        for (const QString &entry : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
            const QRegularExpressionMatch m = tail.match(entry);
            if (!m.hasMatch() || !names.contains(m.captured(1)))
                continue;
            const QString path = dir.filePath(entry);
            const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd < 0)
                continue;
            // Locked: another copy of the program is saving right now.
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
                QFile::remove(path);
            ::close(fd);
        }
    }
}

} // namespace zl::settings
