#include "TestEnv.h"
#include "TestRegistry.h"

#include "app/Startup.h"
#include "settings/Defaults.h"
#include "settings/SettingsTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

using namespace zl;
using namespace zl::settings;


class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void firstStartCreatesFolderWithDefaultTables()
    {
        zltest::TempHome home;
        QVERIFY(!QFileInfo::exists(home.settingsFolder()));
        const app::StartupView v = app::runStartup(home.root()); // no dealer tables there
        QVERIFY(v.initialised);
        QCOMPARE(v.label12, QStringLiteral("設定ファイルが初期化されました。ソフトを再起動してください。"));
        for (const QString &name : tableNames())
            QVERIFY2(home.readFile(name) == builtInDefault(name), qPrintable(name + QStringLiteral(" differs")));
        // The later steps read the restored copies: the default source shows at once.
        QCOMPARE(v.label7, QStringLiteral("sample"));
        QCOMPARE(v.label15, QStringLiteral("barcodelist.csv"));
        QVERIFY(QFileInfo(home.settingsFolder() + QStringLiteral("sample/barcodelist.csv")).isFile());
        QVERIFY(!v.label11.isEmpty());
    }

    void defaultTablesAreUsableByEveryReader()
    {
        zltest::TempHome home;
        home.installDefaults();
        QCOMPARE(ReadSettingsRecords(kDataSourceTable, 2).size(), 2);
        const QStringList layout = ReadSettingsRecords(kLayoutTable, 4);
        QCOMPARE(layout[3], QStringLiteral("0"));
        for (const QString &v : layout)
            QVERIFY(!v.isEmpty());
        const QStringList adj = ReadSettingsRecords(kAdjustmentTable, 99);
        QCOMPARE(adj.mid(2, 3), (QStringList{QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0")}));
        for (const QString &v : adj)
            QVERIFY(!v.isEmpty());
    }

    void normalStartShowsSourceAndLayout()
    {
        zltest::TempHome home;
        home.installDefaults();
        home.writeTable(kDataSourceTable, dataSourceColumns(), {QStringLiteral("/srv/data/"), QStringLiteral("商品.csv")});
        const QByteArray before = home.readFile(kLayoutTable);
        const app::StartupView v = app::runStartup(home.root());
        QVERIFY(!v.initialised);
        QVERIFY(v.label12.isEmpty());
        QCOMPARE(v.label7, QStringLiteral("/srv/data/"));
        QCOMPARE(v.label15, QStringLiteral("商品.csv"));
        QCOMPARE(v.label4, QStringLiteral("税込価格"));
        QCOMPARE(home.readFile(kLayoutTable), before);
    }

    // Only a table that is absent or damaged is restored: the operator's
    // other tables stay, and the later steps read the restored copy.
    void missingDataSourceTableIsRestoredAloneAndShown()
    {
        zltest::TempHome home;
        home.installDefaults();
        home.writeTable(kLayoutTable, layoutColumns(),
                        {QStringLiteral("mine"), QStringLiteral("own"), QStringLiteral("9"), QStringLiteral("1")});
        const QByteArray ownLayout = home.readFile(kLayoutTable);
        QFile::remove(tablePath(kDataSourceTable));
        const app::StartupView v = app::runStartup(home.root());
        QVERIFY(v.initialised);
        QCOMPARE(v.label7, QStringLiteral("sample"));
        QCOMPARE(v.label4, QStringLiteral("own"));
        QCOMPARE(home.readFile(kLayoutTable), ownLayout);
        QCOMPARE(home.readFile(kDataSourceTable), builtInDefault(kDataSourceTable));
    }

    void c5255MarkerReadsTheAdjustmentTable()
    {
        zltest::TempHome home;
        home.installDefaults();
        home.writeTable(kLayoutTable, layoutColumns(),
                        {QStringLiteral("家具店"), kC5255Marker, QStringLiteral("9"), QStringLiteral("0")});
        QStringList adj(99, QStringLiteral("0"));
        adj[0] = QStringLiteral("/slips");
        adj[1] = QStringLiteral("c5255.csv");
        home.writeTable(kAdjustmentTable, adjustmentColumns(), adj);
        const app::StartupView v = app::runStartup(home.root());
        QCOMPARE(v.label4, QStringLiteral("ﾌﾟﾛｸﾞﾗﾑC5255動作中"));
        QCOMPARE(v.textdb, QStringLiteral("/slips"));
        QCOMPARE(v.textuser, QStringLiteral("c5255.csv"));
        QVERIFY(v.label7.isEmpty());
        QVERIFY(v.label15.isEmpty());
        QVERIFY(!v.initialised);
    }

    // A dealer's tables in the working folder are used only when all four
    // stand there and read with their columns; otherwise the built-in set,
    // and the message line says why.
    void dealerTablesInWorkingFolderWinOnlyWhenAllFourAreUsable_data()
    {
        QTest::addColumn<QStringList>("left_out");
        QTest::addColumn<QString>("brokenTable");
        QTest::addColumn<QByteArray>("brokenBytes");
        QTest::addColumn<QString>("why"); // empty: the dealer's set is used
        QTest::newRow("all four usable") << QStringList{} << QString() << QByteArray() << QString();
        QTest::newRow("three of four") << QStringList{kLayoutTable} << QString() << QByteArray()
                                       << QStringLiteral("vokiconfig4.txt がありません");
        QTest::newRow("header only") << QStringList{} << kLayoutTable
                                     << QByteArray("\"TITLE1\",\"TITLE2\",\"YOSHI\",\"PRINTER\"\r\n")
                                     << QStringLiteral("データ行がありません");
        QTest::newRow("other columns") << QStringList{} << kDataSourceTable
                                       << QByteArray("\"A\",\"B\"\r\n\"x\",\"y\"\r\n") << QStringLiteral("DB1, DB2");
        QTest::newRow("adjustments cut short") << QStringList{} << kAdjustmentTable
                                               << QByteArray("\"DB1\",\"DB2\"\r\n\"a\",\"b\"\r\n")
                                               << QStringLiteral("99 列");
    }
    void dealerTablesInWorkingFolderWinOnlyWhenAllFourAreUsable()
    {
        QFETCH(QStringList, left_out);
        QFETCH(QString, brokenTable);
        QFETCH(QByteArray, brokenBytes);
        QFETCH(QString, why);
        zltest::TempHome home;
        const QString dealer = home.root() + QStringLiteral("/dealer");
        QDir().mkpath(dealer);
        const QByteArray own2 = "\"DB1\",\"DB2\"\r\n\"/dealer/data\",\"shop.csv\"\r\n";
        for (const QString &name : tableNames()) {
            if (left_out.contains(name))
                continue;
            QFile f(dealer + QLatin1Char('/') + name);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(name == brokenTable ? brokenBytes : name == kDataSourceTable ? own2 : builtInDefault(name));
        }
        const app::StartupView v = app::runStartup(dealer);
        QVERIFY(v.initialised);
        QVERIFY(v.label12.startsWith(app::kRestartRequest));
        if (why.isEmpty()) {
            QCOMPARE(v.label7, QStringLiteral("/dealer/data"));
            QCOMPARE(home.readFile(kDataSourceTable), own2);
            QCOMPARE(v.label12, app::kRestartRequest);
            return;
        }
        for (const QString &name : tableNames())
            QVERIFY2(home.readFile(name) == builtInDefault(name), qPrintable(name));
        QVERIFY2(v.label12.contains(why) && v.label12.contains(QStringLiteral("組み込みの初期設定")), qPrintable(v.label12));
    }

    void existingFolderIsKeptAndOwnFilesSurvive()
    {
        zltest::TempHome home;
        home.installDefaults();
        home.writeFile(QStringLiteral("notes.txt"), "keep me");
        home.writeFile(QStringLiteral("sample/barcodelist.csv"), "JAN\r\n123\r\n");
        QFile::remove(tablePath(kAdjustmentTable));
        home.writeTable(kLayoutTable, layoutColumns(),
                        {QStringLiteral("a"), kC5255Marker, QStringLiteral("9"), QStringLiteral("0")});
        app::runStartup(home.root());
        QCOMPARE(home.readFile(QStringLiteral("notes.txt")), QByteArray("keep me"));
        QCOMPARE(home.readFile(QStringLiteral("sample/barcodelist.csv")), QByteArray("JAN\r\n123\r\n"));
        QCOMPARE(home.readFile(kAdjustmentTable), builtInDefault(kAdjustmentTable));
    }

    void initialisationThatCannotWriteSaysSo()
    {
        zltest::TempHome home;
        // A file where the settings folder should be: the folder cannot be made.
        QDir().mkpath(home.root() + QStringLiteral("/config"));
        QFile blocker(home.root() + QStringLiteral("/config/tvz_ini2"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const app::StartupView v = app::runStartup(home.root());
        // Never both "restored" and "could not restore": what failed, and what to do.
        QVERIFY2(!v.label12.contains(QStringLiteral("初期化されました")), qPrintable(v.label12));
        QVERIFY2(v.label12.contains(QStringLiteral("初期化できませんでした")), qPrintable(v.label12));
        QVERIFY2(v.label12.contains(QStringLiteral("同じ名前のファイルがあります")), qPrintable(v.label12));
        QVERIFY2(v.label12.contains(QStringLiteral("再起動してください")), qPrintable(v.label12));
        QVERIFY2(!v.label12.contains(QStringLiteral("。。")), qPrintable(v.label12));
        QVERIFY(!v.initialised);
        QVERIFY(v.restoreFailed);
    }
};

ZL_TEST(StartupTest)
#include "StartupTest.moc"
