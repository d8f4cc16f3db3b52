#pragma once
// Where the data file is: the data-source table's DB1 (folder) and DB2 (file
// name) made into a path.
#include <QString>

namespace zl::datasource {

// The folder DB1 names, as an absolute path without a trailing separator:
// "~" and "~/..." are the home folder, a trailing "/" or "\" is accepted,
// and a relative folder (the stored default "sample") lies in the settings
// folder. Empty for an empty DB1. Screens show this, never the bare word.
QString dataFolderPath(const QString &db1);

// The data file's path for DB1 and DB2 (DB1 as dataFolderPath reads it).
// Throws when either is empty or the folder does not exist; a missing file
// is found by the open.
QString locateDataFile(const QString &db1, const QString &db2);

} // namespace zl::datasource
