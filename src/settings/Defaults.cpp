#include "settings/Defaults.h"

#include "common/RegularFile.h"
#include "common/SystemErrors.h"
#include "settings/SaveFiles.h"
#include "settings/SettingsTable.h"
#include "settings/StoredSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <optional>
#include <thread>

// The defaults live in a static library, whose resources must be pulled in by hand.
static void initDefaultsResource()
{
    // A resource is registered once a process.
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
        return QStringLiteral("%1 を読めません。%2").arg(QDir::toNativeSeparators(path), fileProblemText(in));
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

namespace {
// Written whole (or not at all) before the first table changes, and removed
// once the last is in place.
QString restoreNotePath()
{
    return folderPath() + QStringLiteral(".zenlabo-restore");
}

} // namespace

QStringList interruptedRestore()
{
    RegularFile note(restoreNotePath(), kTableSizeLimit);
    if (note.refusal() == FileRefusal::Missing)
        return {};
    QStringList tables;
    const QByteArray bytes = note.readAll();
    for (const QString &name : QString::fromUtf8(bytes).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        if (tableNames().contains(name))
            tables << name;
    // A note that cannot be read stands for the whole set.
    return tables.isEmpty() ? tableNames() : tables;
}

TablesCondition checkTables()
{
    TablesCondition c;
    if (!QFileInfo(folderPath()).isDir()) {
        c.toRestore = tableNames();
        return c;
    }
    for (const QString &name : tableNames()) {
        std::optional<TableFailure> failure;
        // A missing table was already looked for again by the open itself.
        for (int attempt = 0; attempt < 3 && (!failure || failure->kind() == TableFailure::Damaged); ++attempt) {
            if (attempt)
                std::this_thread::sleep_for(std::chrono::milliseconds(30));
            failure.reset();
            try {
                if (name == kGeneralTable) {
                    // Installed, never read: it only has to be a file.
                    RegularFile f(tablePath(name), kTableSizeLimit, 4);
                    if (f.refusal() == FileRefusal::Missing)
                        throw TableFailure(TableFailure::Missing, {});
                    if (f.refusal() == FileRefusal::NotRegular || f.refusal() == FileRefusal::TooLarge)
                        throw TableFailure(TableFailure::Damaged, {});
                } else {
                    ReadSettingsRecords(name, int(columnsOf(name).size()));
                    QuerySettingsTable(name, columnsOf(name));
                }
                break;
            } catch (const TableFailure &f) {
                failure = f;
            }
        }
        if (!failure)
            continue;
        if (failure->kind() == TableFailure::Unreadable)
            c.unreadable << failure->description();
        else
            c.toRestore << name;
    }
    return c;
}

void clearStaleFiles()
{
    const QString folder = folderPath();
    QStringList names = tableNames();
    names << QFileInfo(restoreNotePath()).fileName() << QFileInfo(kSampleRelative).fileName();
    clearStaleSaveFiles({folder, QFileInfo(folder + kSampleRelative).absolutePath()}, names);
}

QString samplePath()
{
    return folderPath() + kSampleRelative;
}

bool sampleMissing()
{
    const QString sample = samplePath();
    try {
        const StoredDataSource source = readDataSource();
        if (QDir::cleanPath(QDir(resolveDataFolder(source.folder)).filePath(source.file)) != QDir::cleanPath(sample))
            return false;
    } catch (const Failure &) {
        return false; // a table that cannot be read is restored, sample and all
    }
    return RegularFile(sample, kTableSizeLimit).refusal() == FileRefusal::Missing;
}

QString restoreSample(SystemProblem *cause)
{
    // Only ever added, never overwritten: it may be the operator's own by now.
    const QString sample = samplePath();
    if (RegularFile(sample, kTableSizeLimit).refusal() != FileRefusal::Missing)
        return {};
    const QString folder = QFileInfo(sample).absolutePath();
    errno = 0;
    if (!QDir().mkpath(folder)) {
        const int error = errno ? errno : EACCES;
        if (cause)
            *cause = problemFromErrno(error);
        return QStringLiteral("フォルダ %1 を作成できません。%2").arg(QDir::toNativeSeparators(folder), errnoProblemText(error));
    }
    try {
        writeFiles({{sample, builtInDefault(kSampleRelative)}});
    } catch (const SaveFailure &f) {
        if (cause)
            *cause = f.problem();
        return f.description();
    }
    return {};
}

QStringList restoreDefaultTables(const QString &workingFolder, const QStringList &tables, SystemProblem *cause)
{
    QStringList problems;
    const QString folder = folderPath();
    errno = 0;
    if (!QFileInfo(folder).isDir() && !QDir().mkpath(folder)) {
        const int error = errno ? errno : (QFileInfo::exists(QDir::cleanPath(folder)) ? EEXIST : EACCES);
        if (cause)
            *cause = problemFromErrno(error);
        problems << QStringLiteral("設定フォルダ %1 を作成できません。%2")
                        .arg(QDir::toNativeSeparators(folder), errnoProblemText(error));
        return problems;
    }
    const QString source = defaultsSource(workingFolder);
    // All or none: a disk that fills up half way keeps the old set.
    QList<QPair<QString, QByteArray>> files;
    for (const QString &name : tables) {
        QByteArray bytes;
        const QString err = readAll(source + QLatin1Char('/') + name, bytes);
        if (!err.isEmpty())
            return problems << err;
        files.append({folder + name, bytes});
    }
    // The sample before the tables that name it: a disk too full for it
    // leaves the tables as they were, for the next start to try again,
    // rather than a set that points at a file that is not there.
    if (tables.contains(kDataSourceTable)) {
        const QString err = restoreSample(cause);
        if (!err.isEmpty())
            return problems << err;
    }
    try {
        writeFiles({{restoreNotePath(), tables.join(QLatin1Char('\n')).toUtf8()}});
    } catch (const SaveFailure &f) {
        if (cause)
            *cause = f.problem();
        return problems << f.description();
    }
    int replaced = 0;
    try {
        writeFiles(files, &replaced);
    } catch (const SaveFailure &f) {
        // A set that a failed rename left half replaced keeps its note, for
        // the next start to complete.
        if (replaced == 0)
            QFile::remove(restoreNotePath());
        if (cause)
            *cause = f.problem();
        return problems << f.description();
    }
    QFile::remove(restoreNotePath());
    return problems;
}

QString resolveDataFolder(const QString &db1)
{
    if (db1.isEmpty() || QDir::isAbsolutePath(db1))
        return db1;
    return QDir(folderPath()).filePath(db1);
}

} // namespace zl::settings
