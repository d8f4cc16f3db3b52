// Papers as the screens name and number them: codes from size names,
// readable names, the printer and paper in force, one question for the list.
#include "PrinterScreenFixture.h"

class PaperNamesTest : public QObject, protected PrinterScreenFixture {
    Q_OBJECT

private slots:
    void initTestCase() { zl::ui::registerPrinterScreens(ScreenRegistry::instance()); }
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    // Paper codes come from the names printers give their sizes: PPD
    // keywords (B4 is JIS B4) and PWG names; label stock has none.
    void paperCodesFollowSizeNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("code");
        QTest::newRow("PPD A4") << "A4" << 9;
        QTest::newRow("PPD JIS B4") << "B4" << 12;
        QTest::newRow("PPD JIS B5") << "B5" << 13;
        QTest::newRow("PPD ISO B4") << "ISOB4" << 42;
        QTest::newRow("PPD A5 long edge") << "A5Rotated" << 78;
        QTest::newRow("PWG JIS B4") << "jis_b4_257x364mm" << 12;
        QTest::newRow("PWG A4") << "iso_a4_210x297mm" << 9;
        QTest::newRow("label stock") << "w288h468" << 0;
        QTest::newRow("PWG made-up size") << "custom_label_50x30mm" << 0;
    }

    void paperCodesFollowSizeNames()
    {
        QFETCH(QString, name);
        QFETCH(int, code);
        QCOMPARE(zl::printer::paperCodeForName(name), code);
    }

    void builtInPdfPrinterOffersJisB4AndB5()
    {
        zl::printer::PdfPrinter pdf(QDir::tempPath());
        QStringList entries = paperChoices(&pdf).entries;
        QVERIFY2(entries.contains(QStringLiteral("12\t257 x 364")) && entries.contains(QStringLiteral("13\t182 x 257")),
                 qPrintable(entries.join(QLatin1Char('|'))));
    }

    // What the paper list calls each paper beside its code and size.
    void readablePaperNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("widthTwips");
        QTest::addColumn<int>("heightTwips");
        QTest::addColumn<bool>("labelPrinter");
        QTest::addColumn<QString>("shown");
        QTest::newRow("PPD text kept") << "JIS B5" << 10319 << 14572 << false << "JIS B5";
        QTest::newRow("label stock text kept") << "2.00x1.00\"" << 2880 << 1440 << true << "2.00x1.00\"";
        QTest::newRow("driverless, metric") << "50x30mm.Borderless" << 2835 << 1701 << true << "50 x 30 mm";
        QTest::newRow("driverless, inches") << "2x1.25.Borderless" << 2880 << 1800 << true << "2.00x1.25\"";
        QTest::newRow("driverless, standard paper") << "A4.Borderless" << 11906 << 16838 << false << "A4";
        QTest::newRow("IPP media name") << "om_50x30-label_50x30mm" << 2835 << 1701 << true << "50 x 30 mm";
        QTest::newRow("PPD keyword without text") << "w162h225" << 3240 << 4500 << true << "2.25x3.13\"";
        QTest::newRow("label stock CUPS named an envelope")
            << "EnvPRC1.Borderless" << 5783 << 9354 << true << "102 x 165 mm";
        QTest::newRow("an office printer's envelope") << "EnvPRC1" << 5783 << 9354 << false << "EnvPRC1";
    }

    void readablePaperNames()
    {
        QFETCH(QString, name);
        QFETCH(int, widthTwips);
        QFETCH(int, heightTwips);
        QFETCH(bool, labelPrinter);
        QFETCH(QString, shown);
        QCOMPARE(zl::printer::readablePaperName({257, widthTwips, heightTwips, name}, labelPrinter), shown);
    }

    // What the main menu and the print screens say the next run prints on.
    void printerInForceIsNamedWithItsPaper_data()
    {
        QTest::addColumn<QString>("yoshi");
        QTest::addColumn<QString>("type");
        QTest::addColumn<bool>("printer");
        QTest::addColumn<QString>("shown");
        QTest::newRow("fixed type, stored paper") << "9" << "0" << true << "プリンター: Office　用紙: paper 9（210 x 297 mm）";
        QTest::newRow("variable type asks at the run")
            << "999" << "1" << true << "プリンター: 印刷のたびに選択（いま Office　用紙: paper 256（51 x 25 mm））";
        QTest::newRow("no printer") << "9" << "0" << false << "プリンター: なし";
    }

    void printerInForceIsNamedWithItsPaper()
    {
        QFETCH(QString, yoshi);
        QFETCH(QString, type);
        QFETCH(bool, printer);
        QFETCH(QString, shown);
        m_home->writeTable(zl::settings::kLayoutTable, zl::settings::layoutColumns(),
                           {QStringLiteral("A"), QStringLiteral("B"), yoshi, type});
        if (!printer)
            installPrinters(nullptr);
        QCOMPARE(zl::printer::printerInForceText(), shown);
    }

    void paperEntriesRoundToWholeMillimetres()
    {
        QCOMPARE(paperEntry(9, 11906, 16838), QStringLiteral("9\t210 x 297"));
        QCOMPARE(paperEntry(300, 2835, 2863), QStringLiteral("300\t50 x 50"));
        QCOMPARE(paperEntry(300, 2864, 1417), QStringLiteral("300\t51 x 25"));
    }

    void paperListComesFromOneQuestionAndLeavesThePaperAlone()
    {
        const PaperChoices c = paperChoices(m_printer);
        QCOMPARE(c.entries, QStringList({QStringLiteral("1\t216 x 279"), QStringLiteral("9\t210 x 297"),
                                         QStringLiteral("256\t51 x 25")}));
        QCOMPARE(c.codes, QStringList({QStringLiteral("1"), QStringLiteral("9"), QStringLiteral("256")}));
        QCOMPARE(m_printer->papersAsked, 1);
        QVERIFY(m_printer->setCalls.isEmpty());
        QCOMPARE(paperChoices(nullptr).entries, QStringList());
    }
};

ZL_TEST(PaperNamesTest)
#include "PaperNamesTest.moc"
