#include "settings/Defaults.h"

#include "settings/SettingsTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>

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

QStringList columnsOf(const QString &table)
{
    if (table == kDataSourceTable)
        return dataSourceColumns();
    if (table == kLayoutTable)
        return layoutColumns();
    if (table == kAdjustmentTable)
        return adjustmentColumns();
    return {};
}

// Why a dealer's table cannot serve as a default: unreadable, or not the
// columns every reader of it expects. Empty when it can.
QString dealerTableProblem(const QString &path, const QString &table)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("%1 を読めません").arg(QDir::toNativeSeparators(path));
    const QByteArray bytes = f.readAll();
    const QStringList wanted = columnsOf(table);
    if (wanted.isEmpty())
        return {}; // the general table is installed, never read
    try {
        const SettingsRecord record = parseQueryTable(bytes, table);
        QStringList names = record.columns();
        if (names.size() != wanted.size()
            || !std::equal(names.begin(), names.end(), wanted.begin(),
                           [](const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) == 0; }))
            return QStringLiteral("%1 の列が %2 ではありません")
                .arg(QDir::toNativeSeparators(path), wanted.size() > 6 ? QStringLiteral("%1 列 (DB1, DB2, SIZE1, …)").arg(wanted.size())
                                                                      : wanted.join(QStringLiteral(", ")));
        parseSequentialRecords(bytes, int(wanted.size()), table);
    } catch (const Failure &f) {
        return f.description();
    }
    return {};
}

QString readAll(const QString &path, QByteArray &bytes)
{
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return QStringLiteral("%1 を読めません").arg(QDir::toNativeSeparators(path));
    bytes = in.readAll();
    return {};
}
} // namespace

QString dealerTablesProblem(const QString &workingFolder)
{
    const QDir dir(workingFolder);
    QStringList missing;
    for (const QString &name : tableNames())
        if (!QFileInfo(dir.filePath(name)).isFile())
            missing << name;
    if (missing.size() == tableNames().size())
        return {};
    if (!missing.isEmpty())
        return QStringLiteral("作業フォルダ %1 に %2 がありません")
            .arg(QDir::toNativeSeparators(dir.absolutePath()), missing.join(QStringLiteral("、")));
    for (const QString &name : tableNames()) {
        const QString problem = dealerTableProblem(dir.filePath(name), name);
        if (!problem.isEmpty())
            return problem;
    }
    return {};
}

QString defaultsSource(const QString &workingFolder)
{
    const QDir dir(workingFolder);
    initDefaultsResource();
    for (const QString &name : tableNames())
        if (!QFileInfo(dir.filePath(name)).isFile())
            return QStringLiteral(":/defaults");
    if (!dealerTablesProblem(workingFolder).isEmpty())
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
    errno = 0;
    if (!QFileInfo(folder).isDir() && !QDir().mkpath(folder)) {
        const int error = errno ? errno : (QFileInfo::exists(QDir::cleanPath(folder)) ? EEXIST : EACCES);
        problems << QStringLiteral("設定フォルダ %1 を作成できません: %2")
                        .arg(QDir::toNativeSeparators(folder),
                             error == EEXIST ? QStringLiteral("同じ名前のファイルがあります") : writeFailureReason(error));
        return problems;
    }
    const QString source = defaultsSource(workingFolder);
    // All four or none: a disk that fills up half way keeps the old set.
    QList<QPair<QString, QByteArray>> files;
    for (const QString &name : tableNames()) {
        QByteArray bytes;
        const QString err = readAll(source + QLatin1Char('/') + name, bytes);
        if (!err.isEmpty())
            return problems << err;
        files.append({folder + name, bytes});
    }
    try {
        writeFiles(files);
    } catch (const Failure &f) {
        return problems << f.description();
    }
    // The shipped data file is only ever added, never overwritten: it may be
    // the operator's own by now.
    const QString sample = folder + kSampleRelative;
    if (!QFileInfo::exists(sample)) {
        QDir().mkpath(QFileInfo(sample).absolutePath());
        QByteArray bytes;
        QString err = readAll(QStringLiteral(":/defaults/") + kSampleRelative, bytes);
        if (err.isEmpty()) {
            try {
                writeFiles({{sample, bytes}});
            } catch (const Failure &f) {
                err = f.description();
            }
        }
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
