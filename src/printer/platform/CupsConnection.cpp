#include "printer/platform/CupsConnection.h"

#include <QDeadlineTimer>
#include <atomic>
#include <cerrno>
#include <cups/cups.h>

namespace zl::printer {

namespace {
std::atomic<int> g_limit{8};
// Milliseconds since the epoch of the steady clock at the last time-out; 0: none.
std::atomic<qint64> g_silentSince{0};
constexpr qint64 kSilenceRememberedMs = 60000;

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

CupsConnection::CupsConnection(bool probe)
{
    int cancel = 0;
    m_http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                          cupsTimeLimitSeconds() * 1000, &cancel);
    if (m_http) {
        httpSetTimeout(m_http, cupsTimeLimitSeconds(), &CupsConnection::onTimeout, this);
        // One short question first: a scheduler that has stopped still
        // takes connections, and libcups' own calls would each wait the time
        // limit out again (some ask several questions, and retry).
        if (probe)
            ippDelete(cupsDoRequest(m_http, ippNewRequest(IPP_OP_CUPS_GET_DEFAULT), "/"));
        if (m_timedOut) {
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
    if (m_http)
        httpClose(m_http);
}

int CupsConnection::onTimeout(http_t *http, void *self)
{
    // Giving up is the point: a scheduler that is silent this long is not
    // going to answer while the operator waits.
    static_cast<CupsConnection *>(self)->m_timedOut = true;
    g_silentSince = nowMs();
    // Later questions on this connection fail at once.
    httpShutdown(http);
    return 0;
}

QString CupsConnection::problem() const
{
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
