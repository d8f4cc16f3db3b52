// Settings written to a disk that is full, has a page left, or is read-only:
// a small tmpfs of its own, filled up (or remounted) before each case. Every write must fail
// whole, say so in the operator's words, and leave the old tables.
#include "TestEnv.h"
#include "TestRegistry.h"

#include "app/Startup.h"
#include "settings/Defaults.h"
#include "settings/SettingsTable.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace zl::settings;

namespace {

const QString kSample = QStringLiteral("sample/barcodelist.csv");

enum Action { RewriteDataSource, RewriteLargeAdjustments, RestoreDefaults, StartupRestore };

QStringList largeAdjustments()
{
    QStringList v;
    for (int i = 0; i < 99; ++i)
        v << QStringLiteral("値%1").arg(i).leftJustified(40, QLatin1Char('x'));
    return v;
}

} // namespace

class FullDiskTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_mount;
    bool m_mounted = false;
    QByteArray m_oldXdg, m_oldHome;

    QString settings() const { return m_mount.path() + QStringLiteral("/config/tvz_ini2/"); }

    QMap<QString, QByteArray> snapshot() const
    {
        QMap<QString, QByteArray> files;
        QDirIterator it(settings(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile f(it.next());
            files[f.fileName()] = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }
        return files;
    }

    void writeRaw(const QString &path, const QByteArray &bytes)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(bytes), bytes.size());
    }

    // Fills the disk with 4 KB files, then frees `spare` of them.
    void fill(int spare)
    {
        QDir().mkpath(m_mount.path() + QStringLiteral("/filler"));
        QStringList made;
        const QByteArray page(4096, 'f');
        for (int i = 0;; ++i) {
            const QString name = m_mount.path() + QStringLiteral("/filler/%1").arg(i);
            QFile f(name);
            if (!f.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
                break;
            const bool whole = f.write(page) == page.size();
            f.close();
            if (!whole) {
                QFile::remove(name);
                break;
            }
            made << name;
            QVERIFY2(i < 64, "the small disk never filled up");
        }
        for (int i = 0; i < spare && !made.isEmpty(); ++i)
            QFile::remove(made.takeLast());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_mount.isValid());
        if (QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                                        QStringLiteral("size=64k"), QStringLiteral("zenlabo-full"),
                                                        m_mount.path()}) != 0)
            QSKIP("A 64 KB tmpfs cannot be mounted here (it needs root): the full-disk cases did not run.");
        m_mounted = true;
        m_oldXdg = qgetenv("XDG_CONFIG_HOME");
        m_oldHome = qgetenv("HOME");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_mount.path() + QStringLiteral("/config")));
        qputenv("HOME", QFile::encodeName(m_mount.path()));
    }
    void cleanupTestCase()
    {
        if (!m_mounted)
            return;
        qputenv("XDG_CONFIG_HOME", m_oldXdg);
        qputenv("HOME", m_oldHome);
        QProcess::execute(QStringLiteral("umount"), {m_mount.path()});
    }
    void init()
    {
        QDir(m_mount.path() + QStringLiteral("/filler")).removeRecursively();
        QDir(m_mount.path() + QStringLiteral("/config")).removeRecursively();
        QDir().mkpath(settings());
        // The shop's own tables, as they stand on its disk.
        writeRaw(settings() + kGeneralTable, "\"X\"\r\n\"shop\"\r\n");
        writeRaw(settings() + kDataSourceTable, "\"DB1\",\"DB2\"\r\n\"/shop/data\",\"items.csv\"\r\n");
        writeRaw(settings() + kLayoutTable, "\"TITLE1\",\"TITLE2\",\"YOSHI\",\"PRINTER\"\r\n\"a\",\"b\",\"9\",\"0\"\r\n");
        QByteArray adjustments = builtInDefault(kAdjustmentTable);
        writeRaw(settings() + kAdjustmentTable, adjustments.replace("\"0\"", "\"3\""));
    }

    void fullDiskLeavesTheOldTables_data()
    {
        QTest::addColumn<int>("action");
        QTest::addColumn<int>("spare"); // 4 KB pages left free; -1: the disk is mounted read-only
        QTest::addColumn<QString>("reason");
        for (int spare : {0, 1, -1}) {
            const QByteArray free = spare > 0 ? ", 4 KB free" : spare ? ", read-only" : ", disk full";
            const QString reason = spare < 0 ? QStringLiteral("読み取り専用") : QStringLiteral("空き容量が足りません");
            if (spare <= 0) // with a page free it fits, and is written
                QTest::newRow("data-source table" + free) << int(RewriteDataSource) << spare << reason;
            QTest::newRow("8 KB adjustment table" + free) << int(RewriteLargeAdjustments) << spare << reason;
            QTest::newRow("restoring the defaults" + free) << int(RestoreDefaults) << spare << reason;
            if (spare >= 0) // nothing can be removed from a read-only disk
                QTest::newRow("start-up restoring a missing table" + free) << int(StartupRestore) << spare << reason;
        }
    }
    void fullDiskLeavesTheOldTables()
    {
        QFETCH(int, action);
        QFETCH(int, spare);
        QFETCH(QString, reason);
        if (action == StartupRestore)
            QFile::remove(settings() + kDataSourceTable);
        const auto before = snapshot();
        struct Remount {
            QString path;
            bool readOnly;
            ~Remount()
            {
                if (readOnly)
                    QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-o"), QStringLiteral("remount,rw"), path});
            }
        } remount{m_mount.path(), spare < 0};
        if (spare < 0)
            QCOMPARE(QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-o"), QStringLiteral("remount,ro"), m_mount.path()}), 0);
        else
            fill(spare);
        QString said;
        switch (Action(action)) {
        case RewriteDataSource:
        case RewriteLargeAdjustments:
            try {
                if (action == RewriteDataSource)
                    RewriteSettingsTable(kDataSourceTable, dataSourceColumns(),
                                         {QStringLiteral("/new/place"), QStringLiteral("new.csv")});
                else
                    RewriteSettingsTable(kAdjustmentTable, adjustmentColumns(), largeAdjustments());
                QFAIL("a write to a full disk must fail");
            } catch (const zl::Failure &f) {
                said = f.description();
            }
            break;
        case RestoreDefaults:
            said = restoreDefaultTables(m_mount.path()).join(QLatin1Char('\n'));
            break;
        case StartupRestore: {
            const zl::app::StartupView v = zl::app::runStartup(m_mount.path());
            said = v.label12;
            QVERIFY(!v.initialised);
            QVERIFY2(!said.contains(QStringLiteral("初期化されました")), qPrintable(said));
            QVERIFY2(said.contains(QStringLiteral("初期化できませんでした")), qPrintable(said));
            break;
        }
        }
        QVERIFY2(said.contains(reason), qPrintable(said));
        // The sample data file goes in first, whole, when it fits.
        auto after = snapshot();
        if (after.value(samplePath()) == builtInDefault(kSample))
            after.remove(samplePath());
        QVERIFY2(after == before, "every table must stay as it was, with nothing half-written beside it");
    }

    // A start on a disk with little room, then room made: the start that
    // fails says where to make it, the command line prints nothing until a
    // start has completed the settings, and the next start completes them,
    // the sample they name included, never touching a table the shop has.
    void startCompletesTheSettingsOnceThereIsRoom_data()
    {
        QTest::addColumn<bool>("shopTables"); // the shop's tables there, naming the sample that is missing
        QTest::addColumn<int>("spare");
        for (int spare : {0, 1, 2, 4, 5})
            QTest::addRow("first start, %d KB free", spare * 4) << false << spare;
        QTest::newRow("the shop's tables name the missing sample, disk full") << true << 0;
    }
    void startCompletesTheSettingsOnceThereIsRoom()
    {
        QFETCH(bool, shopTables);
        QFETCH(int, spare);
        if (shopTables)
            writeRaw(settings() + kDataSourceTable, builtInDefault(kDataSourceTable));
        else
            QDir(m_mount.path() + QStringLiteral("/config")).removeRecursively();
        const auto shops = snapshot();
        fill(spare);
        // The labels go to a disk of their own: this one is for the settings.
        QTemporaryDir documents;
        const QMap<QString, QString> home{{QStringLiteral("HOME"), documents.path()}};

        const zl::app::StartupView failed = zl::app::runStartup(m_mount.path());
        QVERIFY(failed.restoreFailed);
        QVERIFY2(failed.label12.contains(QStringLiteral("設定フォルダ %1 のあるディスクに空きを作ってから").arg(settings())),
                 qPrintable(failed.label12));
        const zltest::ProgramOutcome refused = zltest::runProgram(m_mount.path(), {QStringLiteral("--print")}, {}, home);
        QCOMPARE(refused.exitCode, 4);
        QVERIFY2(refused.err.contains(QStringLiteral("設定の初期化が済んでいないため、何も印刷しません"))
                     && refused.err.contains(QStringLiteral("空きを作ってから起動してください")),
                 qPrintable(refused.err));

        QDir(m_mount.path() + QStringLiteral("/filler")).removeRecursively();
        const zl::app::StartupView completed = zl::app::runStartup(m_mount.path());
        QVERIFY2(!completed.restoreFailed, qPrintable(completed.label12));
        QCOMPARE(snapshot().value(samplePath()), builtInDefault(kSample));
        for (const QString &name : tableNames())
            if (shopTables)
                QCOMPARE(snapshot().value(settings() + name), shops.value(settings() + name));
        const zltest::ProgramOutcome printed = zltest::runProgram(m_mount.path(), {QStringLiteral("--print")}, {}, home);
        QVERIFY2(printed.exitCode == 0 && printed.out.contains(QStringLiteral("12枚のラベル")), qPrintable(printed.out + printed.err));
    }
};

ZL_TEST(FullDiskTest)
#include "FullDiskTest.moc"
