#include "common/RegularFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace zl {

RegularFile::RegularFile(const QString &path, qint64 maxSize, int missingRetries) : m_maxSize(maxSize)
{
    const QByteArray name = path.toLocal8Bit();
    for (int attempt = 0;; ++attempt) {
        // O_NONBLOCK: opening a pipe for reading would otherwise wait for a writer.
        m_fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (m_fd >= 0 || errno != ENOENT || attempt >= missingRetries)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5 * (attempt + 1)));
    }
    if (m_fd < 0) {
        m_error = errno;
        // A file standing where a folder of the path belongs: nothing there either.
        m_refusal = m_error == ENOENT || m_error == ENOTDIR ? FileRefusal::Missing : m_error == EISDIR ? FileRefusal::NotRegular : FileRefusal::System;
        return;
    }
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) {
        m_error = errno;
        m_refusal = FileRefusal::System;
    } else if (!S_ISREG(st.st_mode)) {
        m_refusal = FileRefusal::NotRegular;
    } else if (st.st_size > maxSize) {
        m_refusal = FileRefusal::TooLarge;
    } else {
        m_size = st.st_size;
        // Reads of an ordinary file never wait; the flag only mattered for the open.
        ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
        return;
    }
    ::close(m_fd);
    m_fd = -1;
}

RegularFile::~RegularFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

int RegularFile::release()
{
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

QByteArray RegularFile::readAll()
{
    QByteArray bytes;
    if (m_fd < 0)
        return bytes;
    bytes.resize(qsizetype(m_size) + 1);
    qint64 got = 0;
    for (;;) {
        if (got == bytes.size()) {
            if (got > m_maxSize) {
                m_refusal = FileRefusal::TooLarge;
                return {};
            }
            bytes.resize(qsizetype(std::min<qint64>(m_maxSize + 1, got * 2 + 4096)));
        }
        const ssize_t n = ::read(m_fd, bytes.data() + got, size_t(bytes.size() - got));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            m_error = errno;
            m_refusal = FileRefusal::System;
            return {};
        }
        if (n == 0)
            break;
        got += n;
    }
    if (got > m_maxSize) {
        m_refusal = FileRefusal::TooLarge;
        return {};
    }
    bytes.truncate(qsizetype(got));
    return bytes;
}

QString sizeText(qint64 bytes)
{
    if (bytes >= (qint64(1) << 20))
        return QStringLiteral("%1 MB").arg(bytes >> 20);
    return QStringLiteral("%1 KB").arg(bytes >> 10);
}

} // namespace zl
