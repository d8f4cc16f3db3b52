#pragma once
// The reasons a file or folder cannot be used, in the words a shop operator
// reads: one wording for each, wherever the program reports it. The system's
// own text (English on most machines) is kept only as a detail after the
// Japanese words, and only where no common reason fits.
#include <QString>

class QFileDevice;

namespace zl {

enum class SystemProblem {
    None,
    NotFound,      // ENOENT
    NoPermission,  // EACCES, EPERM
    DiskFull,      // ENOSPC, EDQUOT
    IsFolder,      // EISDIR
    NotFolder,     // ENOTDIR
    ReadOnlyDisk,  // EROFS
    AlreadyExists, // EEXIST
    TooManyOpen,   // EMFILE, ENFILE
    DiskError,     // EIO
    Other,
};

// The kind of problem an errno value stands for.
SystemProblem problemFromErrno(int error);

// The kind of problem behind a failed open, read or write of `file`: its
// error code, its system text, and, for a failed open, what stands at its path.
SystemProblem problemOf(const QFileDevice &file);

// The Japanese words for a problem: a sentence without the path, and where
// the operator can put it right, what to do (「ファイルまたはフォルダが見つかりません。」,
// 「ディスクの空き容量が足りません。不要なファイルを…」); empty for None and Other.
QString problemText(SystemProblem problem);

// The reason `file` failed, ready to follow the path in a message:
// the Japanese words, or for an unusual problem 「システムのエラーです（…）。」
// with the system's text.
QString fileProblemText(const QFileDevice &file);
// The same for an errno value.
QString errnoProblemText(int error);

// The reason a write into `folder` failed: errno as read right after the
// failing call, else what the file (when given) says, else what the folder
// shows (missing, or not writable).
QString writeProblemText(const QFileDevice *file, int error, const QString &folder);

} // namespace zl
