#include "common/SystemErrors.h"

#include <QFileDevice>
#include <QFileInfo>
#include <cerrno>
#include <cstring>

namespace zl {

namespace {

// Every errno value the program has words for.
struct ErrnoProblem {
    int error;
    SystemProblem problem;
};
constexpr ErrnoProblem kErrnoProblems[] = {
    {ENOENT, SystemProblem::NotFound},     {EACCES, SystemProblem::NoPermission},
    {EPERM, SystemProblem::NoPermission},  {ENOSPC, SystemProblem::DiskFull},
    {EDQUOT, SystemProblem::DiskFull},     {EISDIR, SystemProblem::IsFolder},
    {ENOTDIR, SystemProblem::NotFolder},   {EROFS, SystemProblem::ReadOnlyDisk},
    {EEXIST, SystemProblem::AlreadyExists}, {EMFILE, SystemProblem::TooManyOpen},
    {ENFILE, SystemProblem::TooManyOpen},  {EIO, SystemProblem::DiskError},
};

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString otherProblemText(const QString &systemWords)
{
    return QStringLiteral("システムのエラーです（%1）。").arg(systemWords);
}

} // namespace

SystemProblem problemFromErrno(int error)
{
    if (error == 0)
        return SystemProblem::None;
    for (const ErrnoProblem &e : kErrnoProblems)
        if (e.error == error)
            return e.problem;
    return SystemProblem::Other;
}

SystemProblem problemOf(const QFileDevice &file)
{
    switch (file.error()) {
    case QFileDevice::NoError: return SystemProblem::None;
    case QFileDevice::PermissionsError: return SystemProblem::NoPermission;
    default: break;
    }
    // Qt reports most failures as the system's own text; find which of the
    // errors with words it is. Qt has texts of its own for a few cases.
    const QString text = file.errorString();
    for (const ErrnoProblem &e : kErrnoProblems)
        if (text.contains(systemText(e.error), Qt::CaseInsensitive))
            return e.problem;
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
    case SystemProblem::NotFound: return QStringLiteral("ファイルまたはフォルダが見つかりません。");
    case SystemProblem::NoPermission:
        return QStringLiteral("アクセスする権限がありません。ファイルとフォルダの権限を確かめてください。");
    case SystemProblem::DiskFull:
        return QStringLiteral("ディスクの空き容量が足りません。不要なファイルを削除して空きを作ってください。");
    case SystemProblem::IsFolder: return QStringLiteral("ファイルではなくフォルダです。");
    case SystemProblem::NotFolder: return QStringLiteral("途中のフォルダがファイルになっています。");
    case SystemProblem::ReadOnlyDisk: return QStringLiteral("読み取り専用のディスクのため書き込めません。");
    case SystemProblem::AlreadyExists: return QStringLiteral("同じ名前のファイルがあります。");
    case SystemProblem::TooManyOpen:
        return QStringLiteral("開いているファイルが多すぎます。使っていないソフトを閉じてください。");
    case SystemProblem::DiskError:
        return QStringLiteral("ディスクの読み書きでエラーが起きました。ディスクやその接続を確かめてください。");
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
    return otherProblemText(file.errorString());
}

QString errnoProblemText(int error)
{
    const QString words = problemText(problemFromErrno(error));
    if (!words.isEmpty())
        return words;
    return otherProblemText(systemText(error));
}

QString writeProblemText(const QFileDevice *file, int error, const QString &folder)
{
    if (error != 0 && problemFromErrno(error) != SystemProblem::Other)
        return errnoProblemText(error);
    if (file) {
        const QString words = problemText(problemOf(*file));
        if (!words.isEmpty())
            return words;
    }
    const QFileInfo at(folder);
    if (!at.isDir())
        return problemText(SystemProblem::NotFound);
    if (!at.isWritable())
        return problemText(SystemProblem::NoPermission);
    if (error != 0)
        return errnoProblemText(error);
    if (file && file->error() != QFileDevice::NoError)
        return fileProblemText(*file);
    return problemText(SystemProblem::DiskError);
}

} // namespace zl
