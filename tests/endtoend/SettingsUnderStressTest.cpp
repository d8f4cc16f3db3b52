// The settings folder when things happen around the program: another
// process replacing a table while it starts and prints, a kill during the
// first start, a pipe or a device where a file belongs, a table another
// tool wrote and a screen saved back. Through the program itself; whatever
// happened, the folder afterwards holds the operator's values and nothing else.
#include "TestEnv.h"
#include "TestRegistry.h"

#include "layout/LayoutSelection.h"
#include "settings/Defaults.h"
#include "settings/SettingsTable.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <functional>
#include <memory>
#include <sys/stat.h>

using namespace zl::settings;

namespace {

using Files = QMap<QString, QByteArray>;

// Every file under the settings folder, by path inside it; what is not an
// ordinary file is never opened (a pipe would wait for ever).
Files snapshot()
{
    Files files;
    const QString root = folderPath();
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info(path);
        QFile f(path);
        files[path.mid(root.size())] = !info.isFile() || info.isSymLink() ? QByteArray("(not a file)")
                                       : f.open(QIODevice::ReadOnly)        ? f.readAll()
                                                                            : QByteArray("(unreadable)");
    }
    return files;
}

QByteArray products(int records)
{
    QString text = QStringLiteral("JANコード,商品名,規格,価格\r\n");
    for (int i = 1; i <= records; ++i)
        text += QStringLiteral("4912345%1,商品%2,規格,%3\r\n").arg(i, 5, 10, QLatin1Char('0')).arg(i).arg(100 + i);
    return zltest::sjis(text);
}

struct Run {
    int exitCode = -1;
    QString err;
};

class Program {
public:
    explicit Program(zltest::TempHome &home) : m_home(home) {}

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), m_home.root());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.root() + QStringLiteral("/config"));
        env.remove(QStringLiteral("XDG_DOCUMENTS_DIR"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("CUPS_SERVER"), m_home.root() + QStringLiteral("/no-cups.sock"));
        return env;
    }

    // `zenlabo --print`; a run that never ends counts as exit -1.
    Run print() const
    {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.setWorkingDirectory(m_home.root());
        p.start(QStringLiteral(ZENLABO_BINARY), {QStringLiteral("--print")});
        if (!p.waitForFinished(60000)) {
            p.kill();
            p.waitForFinished();
            return {};
        }
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardError())};
    }

    // A start with windows, ended with SIGKILL `afterMs` milliseconds after
    // `when` first holds (looked at every millisecond, for at most 30 s).
    void startAndKill(const std::function<bool()> &when, int afterMs = 0) const
    {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.setWorkingDirectory(m_home.root());
        p.start(QStringLiteral(ZENLABO_BINARY), {});
        p.waitForStarted();
        const QDeadlineTimer limit(30000);
        while (!when() && !limit.hasExpired())
            QTest::qSleep(1);
        QTest::qSleep(afterMs);
        p.kill();
        p.waitForFinished();
    }

    // Holds once `ms` milliseconds have passed since it was made.
    static std::function<bool()> after(int ms)
    {
        auto timer = std::make_shared<QDeadlineTimer>(ms);
        return [timer] { return timer->hasExpired(); };
    }

private:
    zltest::TempHome &m_home;
};

// What a first start leaves: the default tables and the sample, nothing else.
Files firstStartFiles()
{
    Files files;
    for (const QString &name : tableNames())
        files[name] = builtInDefault(name);
    QFile sample(QStringLiteral(":/defaults/sample/barcodelist.csv"));
    sample.open(QIODevice::ReadOnly);
    files[QStringLiteral("sample/barcodelist.csv")] = sample.readAll();
    return files;
}

} // namespace

using Scenario = std::function<void(zltest::TempHome &, const Program &, Files &expected)>;
Q_DECLARE_METATYPE(Scenario)

class SettingsUnderStressTest : public QObject {
    Q_OBJECT
private slots:
    void settingsSurvive_data()
    {
        QTest::addColumn<Scenario>("scenario");

        QTest::newRow("another process replaces a table while the program starts and prints")
            << Scenario([](zltest::TempHome &home, const Program &program, Files &) {
                   // The saver writes the operator's own table again and again,
                   // the way editors and a second copy of the program save:
                   // a new file renamed over the old one.
                   const QString source = home.root() + QStringLiteral("/layout.copy");
                   QVERIFY(QFile::copy(tablePath(kLayoutTable), source));
                   QProcess saver;
                   saver.start(QStringLiteral("sh"),
                               {QStringLiteral("-c"),
                                QStringLiteral("i=0; while [ $i -lt 3000 ]; do cat \"$1\" > \"$2\" && mv -f \"$2\" \"$3\"; "
                                               "i=$((i+1)); done"),
                                QStringLiteral("saver"), source, home.root() + QStringLiteral("/layout.new"),
                                tablePath(kLayoutTable)});
                   QVERIFY(saver.waitForStarted());
                   for (int i = 0; i < 12 && saver.state() == QProcess::Running; ++i) {
                       const Run r = program.print();
                       QVERIFY2(r.exitCode == 0, qPrintable(QStringLiteral("run %1: %2").arg(i).arg(r.err)));
                       program.startAndKill(Program::after(1500));
                   }
                   saver.kill();
                   saver.waitForFinished();
               });

        QTest::newRow("kill -9 during the first start, then a start")
            << Scenario([](zltest::TempHome &home, const Program &program, Files &expected) {
                   expected = firstStartFiles();
                   // The kills land in the first milliseconds after the
                   // settings folder appears, while the defaults are written.
                   const QString folder = folderPath();
                   for (int i = 0; i < 12; ++i) {
                       QDir(home.root() + QStringLiteral("/config")).removeRecursively();
                       program.startAndKill([&] { return QFileInfo::exists(folder); }, i % 6);
                       // The next start completes whatever the killed one began.
                       program.startAndKill([&] { return snapshot() == expected; });
                       QVERIFY2(snapshot() == expected,
                                qPrintable(QStringLiteral("after a kill %1 ms into the first start: %2")
                                               .arg(i % 6)
                                               .arg(QStringList(snapshot().keys()).join(QLatin1Char(' ')))));
                   }
               });

        QTest::newRow("a pipe as the data file")
            << Scenario([](zltest::TempHome &home, const Program &program, Files &) {
                   const QString fifo = home.root() + QStringLiteral("/data/items.csv");
                   QFile::remove(fifo);
                   QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0644) == 0);
                   const Run r = program.print();
                   QCOMPARE(r.exitCode, 1);
                   QVERIFY2(r.err.contains(QStringLiteral("普通のファイルではありません")), qPrintable(r.err));
               });

        QTest::newRow("a link to /dev/zero as the data file")
            << Scenario([](zltest::TempHome &home, const Program &program, Files &) {
                   const QString link = home.root() + QStringLiteral("/data/items.csv");
                   QFile::remove(link);
                   QVERIFY(QFile::link(QStringLiteral("/dev/zero"), link));
                   const Run r = program.print();
                   QCOMPARE(r.exitCode, 1);
                   QVERIFY2(r.err.contains(QStringLiteral("普通のファイルではありません")), qPrintable(r.err));
               });

        QTest::newRow("a pipe as a table: the command line leaves it, a start replaces it")
            << Scenario([](zltest::TempHome &, const Program &program, Files &expected) {
                   QFile::remove(tablePath(kLayoutTable));
                   QVERIFY(::mkfifo(QFile::encodeName(tablePath(kLayoutTable)).constData(), 0644) == 0);
                   const Run r = program.print();
                   QCOMPARE(r.exitCode, 4);
                   QVERIFY2(r.err.contains(QStringLiteral("普通のファイルではありません")), qPrintable(r.err));
                   expected[kLayoutTable] = builtInDefault(kLayoutTable);
                   program.startAndKill([&] { return snapshot() == expected; });
               });

        QTest::newRow("a title another tool wrote with a line break, saved back by the layout screen")
            << Scenario([](zltest::TempHome &home, const Program &program, Files &expected) {
                   home.writeFile(kLayoutTable, zltest::sjis(QStringLiteral("\"TITLE1\",\"TITLE2\",\"YOSHI\",\"PRINTER\"\r\n"
                                                                            "\"店\r\n舗\",\"特価\",\"9\",\"0\"\r\n")));
                   zl::layout::LayoutFields fields = zl::layout::loadLayoutFields();
                   fields.text2 = QStringLiteral("新特価");
                   fields.text5 = QStringLiteral("9");
                   fields.text6 = QStringLiteral("0");
                   QVERIFY(zl::layout::saveLayout(fields, true) == zl::layout::SaveResult::Saved);
                   const Run r = program.print();
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
        // The operator's own settings: titles, a data file outside the folder.
        home.writeTable(kLayoutTable, layoutColumns(),
                        {QStringLiteral("店"), QStringLiteral("特価"), QStringLiteral("9"), QStringLiteral("0")});
        home.writeFile(home.root() + QStringLiteral("/data/items.csv"), products(2));
        home.writeTable(kDataSourceTable, dataSourceColumns(), {home.root() + QStringLiteral("/data"), QStringLiteral("items.csv")});
        Files expected = snapshot();
        const Program program(home);
        scenario(home, program, expected);
        if (QTest::currentTestFailed())
            return;
        const Files after = snapshot();
        QCOMPARE(QStringList(after.keys()), QStringList(expected.keys()));
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            QVERIFY2(after.value(it.key()) == it.value(), qPrintable(it.key() + QStringLiteral(" is not as the operator left it")));
    }
};

ZL_TEST(SettingsUnderStressTest)
#include "SettingsUnderStressTest.moc"
