#include "app/Startup.h"

#include "settings/Defaults.h"
#include "settings/SettingsTable.h"

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

QString restoreFailureText(const QStringList &problems)
{
    return QStringLiteral("設定ファイルが読めないため初期化しようとしましたが、初期化できませんでした: %1。"
                          "ディスクの空き容量と設定フォルダ %2 の書き込み権限を確かめてから、ソフトを再起動してください。")
        .arg(problems.join(QStringLiteral("、")), QDir::toNativeSeparators(settings::folderPath()));
}

StartupView runStartup(const QString &workingFolder)
{
    using namespace zl::settings;
    StartupView v;
    // Each failed step restores the defaults and is skipped; the message line
    // tells what the initialisation itself could not do, if anything.
    auto guarded = [&](auto &&step) {
        try {
            step();
        } catch (const Failure &) {
            const QStringList problems = restoreDefaultTables(workingFolder);
            if (!problems.isEmpty()) {
                v.initialised = false;
                v.restoreFailed = true;
                v.label12 = restoreFailureText(problems);
                return;
            }
            if (v.restoreFailed)
                return; // an earlier restore failed: that stays the message
            v.initialised = true;
            v.label12 = kRestartRequest;
            const QString dealer = dealerTablesProblem(workingFolder);
            if (!dealer.isEmpty())
                v.label12 += QStringLiteral("（%1ため、作業フォルダの設定ファイルではなく組み込みの初期設定を使いました）").arg(dealer);
        }
    };

    guarded([&] {
        const QStringList layout = ReadSettingsRecords(kLayoutTable, 4);
        v.label4 = layout[1] == kC5255Marker ? kC5255Running : layout[1];
    });
    v.label11 = operatingSystemText();
    if (v.label4 == kC5255Running) {
        guarded([&] {
            const QStringList adj = ReadSettingsRecords(kAdjustmentTable, 99);
            v.textdb = adj[0];
            v.textuser = adj[1];
        });
        return v;
    }
    guarded([&] {
        const QStringList ds = ReadSettingsRecords(kDataSourceTable, 2);
        v.textuser = ds[0];
        v.textdb = ds[1];
        v.label7 = v.textuser;
        v.label15 = v.textdb;
    });
    return v;
}

} // namespace zl::app
