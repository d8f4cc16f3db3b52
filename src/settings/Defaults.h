#pragma once
// Restoring the default settings tables.
#include <QString>
#include <QStringList>

#include "common/SystemErrors.h"
#include "settings/SettingsTable.h"

namespace zl::settings {

// The C5255 slip layout is in use while TITLE2 holds this marker.
inline const QString kC5255Marker = QStringLiteral("ｶｽﾀﾏｲｽﾞ5255使用中");

// Where the default tables come from: the working folder when all four
// stand there and each is readable with its columns (a dealer's own set),
// otherwise the copies built into the program.
QString defaultsSource(const QString &workingFolder);

// Why a dealer's set in the working folder is not used (a table missing,
// unreadable or with other columns); empty when it is used or when there
// is none at all.
QString dealerTablesProblem(const QString &workingFolder);

// The settings initialisation: creates the folder when missing, puts the
// sample data file in place when it is missing (with the data-source table),
// then copies the default tables named (all four unless told) over whatever
// is there. The tables are replaced together or not at all, never before the
// sample is in place, and a restore that a crash cut short is noted in the
// folder, so the next start completes it. Returns the problems met (empty
// when all went well), and in cause the kind of the last; it never throws.
QStringList restoreDefaultTables(const QString &workingFolder, const QStringList &tables = tableNames(),
                                 SystemProblem *cause = nullptr);

// Where the shipped sample data file goes: sample/barcodelist.csv in the
// settings folder, the data source of the default tables.
QString samplePath();
// The shipped sample data file is missing while the data-source table names
// its place (a start that ran out of space before it was written).
bool sampleMissing();
// Puts the shipped sample data file in place when it is missing; never
// overwrites one. Returns the problem, empty when it is in place.
QString restoreSample(SystemProblem *cause = nullptr);

// The tables of a restore that a crash interrupted; empty when none was.
QStringList interruptedRestore();

// What a start finds in the settings folder.
struct TablesCondition {
    QStringList toRestore;  // absent, or damaged beyond reading
    QStringList unreadable; // there, but cannot be opened now: why, per table
};
// Reads every table as its readers will. A table that fails is read again
// a moment later before it counts as damaged: another program may be
// replacing it.
TablesCondition checkTables();

// Removes what interrupted saves and restores left behind in the folder.
void clearStaleFiles();

// The bytes of a built-in default table.
QByteArray builtInDefault(const QString &fileName);

// A data-source folder may be given relative to the settings folder (the
// shipped sample is); absolute folders are used as they stand.
QString resolveDataFolder(const QString &db1);

} // namespace zl::settings
