#include "datasource/DataFileLocation.h"

#include "common/Failure.h"
#include "settings/Defaults.h"
#include "settings/SettingsTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>

namespace zl::datasource {

QString dataFolderPath(const QString &db1)
{
    QString folder = db1.trimmed();
    if (folder.isEmpty())
        return {};
    // A folder typed or copied from a Windows habit may end with a backslash.
    while (folder.size() > 1 && (folder.endsWith(QLatin1Char('/')) || folder.endsWith(QLatin1Char('\\'))))
        folder.chop(1);
    if (folder == QLatin1String("~"))
        folder = QDir::homePath();
    else if (folder.startsWith(QLatin1String("~/")) || folder.startsWith(QLatin1String("~\\")))
        folder = QDir::homePath() + QLatin1Char('/') + folder.mid(2);
    return QDir::cleanPath(QDir(settings::folderPath()).absoluteFilePath(settings::resolveDataFolder(folder)));
}

QString locateDataFile(const QString &db1, const QString &db2)
{
    if (db1.trimmed().isEmpty())
        throw Failure(QStringLiteral("データファイルのフォルダ（接続CSV(ﾌｧｲﾙﾊﾟｽ)）が設定されていません。"));
    if (db2.isEmpty())
        throw Failure(QStringLiteral("データファイル名（データテーブル名）が設定されていません。"));
    const QString folder = dataFolderPath(db1);
    const QFileInfo folderInfo(folder);
    if (!folderInfo.exists())
        throw Failure(QStringLiteral("フォルダ %1 が見つかりません。").arg(QDir::toNativeSeparators(folder)));
    if (!folderInfo.isDir())
        throw Failure(QStringLiteral("%1 はフォルダではありません。").arg(QDir::toNativeSeparators(folder)));
    // Whether the file is there is for the open to say: a look at its name
    // may miss a file that another program is renaming into place.
    return QDir(folder).filePath(db2);
}

DataFileStamp dataFileStamp(const QString &db1, const QString &db2)
{
    DataFileStamp stamp;
    try {
        stamp.path = locateDataFile(db1, db2);
    } catch (const Failure &) {
        stamp.path = db1 + QLatin1Char('\n') + db2;
        return stamp;
    }
    struct stat st {};
    // stat, not QFileInfo: its times stop at milliseconds, and a file saved
    // twice within one would look unchanged.
    if (::stat(QFile::encodeName(stamp.path).constData(), &st) != 0)
        return stamp;
    stamp.size = st.st_size;
    stamp.modifiedNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp.inode = st.st_ino;
    stamp.device = st.st_dev;
    return stamp;
}

} // namespace zl::datasource
