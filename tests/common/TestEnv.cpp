#include "TestEnv.h"

#include "common/Cp932.h"
#include "settings/Defaults.h"
#include "settings/SettingsTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <QStandardPaths>
#include <stdexcept>

namespace zltest {

TempHome::TempHome()
    : m_oldXdg(qgetenv("XDG_CONFIG_HOME")), m_oldHome(qgetenv("HOME"))
{
    if (!m_dir.isValid())
        throw std::runtime_error("cannot create a temporary folder");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("config"))));
    qputenv("HOME", QFile::encodeName(m_dir.path()));
}

TempHome::~TempHome()
{
    qputenv("XDG_CONFIG_HOME", m_oldXdg);
    qputenv("HOME", m_oldHome);
}

QString TempHome::settingsFolder() const
{
    return zl::settings::folderPath();
}

void TempHome::installDefaults()
{
    // The built-in set, whatever the test's working folder holds.
    const QStringList problems = zl::settings::restoreDefaultTables(m_dir.filePath(QStringLiteral("no-defaults-here")));
    if (!problems.isEmpty())
        throw std::runtime_error(problems.join(QStringLiteral("; ")).toStdString());
}

void TempHome::writeFile(const QString &path, const QByteArray &bytes)
{
    const QString full = QDir::isAbsolutePath(path) ? path : settingsFolder() + path;
    QDir().mkpath(QFileInfo(full).absolutePath());
    QFile f(full);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write test file");
}

QByteArray TempHome::readFile(const QString &path) const
{
    const QString full = QDir::isAbsolutePath(path) ? path : settingsFolder() + path;
    QFile f(full);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

void TempHome::writeTable(const QString &fileName, const QStringList &columns, const QStringList &values)
{
    writeFile(fileName, zl::settings::formatTable(columns, values));
}

void TempHome::writeItems(const QStringList &barcodes)
{
    QString csv = QStringLiteral("JANコード,商品名,規格,価格\r\n");
    for (const QString &v : barcodes)
        csv += QStringLiteral("%1,商品,規格,100\r\n").arg(v);
    writeFile(QStringLiteral("items.csv"), sjis(csv));
    writeTable(QStringLiteral("vokiconfig2.txt"), {QStringLiteral("DB1"), QStringLiteral("DB2")},
               {settingsFolder(), QStringLiteral("items.csv")});
}

ProgramOutcome runProgram(const TempHome &home, const QStringList &args, const QString &server,
                          const QMap<QString, QString> &environment)
{
    return runProgram(home.root(), args, server, environment);
}

ProgramOutcome runProgram(const QString &root, const QStringList &args, const QString &server,
                          const QMap<QString, QString> &environment)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), root);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), root + QStringLiteral("/config"));
    env.remove(QStringLiteral("XDG_DOCUMENTS_DIR"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("CUPS_SERVER"), server.isEmpty() ? root + QStringLiteral("/no-cups.sock") : server);
    env.insert(QStringLiteral("CUPS_SERVERROOT"), root + QStringLiteral("/etc-cups"));
    for (auto it = environment.begin(); it != environment.end(); ++it) {
        if (it.value().isNull())
            env.remove(it.key());
        else
            env.insert(it.key(), it.value());
    }
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(root);
    p.start(QStringLiteral(ZENLABO_BINARY), args);
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return {};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

QByteArray sjis(const QString &text)
{
    auto bytes = zl::cp932::encode(text);
    if (!bytes)
        throw std::runtime_error("test text is not CP932");
    return *bytes;
}

void addTemporaryFileRows()
{
    QTest::addColumn<bool>("named");
    QTest::newRow("nameless run files") << false;
    QTest::newRow("named run files") << true;
}

TemporaryFileNaming::TemporaryFileNaming(bool named)
{
    if (named)
        qputenv("ZENLABO_NAMED_TEMPORARY_FILES", "1");
}

TemporaryFileNaming::~TemporaryFileNaming()
{
    qunsetenv("ZENLABO_NAMED_TEMPORARY_FILES");
}

} // namespace zltest
