// What a customer and a cashier read on printed labels: each case goes
// through the renderer to the PDF printer and is read back from the PDF,
// its text by pdftotext and its bars by zbar.
#include "PrintingSupport.h"
#include "common/PdfPages.h"
#include "common/TestRegistry.h"

#include "layout/Titles.h"
#include "printing/LabelPreview.h"

#include <QTemporaryDir>
#include <QTest>

using namespace zl::printing;

class TestLabelCases : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void cleanupTestCase() { zl::layout::setLiveTitlesSource({}); }

    void printedLabels_data()
    {
        QTest::addColumn<QString>("jan");
        QTest::addColumn<QString>("price");
        QTest::addColumn<QString>("title2");
        QTest::addColumn<QString>("fontAdjustment");
        QTest::addColumn<QString>("digits");  // as pdftotext reads them
        QTest::addColumn<QString>("scanned"); // empty: no barcode
        QTest::addColumn<QString>("notice");  // part of what the preview and the run say
        const QString s0 = QStringLiteral("0"), tax = QStringLiteral("税込価格");
        QTest::newRow("12 digits get their check digit under the bars")
            << QStringLiteral("491234500001") << QStringLiteral("150") << tax << s0 << QStringLiteral("4 912345 000019")
            << QStringLiteral("EAN-13:4912345000019") << QString();
        QTest::newRow("13 digits") << QStringLiteral("4901234567894") << QStringLiteral("150") << tax << s0
                                   << QStringLiteral("4 901234 567894") << QStringLiteral("EAN-13:4901234567894") << QString();
        QTest::newRow("JAN-8 grouped 4-4") << QStringLiteral("4901234") << QStringLiteral("150") << tax << s0
                                           << QStringLiteral("4901 2347") << QStringLiteral("EAN-8:49012347") << QString();
        QTest::newRow("spaces and a tab around") << QStringLiteral(" 4901234567894\t") << QStringLiteral("150") << tax << s0
                                                 << QStringLiteral("4 901234 567894") << QStringLiteral("EAN-13:4901234567894")
                                                 << QString();
        QTest::newRow("exponent form from a spreadsheet")
            << QStringLiteral("4.90123E+12") << QStringLiteral("150") << tax << s0 << QStringLiteral("4 .90123 E+12") << QString()
            << QStringLiteral("この列の書式を「文字列」にして");
        // Grown, the texts meet the bars and each other; that is said, and
        // the value's own line, too wide from +3 on, is not printed anywhere.
        const QList<std::pair<const char *, QString>> sizes{
            {"-5", QString()},
            {"0", QString()},
            {"3", QStringLiteral("「税込価格」がバーコードに重なり、読み取れなくなるおそれがあります。")},
            {"5", QStringLiteral("「税込価格」が「￥150」に重なります。")}};
        for (const auto &[s, said] : sizes)
            QTest::newRow(qPrintable(QStringLiteral("font adjustment %1").arg(QLatin1String(s))))
                << QStringLiteral("490123456789") << QStringLiteral("150") << tax << QString::fromLatin1(s)
                << QStringLiteral("4 901234 567894") << QStringLiteral("EAN-13:4901234567894") << said;
        QTest::newRow("long second title over a negative price")
            << QStringLiteral("4901234567894") << QStringLiteral("-100") << QStringLiteral("本体価格（税抜）") << s0
            << QStringLiteral("4 901234 567894") << QStringLiteral("EAN-13:4901234567894")
            << QStringLiteral("「本体価格（税抜）」が「-￥100」に重なります。");
    }
    void printedLabels()
    {
        QFETCH(QString, jan);
        QFETCH(QString, price);
        QFETCH(QString, title2);
        QFETCH(QString, fontAdjustment);
        QFETCH(QString, digits);
        QFETCH(QString, scanned);
        QFETCH(QString, notice);
        const zl::layout::Titles titles{QStringLiteral("ゼンラボ商店"), title2};
        zl::layout::setLiveTitlesSource([titles] { return titles; });
        const QStringList record{jan, QStringLiteral("緑茶"), QStringLiteral("500ml"), price};
        LabelFields fields = zltest::labelFor(record, QStringLiteral("0"), QStringLiteral("0"), fontAdjustment);
        const QString withoutBarcode = LabelFields(fields).setRecord(record);

        QTemporaryDir dir;
        zl::printer::PdfPrinter printer(dir.path());
        {
            PictureCanvas canvas(printer.pageGeometry(), [&](const QList<QPicture> &pages) { printer.printDocument(pages); });
            printLabel(canvas, nullptr, fields);
        }
        const QString text = zltest::pdfText(printer.lastDocumentPath());
        if (text.isNull())
            QSKIP("poppler-utils is not installed");
        QVERIFY2(text.contains(digits), qPrintable(text));
        // The value's own line never prints: only the digits under the bars.
        QVERIFY2(!text.contains(QString(jan.trimmed()).remove(QLatin1Char(' '))) || jan.size() == 7, qPrintable(text));
        // pdftotext reads the full-width yen sign as the narrow one.
        QVERIFY2(text.contains(price.startsWith(u'-') ? QStringLiteral("-¥100") : QStringLiteral("¥150")), qPrintable(text));
#ifdef ZENLABO_HAVE_ZBAR
        const QList<QImage> pages = zltest::pdfPageImages(printer.lastDocumentPath(), 300);
        QCOMPARE(pages.size(), 1);
        QCOMPARE(zltest::decodeBarcodes(pages.first()), scanned.isEmpty() ? QStringList() : QStringList{scanned});
#endif
        const LabelPreview preview = previewLabel(fields, printer.pageGeometry(), titles, withoutBarcode);
        const QString said = preview.warnings().join(QLatin1Char('\n'));
        QVERIFY2(notice.isEmpty() ? said.isEmpty() : said.contains(notice), qPrintable(said));
    }
};

ZL_TEST(TestLabelCases)
#include "TestLabelCases.moc"
