#include "cups/platform/CupsConnection.h"

#include "common/Failure.h"
#include "printer/Printer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cups/cups.h>
#include <mutex>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace zl::printer {

namespace {
// Process-wide, as the print system is: the time limit every connection of
// every thread keeps, and when the scheduler last let one run out.
std::atomic<int> g_limit{8};
// Milliseconds since the epoch of the steady clock at the last time-out; 0: none.
std::atomic<qint64> g_silentSince{0};
constexpr qint64 kSilenceRememberedMs = 60000;
// How often a wait for the scheduler looks at the time limit and the run's
// cancel: short enough that a cancel is honoured at once.
constexpr double kWaitStepSeconds = 0.05;

qint64 nowMs()
{
    return QDeadlineTimer::current().deadline();
}
} // namespace

int cupsTimeLimitSeconds()
{
    return g_limit;
}

void setCupsTimeLimitSeconds(int seconds)
{
    g_limit = seconds > 0 ? seconds : 1;
}

bool cupsRecentlySilent()
{
    const qint64 since = g_silentSince;
    return since != 0 && nowMs() - since < kSilenceRememberedMs;
}

void cupsAnswered()
{
    g_silentSince = 0;
}

QString cupsServerName()
{
    const QString server = QString::fromUtf8(cupsServer());
    if (server.startsWith(QLatin1Char('/')))
        return server;
    return QStringLiteral("%1:%2").arg(server).arg(ippPort());
}

QString cupsServerRoot()
{
    const QByteArray root = qgetenv("CUPS_SERVERROOT");
    return root.isEmpty() ? QStringLiteral("/etc/cups") : QFile::decodeName(root);
}

namespace {
// The last ServerName of a client.conf, as libcups reads it (later lines
// win); empty without one.
QString clientConfServer(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    static const QRegularExpression directive(QStringLiteral("^\\s*ServerName\\s+(\\S+)"),
                                              QRegularExpression::CaseInsensitiveOption);
    QString server;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QRegularExpressionMatch m = directive.match(QString::fromUtf8(line));
        if (m.hasMatch())
            server = m.captured(1);
    }
    return server;
}
} // namespace

QString namedPrintServer()
{
    QString server = qEnvironmentVariable("CUPS_SERVER").trimmed();
    if (server.isEmpty())
        server = clientConfServer(QDir::homePath() + QStringLiteral("/.cups/client.conf"));
    if (server.isEmpty())
        server = clientConfServer(cupsServerRoot() + QStringLiteral("/client.conf"));
    return server.startsWith(QLatin1Char('/')) ? QString() : server;
}

// A thread that, every few milliseconds while the connection lives, asks
// whether the run was cancelled, and if so cuts the connection off: every
// wait on it, whoever waits, then ends at once. It cuts through a
// descriptor of its own on the connection's socket: libcups closes its
// descriptor when it reconnects, and the same number may by then name
// another file of the program's.
class CupsConnection::CancelWaker {
public:
    CancelWaker(CupsConnection &connection, std::function<bool()> asked)
        : m_thread([this, &connection, asked = std::move(asked)] {
              std::unique_lock<std::mutex> lock(m_mutex);
              while (!m_done.wait_for(lock, std::chrono::milliseconds(10), [this] { return m_stop; })) {
                  if (asked()) {
                      connection.m_abandoned = true;
                      // Not httpShutdown: this thread must not touch the
                      // connection's encryption state.
                      if (m_socket >= 0)
                          ::shutdown(m_socket, SHUT_RDWR);
                      return;
                  }
              }
          })
    {
    }
    ~CancelWaker()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_done.notify_one();
        m_thread.join();
        if (m_socket >= 0)
            ::close(m_socket);
    }
    // Called before every question with libcups' descriptor: a socket
    // libcups opened anew since the last is followed. A reconnect inside a
    // question is not; the connection's own time-out callback sees the
    // cancel there a moment later.
    void follow(int fd)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        struct stat theirs {}, ours {};
        if (fd < 0 || ::fstat(fd, &theirs) != 0)
            return;
        if (m_socket >= 0 && ::fstat(m_socket, &ours) == 0 && ours.st_dev == theirs.st_dev && ours.st_ino == theirs.st_ino)
            return;
        if (m_socket >= 0)
            ::close(m_socket);
        m_socket = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_stop = false;
    int m_socket = -1; // ours, on the connection's socket
    std::thread m_thread;
};

CupsConnection::CupsConnection(bool probe, OnRunCancel onCancel)
    : m_givesUp(onCancel == OnRunCancel::GiveUp && RunCancelWatch::watching())
{
    // A run already cancelled asks nothing more.
    if (m_givesUp && RunCancelWatch::asked()) {
        m_abandoned = true;
        return;
    }
    int cancel = 0;
    m_questionSince = nowMs();
    m_http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                          cupsTimeLimitSeconds() * 1000, &cancel);
    if (m_http) {
        httpSetTimeout(m_http, kWaitStepSeconds, &CupsConnection::onTimeout, this);
        if (m_givesUp) {
            m_waker = std::make_unique<CancelWaker>(*this, RunCancelWatch::current());
            m_waker->follow(httpGetFd(m_http));
        }
        // One short question first: a scheduler that has stopped still
        // takes connections, and libcups' own calls would each wait the time
        // limit out again (some ask several questions, and retry).
        if (probe)
            ippDelete(cupsDoRequest(m_http, ippNewRequest(IPP_OP_CUPS_GET_DEFAULT), "/"));
        if (m_timedOut || m_abandoned) {
            m_waker.reset();
            httpClose(m_http);
            m_http = nullptr;
        }
    } else if (errno == ETIMEDOUT)
        m_timedOut = true;
    if (m_timedOut)
        g_silentSince = nowMs();
}

CupsConnection::~CupsConnection()
{
    m_waker.reset();
    if (m_http)
        httpClose(m_http);
}

http_t *CupsConnection::http() const
{
    m_questionSince = nowMs();
    if (m_waker && m_http)
        m_waker->follow(httpGetFd(m_http));
    return m_http;
}

bool CupsConnection::closedByScheduler() const
{
    if (!m_http || m_timedOut || m_abandoned)
        return false;
    // Between questions nothing is due from the scheduler: anything to read
    // is the end of the connection (its idle time-out, a restart).
    pollfd p{httpGetFd(m_http), POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
}

void CupsConnection::throwIfAbandoned() const
{
    if (m_abandoned)
        throw Cancelled(QStringLiteral("印刷を取り消したため、印刷システム(CUPS)の応答を待つのをやめました。"));
}

int CupsConnection::onTimeout(http_t *http, void *self)
{
    auto *c = static_cast<CupsConnection *>(self);
    if (!c->m_abandoned && !c->m_timedOut) {
        if (c->m_givesUp && RunCancelWatch::asked()) {
            c->m_abandoned = true;
        } else if (nowMs() - c->m_questionSince < qint64(cupsTimeLimitSeconds()) * 1000) {
            return 1; // the question may take longer yet
        } else {
            // Giving up is the point: a scheduler that is silent this long
            // is not going to answer while the operator waits.
            c->m_timedOut = true;
            g_silentSince = nowMs();
        }
    }
    // Later questions on this connection fail at once.
    httpShutdown(http);
    return 0;
}

QString CupsConnection::problem() const
{
    if (m_abandoned)
        return QStringLiteral("印刷を取り消したため、印刷システム(CUPS)の応答を待つのをやめました。");
    if (m_timedOut)
        return QStringLiteral("印刷システム(CUPS)が%1秒以内に応答しませんでした（%2）。CUPSが止まっていないか確認してから、"
                              "もう一度やり直してください。")
            .arg(cupsTimeLimitSeconds())
            .arg(cupsServerName());
    if (!m_http)
        return QStringLiteral("印刷システム(CUPS)に接続できません（%1）。CUPSが動いているか確認してください。")
            .arg(cupsServerName());
    return QStringLiteral("印刷システム(CUPS)がエラーを返しました（%1: %2）。")
        .arg(cupsServerName(), QString::fromUtf8(cupsLastErrorString()));
}

} // namespace zl::printer
