#pragma once
// What the main menu shows after reading the settings at start-up.
#include <QString>
#include <QStringList>

namespace zl::app {

struct StartupView {
    QString label4;    // layout line
    QString label7;    // data-source folder
    QString label15;   // data-source file name
    QString label11;   // operating-system text
    QString label12;   // message line (red)
    QString textuser;
    QString textdb;
    bool initialised = false;  // the default tables were restored
    bool restoreFailed = false; // restoring them was needed and failed
};

inline const QString kC5255Running = QStringLiteral("ﾌﾟﾛｸﾞﾗﾑC5255動作中");
inline const QString kRestartRequest = QStringLiteral("設定ファイルが初期化されました。ソフトを再起動してください。");

// The operating-system line: the Windows texts on Windows, the distribution's
// pretty name and the kernel version elsewhere.
QString operatingSystemText();

// What the message line says when restoring the defaults failed: what
// failed and what to do.
QString restoreFailureText(const QStringList &problems);

// Runs the start-up steps; every failed step triggers the settings
// initialisation from workingFolder, is skipped, and the next step runs.
StartupView runStartup(const QString &workingFolder);

} // namespace zl::app
