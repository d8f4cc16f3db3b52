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

// One version of the data file as the file system tells it, without reading
// it: which file the names lead to, its size and when it last changed. Two
// stamps differ when the file was edited, replaced or renamed over, or the
// names lead elsewhere.
struct DataFileStamp {
    QString path;
    qint64 size = -1;
    qint64 modifiedNs = 0;
    quint64 inode = 0;
    quint64 device = 0;
    friend bool operator==(const DataFileStamp &a, const DataFileStamp &b)
    {
        return a.path == b.path && a.size == b.size && a.modifiedNs == b.modifiedNs && a.inode == b.inode
            && a.device == b.device;
    }
    friend bool operator!=(const DataFileStamp &a, const DataFileStamp &b) { return !(a == b); }
};
// Never throws: a file that is not there has a stamp of its own (size -1).
DataFileStamp dataFileStamp(const QString &db1, const QString &db2);

} // namespace zl::datasource
