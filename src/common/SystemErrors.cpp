#include "common/SystemErrors.h"

#include <QFileDevice>
#include <QFileInfo>
#include <cerrno>
#include <cstring>

namespace zl {

namespace {

constexpr int kKnownErrors[] = {ENOENT, EACCES, EPERM, ENOSPC, EDQUOT, EISDIR, ENOTDIR, EROFS};

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

SystemProblem problemFromErrno(int error)
{
    switch (error) {
    case 0: return SystemProblem::None;
    case ENOENT: return SystemProblem::NotFound;
    case EACCES:
    case EPERM: return SystemProblem::NoPermission;
    case ENOSPC:
    case EDQUOT: return SystemProblem::DiskFull;
    case EISDIR: return SystemProblem::IsFolder;
    case ENOTDIR: return SystemProblem::NotFolder;
    case EROFS: return SystemProblem::ReadOnlyDisk;
    default: return SystemProblem::Other;
    }
}

SystemProblem problemOf(const QFileDevice &file)
{
    switch (file.error()) {
    case QFileDevice::NoError: return SystemProblem::None;
    case QFileDevice::PermissionsError: return SystemProblem::NoPermission;
    default: break;
    }
    // Qt reports most failures as the system's own text; find which of the
    // common errors it is. Qt has texts of its own for a few cases.
    const QString text = file.errorString();
    for (int error : kKnownErrors)
        if (text.contains(systemText(error), Qt::CaseInsensitive))
            return problemFromErrno(error);
    if (text.contains(QLatin1String("refers to a directory"), Qt::CaseInsensitive))
        return SystemProblem::IsFolder;
    if (file.error() == QFileDevice::ResourceError)
        return SystemProblem::DiskFull;
    if (file.error() == QFileDevice::OpenError && !file.fileName().isEmpty()) {
        const QFileInfo at(file.fileName());
        if (at.isDir())
            return SystemProblem::IsFolder;
        if (!at.exists())
            return SystemProblem::NotFound;
    }
    return SystemProblem::Other;
}

QString problemText(SystemProblem problem)
{
    switch (problem) {
    case SystemProblem::NotFound: return QStringLiteral("見つかりません。");
    case SystemProblem::NoPermission: return QStringLiteral("アクセスする権限がありません。");
    case SystemProblem::DiskFull: return QStringLiteral("ディスクの空き容量が足りません。");
    case SystemProblem::IsFolder: return QStringLiteral("ファイルではなくフォルダです。");
    case SystemProblem::NotFolder: return QStringLiteral("途中のフォルダがファイルになっています。");
    case SystemProblem::ReadOnlyDisk: return QStringLiteral("書き込みできないディスクにあります。");
    case SystemProblem::None:
    case SystemProblem::Other: break;
    }
    return {};
}

QString fileProblemText(const QFileDevice &file)
{
    const QString words = problemText(problemOf(file));
    if (!words.isEmpty())
        return words;
    return QStringLiteral("システムのエラーです（%1）。").arg(file.errorString());
}

QString errnoProblemText(int error)
{
    const QString words = problemText(problemFromErrno(error));
    if (!words.isEmpty())
        return words;
    return QStringLiteral("システムのエラーです（%1）。").arg(systemText(error));
}

} // namespace zl
