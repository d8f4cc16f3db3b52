#include "TestEnv.h"
#include "TestRegistry.h"

#include "settings/StoredSettings.h"

#include <QDir>
#include <QTest>

using namespace zl::settings;

// The named readers hand each column to the field of its name, and a table
// too short for them fails as the sequential reader does, naming the file.
class StoredSettingsTest : public QObject {
    Q_OBJECT
private slots:
    void readersNameTheColumns_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<int>("columnsWritten"); // fewer than the table has: cut short
        QTest::addColumn<QStringList>("expected"); // the named fields in declaration order; empty: fails
        QTest::newRow("data source") << kDataSourceTable << 2
                                     << QStringList{QStringLiteral("v0"), QStringLiteral("v1")};
        QTest::newRow("layout") << kLayoutTable << 4
                                << QStringList{QStringLiteral("v0"), QStringLiteral("v1"), QStringLiteral("v2"),
                                               QStringLiteral("v3")};
        QTest::newRow("adjustments") << kAdjustmentTable << 99
                                     << QStringList{QStringLiteral("v0"), QStringLiteral("v1"), QStringLiteral("v2"),
                                                    QStringLiteral("v3"), QStringLiteral("v4")};
        QTest::newRow("data source, one column") << kDataSourceTable << 1 << QStringList{};
        QTest::newRow("adjustments, first five only") << kAdjustmentTable << 5 << QStringList{};
    }
    void readersNameTheColumns()
    {
        QFETCH(QString, table);
        QFETCH(int, columnsWritten);
        QFETCH(QStringList, expected);
        zltest::TempHome home;
        QDir().mkpath(home.settingsFolder());
        QStringList columns, values;
        for (int i = 0; i < columnsWritten; ++i) {
            columns << QStringLiteral("C%1").arg(i);
            values << QStringLiteral("v%1").arg(i);
        }
        home.writeTable(table, columns, values);
        auto read = [&]() -> QStringList {
            if (table == kDataSourceTable) {
                const StoredDataSource d = readDataSource();
                return {d.folder, d.file};
            }
            if (table == kLayoutTable) {
                const StoredLayout l = readLayout();
                return {l.title1, l.title2, l.paper, l.printer};
            }
            const StoredAdjustments a = readAdjustments();
            return {a.slipFolder, a.slipFile, a.x, a.y, a.s};
        };
        if (!expected.isEmpty()) {
            QCOMPARE(read(), expected);
            return;
        }
        try {
            read();
            QFAIL("a table cut short was read");
        } catch (const zl::Failure &f) {
            QVERIFY2(f.description().contains(table), qPrintable(f.description()));
        }
    }

    void dataSourceWrittenIsReadBack()
    {
        zltest::TempHome home;
        QDir().mkpath(home.settingsFolder());
        writeDataSource({QStringLiteral("~/データ"), QStringLiteral("商品,一覧.csv")});
        const StoredDataSource d = readDataSource();
        QCOMPARE(d.folder, QStringLiteral("~/データ"));
        QCOMPARE(d.file, QStringLiteral("商品,一覧.csv"));
        QCOMPARE(QuerySettingsTable(kDataSourceTable).columns(), dataSourceColumns());
    }
};

ZL_TEST(StoredSettingsTest)
#include "StoredSettingsTest.moc"
