#include "common/TestEnv.h"
#include "common/TestRegistry.h"

#include "datasource/DataSourceModel.h"

#include <QAbstractItemModelTester>
#include <QTest>

using zl::datasource::DataSource;
using zl::datasource::DataSourceModel;

class DataSourceModelTest : public QObject {
    Q_OBJECT

private slots:
    void showsRecordsUnderTheirColumns()
    {
        const QByteArray bytes = zltest::sjis(
            QStringLiteral("JAN,品名,規格,価格\r\n0491234500001,\"ソフト,表\",500ml,1.50\r\n4912345000028,①\r\n"));
        DataSourceModel model(DataSource::fromBytes(bytes, QStringLiteral("m.csv")));
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);

        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.columnCount(), 4);
        QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("品名"));
        QCOMPARE(model.headerData(1, Qt::Vertical).toInt(), 2);
        QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("0491234500001"));
        QCOMPARE(model.index(0, 1).data().toString(), QStringLiteral("ソフト,表"));
        QCOMPARE(model.index(0, 3).data().toString(), QStringLiteral("1.50"));
        // Back and forth between rows: the decoded row is not confused with another.
        QCOMPARE(model.index(1, 1).data().toString(), QStringLiteral("①"));
        QCOMPARE(model.index(1, 2).data().toString(), QString());
        QCOMPARE(model.index(0, 2).data().toString(), QStringLiteral("500ml"));
        QVERIFY(!model.index(0, 0).data(Qt::DecorationRole).isValid());
    }

    void headerOnlyFileIsAnEmptyTable()
    {
        DataSourceModel model(DataSource::fromBytes(QByteArray("a,b\n"), QStringLiteral("h.csv")));
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.columnCount(), 2);
    }
};

ZL_TEST(DataSourceModelTest)
#include "DataSourceModelTest.moc"
