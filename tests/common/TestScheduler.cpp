#include "TestScheduler.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <QThread>
#include <functional>
#include <unistd.h>

namespace zltest {

namespace {

// scripts/cups-up keeps the scheduler's pid file in <root>/state and its
// configuration in <root>/etc.
QString schedulerRoot()
{
    const QString pidFile = qEnvironmentVariable("ZENLABO_TEST_SCHEDULER_PID_FILE");
    if (pidFile.isEmpty())
        return {};
    QDir root = QFileInfo(pidFile).absoluteDir();
    return root.cdUp() ? root.absolutePath() : QString();
}

// The scheduler is root's; anyone else asks as scripts/cups-up does.
int runAsRoot(QStringList command)
{
    if (::geteuid() != 0)
        command = QStringList{QStringLiteral("sudo"), QStringLiteral("-n")} + command;
    QProcess p;
    // A scheduler started from here outlives the test: holding the test's
    // output open, it would keep whatever reads that output waiting.
    p.setStandardInputFile(QProcess::nullDevice());
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start(command.takeFirst(), command);
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    for (QDeadlineTimer deadline(timeoutMs); !done();) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(100);
    }
    return true;
}

// Still running: a process that has ended but is not reaped yet has not.
bool running(const QString &pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray fields = stat.readAll();
    const qsizetype name = fields.lastIndexOf(')');
    return name > 0 && fields.mid(name + 2, 1) != "Z";
}

bool answers(const QString &socket)
{
    QProcess lpstat;
    lpstat.start(QStringLiteral("lpstat"), {QStringLiteral("-h"), socket, QStringLiteral("-r")});
    return lpstat.waitForFinished(10000) && lpstat.readAllStandardOutput().contains("scheduler is running");
}

} // namespace

QString schedulerPid()
{
    QFile pidFile(qEnvironmentVariable("ZENLABO_TEST_SCHEDULER_PID_FILE"));
    return pidFile.open(QIODevice::ReadOnly) ? QString::fromLatin1(pidFile.readAll().trimmed()) : QString();
}

bool stopScheduler()
{
    const QString pid = schedulerPid();
    if (pid.isEmpty())
        return false;
    if (!running(pid))
        return true;
    // One left frozen ends only once it runs again.
    runAsRoot({QStringLiteral("kill"), QStringLiteral("-CONT"), pid});
    runAsRoot({QStringLiteral("kill"), QStringLiteral("-TERM"), pid});
    // It first stops the jobs in its backends and writes down what it keeps.
    return waitUntil([&] { return !running(pid); }, 60000);
}

bool startScheduler()
{
    const QString root = schedulerRoot();
    const QString socket = qEnvironmentVariable("CUPS_SERVER");
    if (root.isEmpty() || socket.isEmpty())
        return false;
    if (answers(socket))
        return true;
    runAsRoot({QStringLiteral("/usr/sbin/cupsd"), QStringLiteral("-c"), root + QStringLiteral("/etc/cupsd.conf"),
               QStringLiteral("-s"), root + QStringLiteral("/etc/cups-files.conf")});
    return waitUntil([&] { return answers(socket); }, 60000);
}

FrozenScheduler::FrozenScheduler(const QString &pid) : m_pid(pid)
{
    m_frozen = !pid.isEmpty() && QProcess::execute(QStringLiteral("kill"), {QStringLiteral("-STOP"), pid}) == 0;
}

void FrozenScheduler::thaw()
{
    if (m_frozen)
        QProcess::execute(QStringLiteral("kill"), {QStringLiteral("-CONT"), m_pid});
    m_frozen = false;
}

int waitingConnections(const QString &socket)
{
    QProcess ss;
    ss.start(QStringLiteral("ss"), {QStringLiteral("-xlH")});
    ss.waitForFinished();
    for (const QString &line : QString::fromUtf8(ss.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        const QStringList f = line.simplified().split(QLatin1Char(' '));
        if (f.size() > 4 && f[4] == socket)
            return f[2].toInt();
    }
    return 0;
}

} // namespace zltest
