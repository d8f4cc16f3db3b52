// The records the print-setup dialog exchanges (the device mode and the
// names record) as the printer settings module fills them from scripted
// printers, and the units their sizes are given in.
#include "PrinterSetupFixture.h"
#include "common/FakePrinter.h"
#include "common/TestRegistry.h"

#include "common/Length.h"
#include "printer/PrinterSetup.h"

#include <QTest>

using namespace zl::printer;
using zltest::FakePrinter;
using zltest::Property;

class PrintSetupRecordsTest : public PrinterSetupFixture {
    Q_OBJECT

private slots:
    void recordsFromUserDefinedPaperCarryItsSize()
    {
        std::vector<std::unique_ptr<FakePrinter>> list;
        list.push_back(a4Printer(QStringLiteral("Label")));
        list.back()->failing(Property::Duplex).failing(Property::Zoom);
        auto fakes = zltest::installFakePrinters(std::move(list));
        QVERIFY(fakes[0]->setPaperSize(256));
        QVERIFY(fakes[0]->setPageWidthTwips(2835));  // 50 mm
        QVERIFY(fakes[0]->setPageHeightTwips(1701)); // 30 mm
        fakes[0]->setPaperBin(4);
        fakes[0]->setOrientation(2);

        const PrintSetupRecords r = buildPrintSetupRecords(currentPrinter());
        const DevMode &dm = r.devMode;
        QCOMPARE(dm.dmSize, uint16_t(124));
        QCOMPARE(dm.dmFields, uint32_t(DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH | DM_DEFAULTSOURCE
                                       | DM_PRINTQUALITY | DM_COLOR | DM_ORIENTATION));
        QCOMPARE(dm.dmPaperSize, int16_t(256));
        QCOMPARE(dm.dmPaperWidth, int16_t(500));
        QCOMPARE(dm.dmPaperLength, int16_t(300));
        QCOMPARE(dm.dmDefaultSource, int16_t(4));
        QCOMPARE(dm.dmOrientation, int16_t(2));
        QCOMPARE(dm.dmDuplex, int16_t(0));
        QCOMPARE(dm.dmScale, int16_t(0));
        QCOMPARE(dm.dmCopies, int16_t(0));
        QCOMPARE(devModeDeviceName(dm), QStringLiteral("Label"));
    }

    void recordsFromStandardPaperLeaveSizeFieldsEmpty()
    {
        std::vector<std::unique_ptr<FakePrinter>> list;
        list.push_back(a4Printer(QStringLiteral("P")));
        zltest::installFakePrinters(std::move(list));
        const DevMode dm = buildPrintSetupRecords(currentPrinter()).devMode;
        QCOMPARE(dm.dmPaperSize, int16_t(9));
        QCOMPARE(dm.dmPaperWidth, int16_t(0));
        QCOMPARE(dm.dmPaperLength, int16_t(0));
        QVERIFY(!(dm.dmFields & (DM_PAPERWIDTH | DM_PAPERLENGTH | DM_COPIES)));
        QCOMPARE(dm.dmFields & 0x1E11u, uint32_t(DM_ORIENTATION | DM_SCALE | DM_DEFAULTSOURCE | DM_PRINTQUALITY
                                                 | DM_COLOR | DM_DUPLEX));
    }

    void longDeviceNameIsCutInDevModeButWholeInNames()
    {
        const QString name = QStringLiteral("A very long printer name on the office network 012");
        QCOMPARE(name.size(), 50);
        std::vector<std::unique_ptr<FakePrinter>> list;
        list.push_back(std::make_unique<FakePrinter>(name, QStringLiteral("winspool"), QStringLiteral("Ne01:")));
        list.back()->accept(9, 11906, 16838);
        zltest::installFakePrinters(std::move(list));

        const PrintSetupRecords r = buildPrintSetupRecords(currentPrinter());
        QCOMPARE(devModeDeviceName(r.devMode), name.left(32));
        QCOMPARE(r.devNames.wDriverOffset, uint16_t(8));
        QCOMPARE(r.devNames.wDeviceOffset, uint16_t(8 + 8 + 1));
        QCOMPARE(r.devNames.wOutputOffset, uint16_t(17 + 50 + 1));
        QCOMPARE(r.devNames.wDefault, uint16_t(0));
        QCOMPARE(devNamesEntry(r.devNames, r.devNames.wDriverOffset), QStringLiteral("winspool"));
        QCOMPARE(devNamesEntry(r.devNames, r.devNames.wDeviceOffset), name);
        QCOMPARE(devNamesEntry(r.devNames, r.devNames.wOutputOffset), QStringLiteral("Ne01:"));
    }

    void namesBeyondTheAreaAreCutNotOverrun()
    {
        DevNames dn{};
        fillDevNames(dn, QString(250, QLatin1Char('d')), QStringLiteral("device"), QStringLiteral("port"));
        // The device name runs over the end of the area and is cut there.
        QCOMPARE(dn.wDeviceOffset, uint16_t(259));
        QCOMPARE(devNamesEntry(dn, dn.wDeviceOffset), QStringLiteral("devic"));
        QCOMPARE(devNamesEntry(dn, 8), QString(250, QLatin1Char('d')));
        // Names that start past the area read as empty; the driver stops at its end.
        fillDevNames(dn, QString(300, QLatin1Char('x')), QStringLiteral("device"), QString());
        QCOMPARE(dn.wDeviceOffset, uint16_t(309));
        QCOMPARE(devNamesEntry(dn, dn.wDeviceOffset), QString());
        QCOMPARE(devNamesEntry(dn, 8).size(), 256);
    }

    void paperSizeConversionsRoundTrip()
    {
        QCOMPARE(tenthsMmFromTwips(11906), 2100);
        QCOMPARE(twipsFromTenthsMm(2100), 11907);
        for (int tenths : {1, 255, 500, 2970, 32767})
            QCOMPARE(tenthsMmFromTwips(twipsFromTenthsMm(tenths)), tenths);
    }

    // One length in every unit the printers speak, against the sizes the
    // world agrees on (an inch, A4, the 50 x 30 mm label stock).
    void lengthsConvertBetweenUnits_data()
    {
        QTest::addColumn<double>("points");
        QTest::addColumn<double>("mm");
        QTest::addColumn<int>("twips");
        QTest::addColumn<double>("hundredthsMm");
        QTest::addColumn<double>("dotsAt203");
        QTest::newRow("an inch") << 72.0 << 25.4 << 1440 << 2540.0 << 203.0;
        QTest::newRow("A4's width") << 595.2756 << 210.0 << 11906 << 21000.0 << 1678.3465;
        QTest::newRow("the label stock's width") << 141.7323 << 50.0 << 2835 << 5000.0 << 399.6063;
    }

    void lengthsConvertBetweenUnits()
    {
        QFETCH(double, points);
        QFETCH(double, mm);
        QFETCH(int, twips);
        QFETCH(double, hundredthsMm);
        QFETCH(double, dotsAt203);
        using zl::Length;
        for (const Length l : {Length::mm(mm), Length::hundredthsMm(hundredthsMm), Length::in(mm / 25.4),
                               Length::dots(dotsAt203, 203)}) {
            QVERIFY2(qAbs(l.pt() - points) < 1e-4, qPrintable(QString::number(l.pt())));
            QVERIFY(qAbs(l.mm() - mm) < 1e-4);
            QCOMPARE(l.wholeTwips(), twips);
            QVERIFY(qAbs(l.dots(203) - dotsAt203) < 1e-3);
        }
        QVERIFY(qAbs(Length::twips(twips).mm() - mm) < 0.01);
        // The paper tables' own millimetre is 56.7 twips, a little longer than the true one.
        QCOMPARE(qRound(Length::storedMmFromTwips(twips)), qRound(mm));
        QVERIFY(Length::storedMmFromTwips(twips) < Length::twips(twips).mm());
    }
};

ZL_TEST(PrintSetupRecordsTest)
#include "PrintSetupRecordsTest.moc"
