#pragma once
// Reading a file that must be an ordinary file of a sensible size. A device
// (/dev/zero), a pipe or a folder given where a file belongs would otherwise
// block for ever or be read until memory runs out.
#include <QByteArray>
#include <QString>

namespace zl {

enum class FileRefusal {
    None,
    Missing,    // not there (after a short wait: another program may be replacing it)
    NotRegular, // a device, a pipe, a socket or a folder
    TooLarge,   // larger than the limit the caller gave
    System,     // the system refused: error() says why
};

// An open file descriptor that closes itself.
class RegularFile {
public:
    // Opens path without blocking on a pipe and checks what it is.
    // missingRetries: how many times a missing file is looked for again,
    // a few milliseconds apart (a file renamed over is never missing to
    // open(2), but a writer that deletes and recreates it leaves a gap).
    RegularFile(const QString &path, qint64 maxSize, int missingRetries = 0);
    ~RegularFile();
    RegularFile(const RegularFile &) = delete;
    RegularFile &operator=(const RegularFile &) = delete;

    FileRefusal refusal() const { return m_refusal; }
    int error() const { return m_error; }
    qint64 size() const { return m_size; }
    // Gives the descriptor away (to a QFile, say); the caller closes it.
    int release();
    // The whole file, at most maxSize bytes; refusal() is TooLarge when it
    // grew past that while being read, System on a read error.
    QByteArray readAll();

private:
    int m_fd = -1;
    qint64 m_size = 0;
    qint64 m_maxSize = 0;
    int m_error = 0;
    FileRefusal m_refusal = FileRefusal::None;
};

// "12 MB", "512 KB": a size limit as the operator reads it.
QString sizeText(qint64 bytes);

} // namespace zl
