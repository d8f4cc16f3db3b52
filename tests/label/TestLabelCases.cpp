// What a customer and a cashier read on printed labels: each case goes
// through the renderer to the PDF printer and is read back from the PDF,
// its text by pdftotext and its bars by zbar.
#include "LabelSupport.h"
#include "common/PdfPages.h"
#include "common/TestRegistry.h"

#include "layout/Titles.h"
#include "label/LabelPreview.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace zl::label;

class TestLabelCases : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void printedLabels_data()
    {
        // The JAN, price, second title, font adjustment; the digits as pdftotext reads
        // them, what zbar scans, part of what the preview says (empty: nothing).
        for (const char *name : {"jan", "price", "title2", "size", "digits", "scanned", "notice"})
            QTest::addColumn<QString>(name);
        auto row = [](const char *name, const char *jan, const char *s, const char *digits, const char *scanned,
                      const char *notice = "", const char *price = "150", const char *title2 = "税込価格") {
            QTest::newRow(name) << QString::fromUtf8(jan) << QString::fromUtf8(price) << QString::fromUtf8(title2)
                                << QString::fromUtf8(s) << QString::fromUtf8(digits) << QString::fromUtf8(scanned) << QString::fromUtf8(notice);
        };
        row("12 digits get their check digit", "491234500001", "0", "4 912345 000019", "EAN-13:4912345000019");
        row("13 digits", "4901234567894", "0", "4 901234 567894", "EAN-13:4901234567894");
        row("JAN-8 grouped 4-4", "4901234", "0", "4901 2347", "EAN-8:49012347");
        row("spaces and a tab around", " 4901234567894\t", "0", "4 901234 567894", "EAN-13:4901234567894");
        // Without a barcode the value prints as it stands: grouped, it would
        // pass for a JAN's digits.
        row("exponent form", "4.90123E+12", "0", "4.90123E+12", "", "この列の書式を「文字列」にして");
        // Grown, texts meet the bars and each other, and that is said; the
        // value's own line, too wide for this label at +5, never prints.
        row("font -5", "490123456789", "-5", "4 901234 567894", "EAN-13:4901234567894");
        row("font +3", "490123456789", "3", "4 901234 567894", "EAN-13:4901234567894",
            "「税込価格」がバーコードに重なり、読み取れなくなるおそれがあります。");
        row("font +5", "490123456789", "5", "4 901234 567894", "EAN-13:4901234567894",
            "「税込価格」が「￥150」に重なります。");
        row("long second title over a negative price", "4901234567894", "0", "4 901234 567894",
            "EAN-13:4901234567894", "「本体価格（税抜）」が「-￥100」に重なります。", "-100", "本体価格（税抜）");
    }
    void printedLabels()
    {
        QFETCH(QString, jan);
        QFETCH(QString, price);
        QFETCH(QString, title2);
        QFETCH(QString, size);
        QFETCH(QString, digits);
        QFETCH(QString, scanned);
        QFETCH(QString, notice);
        const zl::layout::Titles titles{QStringLiteral("ゼンラボ商店"), title2};
        zl::layout::setLiveTitlesSource([titles] { return titles; });
        const QStringList record{jan, QStringLiteral("緑茶"), QStringLiteral("500ml"), price};
        LabelFields fields = zltest::labelFor(record, QStringLiteral("0"), QStringLiteral("0"), size);
        const QString withoutBarcode = LabelFields(fields).setRecord(record);
        QTemporaryDir dir;
        zl::printer::PdfPrinter printer(dir.path());
        {
            PictureCanvas canvas(printer.pageGeometry(), [&](const QList<QPicture> &pages) { printer.printDocument(pages); });
            printLabel(canvas, fields, zl::layout::currentTitles());
        }
        const QString text = zltest::pdfText(printer.lastDocumentPath());
        if (text.isNull())
            QSKIP("poppler-utils is not installed");
        // Only the digits under the bars: the value's own line (a run of
        // seven digits or more) never prints.
        QVERIFY2(text.count(digits) == 1 && !QString(text).remove(digits).contains(QRegularExpression(QStringLiteral("\\d{7}"))) &&
                     text.contains(price == QLatin1String("150") ? QStringLiteral("￥150") : QStringLiteral("-￥100")),
                 qPrintable(text));
#ifdef ZENLABO_HAVE_ZBAR
        const QList<QImage> pages = zltest::pdfPageImages(printer.lastDocumentPath(), 300);
        QCOMPARE(zltest::decodeBarcodes(pages.value(0)), scanned.isEmpty() ? QStringList() : QStringList{scanned});
#endif
        const QString said = previewLabel(fields, printer.pageGeometry(), titles, withoutBarcode).warnings().join(u'\n');
        QVERIFY2(notice.isEmpty() ? said.isEmpty() : said.contains(notice), qPrintable(said));
    }
};

ZL_TEST(TestLabelCases)
#include "TestLabelCases.moc"
