#include "app/Startup.h"

#include "settings/Defaults.h"
#include "settings/SettingsTable.h"
#include "settings/StoredSettings.h"

#include <QDir>
#include <QSysInfo>

namespace zl::app {

QString operatingSystemText()
{
#ifdef Q_OS_WIN
    // Platform id 2 (NT family): "major.minor (build)".
    const QString v = QSysInfo::kernelVersion(); // "10.0.19045"
    const QStringList p = v.split(QLatin1Char('.'));
    if (p.size() >= 3)
        return QStringLiteral("%1.%2 (%3)").arg(p[0], p[1]).arg(p[2].toUInt() & 0xFFFF);
    return v;
#else
    return QStringLiteral("%1 (%2 %3)").arg(QSysInfo::prettyProductName(), QSysInfo::kernelType(),
                                             QSysInfo::kernelVersion());
#endif
}

namespace {

// What the operator does before the next start, which then completes the
// settings: for the problems they can put right, that one; the folder named
// in full either way.
QString remedyText(SystemProblem cause)
{
    const QString folder = QDir::toNativeSeparators(settings::folderPath());
    switch (cause) {
    case SystemProblem::DiskFull:
        return QStringLiteral("設定フォルダ %1 のあるディスクに空きを作ってから、ソフトを再起動してください。足りない設定は起動したときに作ります。")
            .arg(folder);
    case SystemProblem::ReadOnlyDisk:
        return QStringLiteral("設定フォルダ %1 のあるディスクを書き込めるようにしてから、ソフトを再起動してください。").arg(folder);
    case SystemProblem::NoPermission:
        return QStringLiteral("設定フォルダ %1 に書き込めるように権限を直してから、ソフトを再起動してください。").arg(folder);
    case SystemProblem::AlreadyExists:
    case SystemProblem::NotFolder:
        return QStringLiteral("設定フォルダ %1 の場所にあるファイルを移すか消してから、ソフトを再起動してください。").arg(folder);
    default:
        return QStringLiteral("ディスクの空き容量と設定フォルダ %1 の書き込み権限を確かめてから、ソフトを再起動してください。").arg(folder);
    }
}

// The problems are sentences of the system-error words, most already
// ending in 「。」.
QString sentences(const QStringList &problems)
{
    QString said = problems.join(QStringLiteral("、"));
    if (!said.endsWith(QChar(0x3002)))
        said += QChar(0x3002);
    return said;
}

} // namespace

QString restoreFailureText(const QStringList &problems, SystemProblem cause)
{
    return QStringLiteral("設定ファイルが読めないため初期化しようとしましたが、初期化できませんでした: %1%2")
        .arg(sentences(problems), remedyText(cause));
}

QString unreadableTablesText(const QStringList &problems)
{
    return QStringLiteral("設定ファイルを読めないため、設定は変更していません: %1 "
                          "設定フォルダ %2 のファイルの権限を確かめてから、ソフトを再起動してください。")
        .arg(problems.join(QLatin1Char(' ')), QDir::toNativeSeparators(settings::folderPath()));
}

StartupView runStartup(const QString &workingFolder)
{
    using namespace zl::settings;
    StartupView v;
    clearStaleFiles();
    // Only what is really absent or damaged is restored, and what a crash
    // kept an earlier restore from finishing; a table that merely cannot be
    // read now keeps the operator's values.
    const QStringList interrupted = interruptedRestore();
    const TablesCondition condition = checkTables();
    QStringList restore;
    for (const QString &name : tableNames())
        if (interrupted.contains(name) || condition.toRestore.contains(name))
            restore << name;
    SystemProblem cause = SystemProblem::None;
    if (!restore.isEmpty()) {
        const QStringList problems = restoreDefaultTables(workingFolder, restore, &cause);
        if (!problems.isEmpty()) {
            v.restoreFailed = true;
            v.label12 = restoreFailureText(problems, cause);
        } else {
            v.initialised = true;
            v.label12 = kRestartRequest;
            const QString dealer = dealerTablesProblem(workingFolder);
            if (!dealer.isEmpty())
                v.label12 += QStringLiteral("（%1ため、作業フォルダの設定ファイルではなく組み込みの初期設定を使いました）").arg(dealer);
        }
    }
    if (!v.restoreFailed && sampleMissing()) {
        // The tables are the operator's: only the sample they name is added.
        if (const QString problem = restoreSample(&cause); !problem.isEmpty()) {
            v.restoreFailed = true;
            v.label12 = QStringLiteral("設定の初期化が済んでいません。見本のデータファイルを置けませんでした: %1%2")
                            .arg(sentences({problem}), remedyText(cause));
        }
    }
    if (!condition.unreadable.isEmpty() && !v.restoreFailed)
        v.label12 += unreadableTablesText(condition.unreadable);

    // A step that fails now is skipped; the message line says why, unless
    // it already tells of a restore or of a table that cannot be read.
    v.label11 = operatingSystemText();
    readShownSettings(v, [&](const Failure &f) {
        if (v.label12.isEmpty())
            v.label12 = unreadableTablesText({f.description()});
    });
    return v;
}

void readShownSettings(StartupView &v, const std::function<void(const Failure &)> &failed)
{
    using namespace zl::settings;
    auto guarded = [&](auto &&step) {
        try {
            step();
        } catch (const Failure &f) {
            failed(f);
        }
    };
    guarded([&] {
        const StoredLayout layout = readLayout();
        v.label4 = layout.title2 == kC5255Marker ? kC5255Running : layout.title2;
    });
    if (v.label4 == kC5255Running) {
        // The slip names its own file; the data source is not shown.
        v.label7.clear();
        v.label15.clear();
        guarded([&] {
            const StoredAdjustments adj = readAdjustments();
            v.textdb = adj.slipFolder;
            v.textuser = adj.slipFile;
        });
        return;
    }
    guarded([&] {
        const StoredDataSource ds = readDataSource();
        v.textuser = ds.folder;
        v.textdb = ds.file;
        v.label7 = v.textuser;
        v.label15 = v.textdb;
    });
}

} // namespace zl::app
