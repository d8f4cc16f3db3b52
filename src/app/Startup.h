#pragma once
// What the main menu shows after reading the settings at start-up.
#include "common/Failure.h"
#include "common/SystemErrors.h"

#include <QString>
#include <QStringList>
#include <functional>

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
// failed and what to free or fix before the next start, by the kind of the
// problem (cause).
QString restoreFailureText(const QStringList &problems, SystemProblem cause);

// What the message line says when tables are there but cannot be read.
QString unreadableTablesText(const QStringList &problems);

// Clears what interrupted saves left, completes an interrupted restore,
// restores from workingFolder the tables that are absent or damaged (and
// only those), or else adds the sample data file they name when it is
// missing, then runs the start-up steps; a step that still fails is
// skipped and the next one runs.
StartupView runStartup(const QString &workingFolder);

// What the main menu shows of the settings (the layout line and the data
// source, or the C5255 slip's file), read into `v`: at start-up, and again
// whenever a screen has changed them. A table that cannot be read leaves
// its fields as they are and is told to `failed`.
void readShownSettings(StartupView &v, const std::function<void(const Failure &)> &failed);

} // namespace zl::app
