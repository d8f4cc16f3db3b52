#include "settings/Defaults.h"

#include "settings/SettingsTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

// The defaults live in a static library, whose resources must be pulled in by hand.
static void initDefaultsResource()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(defaults);
        return true;
    }();
    (void)done;
}

namespace zl::settings {

namespace {
const QString kSampleRelative = QStringLiteral("sample/barcodelist.csv");

QString copyOver(const QString &from, const QString &to)
{
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly))
        return QStringLiteral("%1 を読めません (%2)").arg(QDir::toNativeSeparators(from), in.errorString());
    const QByteArray bytes = in.readAll();
    QSaveFile out(to);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
        return QStringLiteral("%1 を書き込めません (%2)").arg(QDir::toNativeSeparators(to), out.errorString());
    return {};
}
} // namespace

QString defaultsSource(const QString &workingFolder)
{
    const QDir dir(workingFolder);
    initDefaultsResource();
    for (const QString &name : tableNames())
        if (!QFileInfo(dir.filePath(name)).isFile())
            return QStringLiteral(":/defaults");
    return dir.absolutePath();
}

QByteArray builtInDefault(const QString &fileName)
{
    initDefaultsResource();
    QFile f(QStringLiteral(":/defaults/") + fileName);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList restoreDefaultTables(const QString &workingFolder)
{
    QStringList problems;
    const QString folder = folderPath();
    if (!QFileInfo(folder).isDir() && !QDir().mkpath(folder)) {
        problems << QStringLiteral("設定フォルダ %1 を作成できません").arg(QDir::toNativeSeparators(folder));
        return problems;
    }
    const QString source = defaultsSource(workingFolder);
    for (const QString &name : tableNames()) {
        QString err = copyOver(source + QLatin1Char('/') + name, folder + name);
        if (!err.isEmpty())
            problems << err;
    }
    // The shipped data file is only ever added, never overwritten: it may be
    // the operator's own by now.
    const QString sample = folder + kSampleRelative;
    if (!QFileInfo::exists(sample)) {
        QDir().mkpath(QFileInfo(sample).absolutePath());
        QString err = copyOver(QStringLiteral(":/defaults/") + kSampleRelative, sample);
        if (!err.isEmpty())
            problems << err;
    }
    return problems;
}

QString resolveDataFolder(const QString &db1)
{
    if (db1.isEmpty() || QDir::isAbsolutePath(db1))
        return db1;
    return QDir(folderPath()).filePath(db1);
}

} // namespace zl::settings
