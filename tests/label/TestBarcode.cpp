#include "LabelSupport.h"
#include "common/TestRegistry.h"

#include "common/Failure.h"
#include "layout/Titles.h"
#include "label/Barcode.h"

#include <QTest>

using namespace zl::label;

class TestBarcode : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        zl::layout::setLiveTitlesSource([] { return zl::layout::Titles{QStringLiteral("店"), QStringLiteral("特価")}; });
    }
    void cleanupTestCase() { zl::layout::setLiveTitlesSource({}); }

    void refusesWhatIsNotAJan_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("reasonPart");
        QTest::newRow("empty") << QStringLiteral("JAN-") << QStringLiteral("空");
        QTest::newRow("letters") << QStringLiteral("JAN-12345678901A") << QStringLiteral("数字以外");
        QTest::newRow("space") << QStringLiteral("JAN-123456 789012") << QStringLiteral("数字以外");
        QTest::newRow("full-width digits") << QStringLiteral("JAN-１２３４５６７８９０１２") << QStringLiteral("数字以外");
        QTest::newRow("5 digits (zint would make an EAN-5)") << QStringLiteral("JAN-12345") << QStringLiteral("5 桁");
        QTest::newRow("11 digits (zint would zero-pad)") << QStringLiteral("JAN-12345678901") << QStringLiteral("11 桁");
        QTest::newRow("14 digits") << QStringLiteral("JAN-12345678901234") << QStringLiteral("14 桁");
        QTest::newRow("wrong JAN-13 check digit") << QStringLiteral("JAN-1234567890123") << QStringLiteral("正しくは 8");
        QTest::newRow("wrong JAN-8 check digit") << QStringLiteral("JAN-49012348") << QStringLiteral("正しくは 7");
        QTest::newRow("not JAN") << QStringLiteral("EAN-123456789012") << QStringLiteral("JAN");
    }
    void refusesWhatIsNotAJan()
    {
        QFETCH(QString, text);
        QFETCH(QString, reasonPart);
        try {
            makeBarcode(text, BarcodeParameters::forRecords());
            QFAIL(qPrintable(QStringLiteral("%1 made a barcode").arg(text)));
        } catch (const zl::Failure &f) {
            QVERIFY2(f.description().contains(reasonPart), qPrintable(f.description()));
        }
    }

    void addsOrKeepsTheCheckDigit()
    {
        QCOMPARE(makeBarcode(QStringLiteral("JAN-123456789012"), {}).digits(), QStringLiteral("1234567890128"));
        QCOMPARE(makeBarcode(QStringLiteral("JAN-1234567890128"), {}).digits(), QStringLiteral("1234567890128"));
        QCOMPARE(makeBarcode(QStringLiteral("JAN-4901234"), {}).digits(), QStringLiteral("49012347"));
        QCOMPARE(makeBarcode(QStringLiteral("JAN-000000000000"), {}).digits(), QStringLiteral("0000000000000"));
    }

    // The geometry the label relies on: light margins inside the width, an
    // EAN-13 has 95 modules of bars and 30 bars, and the picture printed
    // 32 mm wide ends above the digits line 7 mm lower.
    void pictureGeometry()
    {
        const BarcodePicture jan13 = makeBarcode(QStringLiteral("JAN-123456789012"), BarcodeParameters::forRecords());
        QCOMPARE(jan13.modules(), 113.0);
        QCOMPARE(jan13.bars().size(), 30);
        QCOMPARE(jan13.bars().first().x(), 11 + 0.025);
        QVERIFY(jan13.heightForWidth(32) < 7);
        QVERIFY(jan13.heightForWidth(32) > 5);
        const BarcodePicture jan8 = makeBarcode(QStringLiteral("JAN-4901234"), {});
        QCOMPARE(jan8.modules(), 81.0);
        QCOMPARE(jan8.bars().size(), 22);
        // B asks for more height than the label has room for: capped.
        const BarcodePicture tall = makeBarcode(QStringLiteral("JAN-123456789012"), {0, 0, 0, 200, 0});
        QVERIFY(tall.heightForWidth(32) <= 6.5);
    }

#ifdef ZENLABO_HAVE_ZBAR
    void labelsScan_data()
    {
        QTest::addColumn<int>("dpi");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("expected");
        const QList<QPair<QString, QString>> values{
            {QStringLiteral("123456789012"), QStringLiteral("EAN-13:1234567890128")},
            {QStringLiteral("4901234567894"), QStringLiteral("EAN-13:4901234567894")},
            {QStringLiteral("012345678905"), QStringLiteral("EAN-13:0123456789050")},
            {QStringLiteral("000000000000"), QStringLiteral("EAN-13:0000000000000")},
            {QStringLiteral("0012345678905"), QStringLiteral("EAN-13:0012345678905")},
            {QStringLiteral("4901234"), QStringLiteral("EAN-8:49012347")},
            {QStringLiteral("01234565"), QStringLiteral("EAN-8:01234565")},
        };
        for (int dpi : {203, 300})
            for (const auto &[value, expected] : values)
                QTest::addRow("%d dpi %s", dpi, qPrintable(value)) << dpi << value << expected;
    }
    // Whole labels, at the resolutions of label printers, read back by an
    // independent reader.
    void labelsScan()
    {
        QFETCH(int, dpi);
        QFETCH(QString, value);
        QFETCH(QString, expected);
        LabelFields f = zltest::labelFor({value, QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("1200")});
        QVERIFY(!f.barcode.isNull());
        const QImage image = zltest::renderLabel(f, dpi);
        QCOMPARE(zltest::decodeBarcodes(image), QStringList{expected});
    }

    void invalidValuesPrintNoBarcode_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("empty") << QString();
        QTest::newRow("short") << QStringLiteral("12345");
        QTest::newRow("wrong check digit") << QStringLiteral("1234567890123");
        QTest::newRow("letters") << QStringLiteral("ABCDEFGHIJKL");
    }
    // A record with a bad value after a good one: no picture, a reason, and
    // nothing a scanner could read on its label.
    void invalidValuesPrintNoBarcode()
    {
        QFETCH(QString, value);
        LabelFields f = zltest::labelFor({QStringLiteral("123456789012"), QStringLiteral("A"), QStringLiteral("B"),
                                          QStringLiteral("1")});
        QVERIFY(!f.barcode.isNull());
        const QString reason = f.setRecord({value, QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("1")});
        QVERIFY(!reason.isEmpty());
        QVERIFY(f.barcode.isNull());
        QCOMPARE(zltest::decodeBarcodes(zltest::renderLabel(f, 300)), QStringList());
    }
#endif
};

ZL_TEST(TestBarcode)
#include "TestBarcode.moc"
