#include "IppProxy.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <cups/ipp.h>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace zltest {

struct IppProxy::State {
    QByteArray upstream;
    QStringList refused;
    QTemporaryDir dir;
    QString path;
    int listener = -1;
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::vector<QStringList> asked; // per connection, in order
    std::thread acceptor;
    std::vector<std::thread> relays; // added by the acceptor only
};

namespace {

int unixSocket(const QByteArray &path, bool listen)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    qstrncpy(a.sun_path, path.constData(), sizeof a.sun_path);
    const int rc = listen ? ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a)
                          : ::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
    if (rc != 0 || (listen && ::listen(fd, 64) != 0)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool sendAll(int fd, const QByteArray &bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::send(fd, bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// Follows the HTTP requests a client sends (IPP over HTTP POST, with a
// length or chunked) far enough to see each one's operation code, the
// bytes 2-3 of its body, and to change it before it is passed on.
class RequestReader {
public:
    explicit RequestReader(std::function<bool(int op)> refuse) : m_refuse(std::move(refuse)) {}
    // Takes what the client sent and returns what may be passed on now.
    QByteArray take(const QByteArray &bytes)
    {
        m_in += bytes;
        QByteArray out;
        for (bool more = true; more;) {
            switch (m_state) {
            case Headers: {
                const qsizetype end = m_in.indexOf("\r\n\r\n");
                if ((more = end >= 0)) {
                    const QByteArray head = m_in.left(end + 4).toLower();
                    out += m_in.left(end + 4);
                    m_in.remove(0, end + 4);
                    m_head.clear();
                    const qsizetype at = head.indexOf("content-length:");
                    m_left = at >= 0 ? head.mid(at + 15, head.indexOf('\r', at) - at - 15).trimmed().toLongLong() : 0;
                    m_state = head.contains("transfer-encoding: chunked") ? ChunkSize : (m_left > 0 ? Data : Headers);
                    m_chunked = m_state == ChunkSize;
                }
                break;
            }
            case ChunkSize:
            case ChunkEnd:
            case Trailer: {
                const qsizetype end = m_in.indexOf("\r\n");
                if ((more = end >= 0)) {
                    const QByteArray line = m_in.left(end);
                    out += m_in.left(end + 2);
                    m_in.remove(0, end + 2);
                    if (m_state == ChunkEnd)
                        m_state = ChunkSize;
                    else if (m_state == Trailer)
                        m_state = line.isEmpty() ? Headers : Trailer;
                    else if ((m_left = line.split(';').first().trimmed().toLongLong(nullptr, 16)) == 0)
                        m_state = Trailer;
                    else
                        m_state = Data;
                }
                break;
            }
            case Data: {
                // The operation is changed before any of it is passed on.
                const qsizetype need = qMin<qint64>(4 - m_head.size(), m_left);
                if ((more = !m_in.isEmpty() && (need <= 0 || m_in.size() >= need))) {
                    const qsizetype n = qMin<qint64>(m_in.size(), m_left);
                    if (m_head.size() < 4) {
                        const qsizetype first = m_head.size();
                        m_head += m_in.left(qMin<qsizetype>(4 - first, n));
                        if (m_head.size() == 4 && m_refuse((uchar(m_head[2]) << 8) | uchar(m_head[3])))
                            for (qsizetype i = qMax<qsizetype>(2, first); i < 4; ++i)
                                m_in[i - first] = char(0x7f); // an operation no scheduler knows
                    }
                    out += m_in.left(n);
                    m_in.remove(0, n);
                    m_left -= n;
                    if (m_left == 0)
                        m_state = m_chunked ? ChunkEnd : Headers;
                }
                break;
            }
            }
        }
        return out;
    }

private:
    enum { Headers, ChunkSize, Data, ChunkEnd, Trailer } m_state = Headers;
    std::function<bool(int)> m_refuse;
    QByteArray m_in, m_head;
    qint64 m_left = 0;
    bool m_chunked = false;
};

void relay(const std::shared_ptr<IppProxy::State> &s, int client, size_t index)
{
    const int server = unixSocket(s->upstream, false);
    RequestReader reader([&](int op) {
        const QString name = QString::fromLatin1(ippOpString(ipp_op_t(op)));
        std::lock_guard<std::mutex> lock(s->mutex);
        s->asked[index] << name;
        return s->refused.contains(name);
    });
    pollfd fds[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
    char buffer[65536];
    while (server >= 0 && !s->stop) {
        if (::poll(fds, 2, 100) <= 0)
            continue;
        const ssize_t fromClient = (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) ? ::recv(client, buffer, sizeof buffer, 0) : 1;
        if (fromClient <= 0 || (fromClient > 0 && (fds[0].revents & POLLIN)
                                && !sendAll(server, reader.take(QByteArray(buffer, int(fromClient))))))
            break;
        const ssize_t fromServer = (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) ? ::recv(server, buffer, sizeof buffer, 0) : 1;
        if (fromServer <= 0 || ((fds[1].revents & POLLIN) && !sendAll(client, QByteArray(buffer, int(fromServer)))))
            break;
    }
    if (server >= 0)
        ::close(server);
    ::close(client);
}

} // namespace

IppProxy::IppProxy(const QString &scheduler, const QStringList &refused) : m_state(std::make_shared<State>())
{
    State &s = *m_state;
    s.upstream = QFile::encodeName(scheduler);
    s.refused = refused;
    s.path = s.dir.filePath(QStringLiteral("cups.sock"));
    s.listener = unixSocket(QFile::encodeName(s.path), true);
    s.acceptor = std::thread([state = m_state] {
        pollfd p{state->listener, POLLIN, 0};
        while (!state->stop) {
            if (::poll(&p, 1, 100) <= 0)
                continue;
            const int client = ::accept4(state->listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0)
                continue;
            std::lock_guard<std::mutex> lock(state->mutex);
            state->asked.emplace_back();
            state->relays.emplace_back(relay, state, client, state->asked.size() - 1);
        }
    });
}

IppProxy::~IppProxy()
{
    m_state->stop = true;
    m_state->acceptor.join();
    for (std::thread &t : m_state->relays)
        t.join();
    ::close(m_state->listener);
}

QString IppProxy::socket() const
{
    return m_state->path;
}

QMap<QString, int> IppProxy::operations() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    QMap<QString, int> count;
    for (const QStringList &asked : m_state->asked)
        for (const QString &name : asked)
            ++count[name];
    return count;
}

int IppProxy::connectionsAsking(const QStringList &names) const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    int n = 0;
    for (const QStringList &asked : m_state->asked)
        n += std::any_of(asked.begin(), asked.end(), [&](const QString &a) { return names.contains(a); }) ? 1 : 0;
    return n;
}

} // namespace zltest
