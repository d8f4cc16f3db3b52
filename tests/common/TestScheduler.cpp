#include "TestScheduler.h"

#include <QFile>
#include <QProcess>
#include <QStringList>

namespace zltest {

QString schedulerPid()
{
    QFile pidFile(qEnvironmentVariable("ZENLABO_TEST_SCHEDULER_PID_FILE"));
    return pidFile.open(QIODevice::ReadOnly) ? QString::fromLatin1(pidFile.readAll().trimmed()) : QString();
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
