#pragma once
// A new file that other programs see only whole.
//
// Where the file system allows it, the file has no name while it is being
// written: a crash or a kill leaves nothing behind, and it takes its name in
// one step at the end. Where it does not (some network and FUSE folders), it
// is made under a temporary name and locked before any other program can
// look at it, for as long as it is open; removeUnheldFiles() then tells a
// file that a crash left from one still being written.
#include <QString>
#include <functional>

namespace zl {

class UnseenFile {
public:
    UnseenFile() = default;
    // Closes it; a temporary name it still has is removed with it.
    ~UnseenFile();
    UnseenFile(const UnseenFile &) = delete;
    UnseenFile &operator=(const UnseenFile &) = delete;

    // Makes the file in folder with the mode any new file of this user gets
    // (0666 less the umask). A temporary name, when it needs one, is prefix,
    // six random letters and digits, and suffix. False with errno set when
    // the file cannot be made.
    bool create(const QString &folder, const QString &prefix, const QString &suffix = QString());
    int handle() const { return m_fd; }

    // Gives it the name path, never replacing a file there: false with errno
    // EEXIST when that name is taken.
    bool place(const QString &path);
    // Puts it at path in place of whatever stands there, in one step.
    bool replace(const QString &path);

private:
    QString randomName() const;

    int m_fd = -1;
    QString m_folder;
    QString m_prefix;
    QString m_suffix;
    QString m_temporary;
};

// Removes from folder the files whose names isTemporary accepts and that no
// open UnseenFile holds: what killed or crashed programs left behind. Where
// the folder cannot be locked, or another program is clearing it, nothing
// is removed.
void removeUnheldFiles(const QString &folder, const std::function<bool(const QString &name)> &isTemporary);

} // namespace zl
