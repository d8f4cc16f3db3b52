// The settings folder when things happen around the program, through the
// program itself: whatever happened, the folder afterwards holds the
// operator's values and nothing else.
#include "TestEnv.h"
#include "TestRegistry.h"

#include "layout/LayoutSelection.h"
#include "settings/Defaults.h"
#include "settings/SettingsTable.h"

#include <QDeadlineTimer>
#include <QDirIterator>
#include <QProcess>
#include <QTest>
#include <csignal>
#include <functional>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace zl::settings;

namespace {

using Files = QMap<QString, QByteArray>;

// Every file of the settings folder by its path there; a pipe or a link is
// never opened.
Files snapshot()
{
    Files files;
    QDirIterator it(folderPath(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile f(it.next());
        const bool plain = it.fileInfo().isFile() && !it.fileInfo().isSymLink() && f.open(QIODevice::ReadOnly);
        files[f.fileName().mid(folderPath().size())] = plain ? f.readAll() : QByteArray("(not a file)");
    }
    return files;
}

// A start with windows, killed `afterMs` after `when` first holds (looked at every ms, for at most 30 s).
void startAndKill(const zltest::TempHome &home, const std::function<bool()> &when, int afterMs = 0)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.root());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.root() + QStringLiteral("/config"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("CUPS_SERVER"), home.root() + QStringLiteral("/no-cups.sock"));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(home.root());
    p.start(QStringLiteral(ZENLABO_BINARY)); // QProcess kills it when it goes
    p.waitForStarted();
    for (const QDeadlineTimer limit(30000); !when() && !limit.hasExpired();)
        QTest::qSleep(1);
    QTest::qSleep(afterMs);
}

} // namespace

using Scenario = std::function<void(zltest::TempHome &, Files &expected)>;
Q_DECLARE_METATYPE(Scenario)

class SettingsUnderStressTest : public QObject {
    Q_OBJECT
private slots:
    void settingsSurvive_data()
    {
        QTest::addColumn<Scenario>("scenario");
        QTest::newRow("another process replaces a table while the program starts and prints")
            << Scenario([](zltest::TempHome &home, Files &) {
                   // A new file renamed over the old, as editors and a second copy save.
                   const QString copy = home.root() + QStringLiteral("/layout.copy");
                   QVERIFY(QFile::copy(tablePath(kLayoutTable), copy));
                   QProcess saver;
                   saver.start(QStringLiteral("sh"), {QStringLiteral("-c"),
                                                      QStringLiteral("for i in $(seq 3000); do cat \"$1\" > \"$1.new\" && "
                                                                     "mv -f \"$1.new\" \"$2\"; done"),
                                                      QStringLiteral("saver"), copy, tablePath(kLayoutTable)});
                   for (int i = 0; i < 12 && saver.state() != QProcess::NotRunning; ++i) {
                       const zltest::ProgramOutcome r = zltest::runProgram(home, {QStringLiteral("--print")});
                       QVERIFY2(r.exitCode == 0, qPrintable(r.err));
                       const QDeadlineTimer started(1500);
                       startAndKill(home, [&] { return started.hasExpired(); });
                   }
               });
        QTest::newRow("kill -9 during the first start, then a start")
            << Scenario([](zltest::TempHome &home, Files &expected) {
                   home.installDefaults();
                   expected = snapshot();
                   // Killed in the first milliseconds after the folder appears,
                   // while the defaults are written.
                   for (int i = 0; i < 12; ++i) {
                       QDir(home.root() + QStringLiteral("/config")).removeRecursively();
                       startAndKill(home, [] { return QFileInfo::exists(folderPath()); }, i % 6);
                       startAndKill(home, [&] { return snapshot() == expected; });
                       QVERIFY2(snapshot() == expected, qPrintable(QStringList(snapshot().keys()).join(QLatin1Char(' '))));
                   }
               });
        QTest::newRow("saves over and over while other copies of the program start")
            << Scenario([](zltest::TempHome &, Files &expected) {
                   // What every start and every --print does first, over and
                   // over in two other processes, until the saves are done.
                   std::vector<pid_t> starts;
                   for (int i = 0; i < 2; ++i) {
                       const pid_t pid = ::fork();
                       if (pid == 0) {
                           ::prctl(PR_SET_PDEATHSIG, SIGKILL);
                           for (;;)
                               clearStaleFiles();
                       }
                       starts.push_back(pid);
                   }
                   constexpr int kSaves = 2000;
                   QStringList failures;
                   for (int i = 0; i < kSaves; ++i) {
                       try {
                           RewriteSettingsTable(kLayoutTable, layoutColumns(),
                                                {QStringLiteral("店"), QString::number(i), QStringLiteral("9"), QStringLiteral("0")});
                       } catch (const zl::Failure &f) {
                           failures << f.description();
                       }
                   }
                   for (const pid_t pid : starts) {
                       ::kill(pid, SIGKILL);
                       ::waitpid(pid, nullptr, 0);
                   }
                   QVERIFY2(failures.isEmpty(), qPrintable(QStringLiteral("%1 of %2 saves failed: %3")
                                                               .arg(failures.size()).arg(kSaves).arg(failures.value(0))));
                   expected[kLayoutTable] = formatTable(layoutColumns(), {QStringLiteral("店"), QString::number(kSaves - 1),
                                                                          QStringLiteral("9"), QStringLiteral("0")});
               });
        QTest::newRow("a pipe, then a link to /dev/zero, as the data file")
            << Scenario([](zltest::TempHome &home, Files &) {
                   const QByteArray data = QFile::encodeName(home.root() + QStringLiteral("/data/items.csv"));
                   QVERIFY(::unlink(data.constData()) == 0 && ::mkfifo(data.constData(), 0644) == 0);
                   for (int i = 0; i < 2; ++i) {
                       const zltest::ProgramOutcome r = zltest::runProgram(home, {QStringLiteral("--print")});
                       QCOMPARE(r.exitCode, 1);
                       QVERIFY2(r.err.contains(QStringLiteral("普通のファイルではありません")), qPrintable(r.err));
                       QVERIFY(::unlink(data.constData()) == 0 && ::symlink("/dev/zero", data.constData()) == 0);
                   }
               });
        QTest::newRow("a pipe, a link to /dev/zero, a table cut short or too large: the command line leaves them, a start "
                      "replaces them and clears what interrupted saves left")
            << Scenario([](zltest::TempHome &home, Files &expected) {
                   const QByteArray table = QFile::encodeName(tablePath(kLayoutTable));
                   QVERIFY(::unlink(table.constData()) == 0 && ::mkfifo(table.constData(), 0644) == 0);
                   QVERIFY(::unlink(QFile::encodeName(tablePath(kAdjustmentTable)).constData()) == 0
                           && QFile::link(QStringLiteral("/dev/zero"), tablePath(kAdjustmentTable)));
                   home.writeFile(kDataSourceTable, "\"DB1\",\"DB2\"\r\n\"/data\"");
                   home.writeFile(kGeneralTable, QByteArray(kTableSizeLimit + 1, 'x'));
                   home.writeFile(QStringLiteral("vokiconfig4.txt.duifsl"), "\"TITLE1\"");
                   home.writeFile(QStringLiteral("sample/barcodelist.csv.Ab12Cd"), "JAN");
                   const zltest::ProgramOutcome r = zltest::runProgram(home, {QStringLiteral("--print")});
                   QCOMPARE(r.exitCode, 4);
                   QVERIFY2(r.err.contains(QStringLiteral("普通のファイルではありません")), qPrintable(r.err));
                   for (const QString &name : tableNames())
                       expected[name] = builtInDefault(name);
                   startAndKill(home, [&] { return snapshot() == expected; });
               });
        QTest::newRow("a title another tool wrote with a line break, saved back by the layout screen")
            << Scenario([](zltest::TempHome &home, Files &expected) {
                   home.writeFile(kLayoutTable, zltest::sjis(QStringLiteral("\"TITLE1\",\"TITLE2\",\"YOSHI\",\"PRINTER\"\r\n"
                                                                            "\"店\r\n舗\",\"特価\",\"9\",\"0\"\r\n")));
                   zl::layout::LayoutFields fields = zl::layout::loadLayoutFields();
                   fields.text2 = QStringLiteral("新特価");
                   fields.text5 = QStringLiteral("9");
                   fields.text6 = QStringLiteral("0");
                   QVERIFY(zl::layout::saveLayout(fields, true) == zl::layout::SaveResult::Saved);
                   const zltest::ProgramOutcome r = zltest::runProgram(home, {QStringLiteral("--print")});
                   QVERIFY2(r.exitCode == 0, qPrintable(r.err));
                   expected[kLayoutTable] = formatTable(layoutColumns(), {QStringLiteral("店"), QStringLiteral("新特価"),
                                                                          QStringLiteral("9"), QStringLiteral("0")});
               });
    }
    void settingsSurvive()
    {
        QFETCH(Scenario, scenario);
        zltest::TempHome home;
        home.installDefaults();
        home.writeTable(kLayoutTable, layoutColumns(),
                        {QStringLiteral("店"), QStringLiteral("特価"), QStringLiteral("9"), QStringLiteral("0")});
        home.writeFile(home.root() + QStringLiteral("/data/items.csv"),
                       zltest::sjis(QStringLiteral("JAN,名,規格,価格\r\n491234500001,a,b,1\r\n491234500002,b,b,2\r\n")));
        home.writeTable(kDataSourceTable, dataSourceColumns(), {home.root() + QStringLiteral("/data"), QStringLiteral("items.csv")});
        Files expected = snapshot();
        scenario(home, expected);
        if (!QTest::currentTestFailed())
            QCOMPARE(snapshot(), expected);
    }
};

ZL_TEST(SettingsUnderStressTest)
#include "SettingsUnderStressTest.moc"
