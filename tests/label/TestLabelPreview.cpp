// The whole-label preview: what it shows is what prints (compared as images
// with the PDF the printer writes), it follows the print position sliders by
// their millimetres, and the print screens show the selected record's label.
#include "LabelSupport.h"
#include "common/PdfPages.h"
#include "common/TestEnv.h"
#include "common/TestRegistry.h"

#include "layout/Titles.h"
#include "label/LabelPreview.h"
#include "label/ui/LabelPreviewView.h"
#include "settings/SettingsTable.h"
#include "ui/Dialogs.h"
#include "ui/ScreenRegistry.h"

#include <QSlider>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

using namespace zl::label;

namespace {

const zl::layout::Titles kTitles{QStringLiteral("ゼンラボ"), QStringLiteral("本日限り")};
const zl::printer::PageGeometry kPaper{QSizeF(50, 30), QRectF(0, 0, 50, 30), 203};

bool isEdge(QRgb c)
{
    return qBlue(c) > 150 && qRed(c) < 60;
}
bool isRed(QRgb c)
{
    return qRed(c) > 150 && qGreen(c) < 110 && qBlue(c) < 110;
}
// What the renderer drew: black on the paper, red off it.
bool isInk(QRgb c)
{
    return !isEdge(c) && (qGray(c) < 128 || isRed(c));
}

// Ink in one image with no ink of the other within a pixel, as a share of
// all ink: the two rasterisers smooth edges differently (about 1 %), a label
// half a millimetre off leaves half its ink unmatched.
double unmatchedInk(const QImage &a, const QImage &b, bool (*ink)(QRgb), bool (*otherInk)(QRgb))
{
    int inkPixels = 0, unmatched = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            if (!ink(a.pixel(x, y)))
                continue;
            ++inkPixels;
            bool near = false;
            for (int dy = -1; dy <= 1 && !near; ++dy)
                for (int dx = -1; dx <= 1 && !near; ++dx)
                    near = b.valid(x + dx, y + dy) && otherInk(b.pixel(x + dx, y + dy));
            unmatched += !near;
        }
    return inkPixels ? double(unmatched) / inkPixels : 1;
}

bool isBlack(QRgb c)
{
    return qGray(c) < 128 && !isRed(c) && !isEdge(c);
}

QRect inkBounds(const QImage &image)
{
    QRect r;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (isInk(image.pixel(x, y)))
                r |= QRect(x, y, 1, 1);
    return r;
}

int redPixels(const QImage &image, const QRectF &area)
{
    int n = 0;
    const QRect r = area.toAlignedRect() & image.rect();
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            n += isRed(image.pixel(x, y));
    return n;
}

QByteArray products()
{
    return zltest::sjis(QStringLiteral("JANコード,商品名,規格,価格\r\n"
                                       "4901234567894,国産うなぎ蒲焼,特大 2尾入,1980\r\n"
                                       "49012AB,バーコードにならない品,1個,100\r\n"));
}

} // namespace

class TestLabelPreview : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale::c());
        zl::layout::setLiveTitlesSource([] { return kTitles; });
    }
    void cleanupTestCase()
    {
        zl::layout::setLiveTitlesSource({});
        zl::printer::installPrinters(nullptr);
    }

    // The preview at 203 dpi against the PDF page poppler draws at 203 dpi.
    void previewIsThePrintedLabel_data()
    {
        QTest::addColumn<QStringList>("record");
        QTest::addColumn<QStringList>("adjustments");
        const QStringList eel{QStringLiteral("4901234567894"), QStringLiteral("国産うなぎ蒲焼"),
                              QStringLiteral("特大 2尾入"), QStringLiteral("1980")};
        QTest::newRow("as stored") << eel << QStringList{QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0")};
        QTest::newRow("moved and grown") << eel << QStringList{QStringLiteral("3"), QStringLiteral("-2"), QStringLiteral("2")};
        QTest::newRow("no barcode") << QStringList{QStringLiteral("49012AB"), QStringLiteral("品"), QStringLiteral("1個"), QStringLiteral("100")}
                                    << QStringList{QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0")};
    }
    void previewIsThePrintedLabel()
    {
        QFETCH(QStringList, record);
        QFETCH(QStringList, adjustments);
        QTemporaryDir dir;
        zl::printer::PdfPrinter printer(dir.path());
        printer.setPrintQuality(kPaper.dpi);
        LabelFields fields = zltest::labelFor(record, adjustments[0], adjustments[1], adjustments[2]);
        const QString withoutBarcode = LabelFields(fields).setRecord(record);
        {
            PictureCanvas canvas(printer.pageGeometry(), [&](const QList<QPicture> &pages) { printer.printDocument(pages); });
            printLabel(canvas, fields, zl::layout::currentTitles());
        }
        const QList<QImage> printed = zltest::pdfPageImages(printer.lastDocumentPath(), kPaper.dpi);
        if (printed.isEmpty())
            QSKIP("poppler-utils is not installed");
        const LabelPreview preview = previewLabel(fields, printer.pageGeometry(), kTitles, withoutBarcode);
        const double pxPerMm = kPaper.dpi / 25.4;
        const QImage shown = previewImage(preview, pxPerMm, 0);
        QVERIFY(qAbs(shown.width() - printed.first().width()) <= 1);
        const double missing = unmatchedInk(printed.first(), shown, isBlack, isBlack);
        const double extra = unmatchedInk(shown, printed.first(), isBlack, isBlack);
        QVERIFY2(missing < 0.05 && extra < 0.05, qPrintable(QStringLiteral("ink not in the preview %1, ink not printed %2")
                                                                .arg(missing).arg(extra)));
        const QRectF barcodeBox(preview.barcodeMm * pxPerMm, QSizeF(32, 6) * pxPerMm);
        QCOMPARE(redPixels(shown, barcodeBox) > 100, !withoutBarcode.isEmpty()); // 「バーコードなし」
        QCOMPARE(preview.warnings().join(QString()).contains(QStringLiteral("バーコードなし")), !withoutBarcode.isEmpty());
    }

    // What does not fit is named, and drawn in red off the paper.
    void offThePaper_data()
    {
        QTest::addColumn<QStringList>("record");
        QTest::addColumn<QString>("warning");
        QTest::addColumn<int>("sheets");
        QTest::newRow("fits") << QStringList{QStringLiteral("4901234567894"), QStringLiteral("うなぎ"), QStringLiteral("1尾"), QStringLiteral("1980")}
                              << QString() << 1;
        QTest::newRow("text past the right edge")
            << QStringList{QStringLiteral("4901234567894"), QStringLiteral("国産うなぎ蒲焼 特大サイズ 2尾入り 化粧箱入り"),
                           QStringLiteral("1尾"), QStringLiteral("1980")}
            << QStringLiteral("が用紙の右端からはみ出します。") << 1;
        QTest::newRow("a second page")
            << QStringList{QStringLiteral("1\r\n2\r\n3\r\n4\r\n5"), QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("1")}
            << QStringLiteral("このラベルは2ページになり") << 2;
    }
    void offThePaper()
    {
        QFETCH(QStringList, record);
        QFETCH(QString, warning);
        QFETCH(int, sheets);
        const LabelPreview preview = previewLabel(zltest::labelFor(record), kPaper, kTitles);
        QCOMPARE(preview.pages.size(), sheets);
        const QString said = preview.warnings().join(QLatin1Char('\n'));
        QVERIFY2(warning.isEmpty() ? said.isEmpty() : said.contains(warning), qPrintable(said));
        // The run's check before its first label draws nothing and finds the same.
        const LabelPreview findings = previewLabel(zltest::labelFor(record), kPaper, kTitles, QString(), true);
        QCOMPARE(findings.warnings().join(QLatin1Char('\n')), said);
        const double px = 8, margin = 6;
        const QImage image = previewImage(preview, px, margin);
        QCOMPARE(image.width(), qCeil((sheets * 50 + (sheets + 1) * margin) * px));
        // Right of the paper only the title's rule reaches, which is meant to
        // run off a 50 mm label; text does there only when it does not fit.
        const QRectF rightOfPaper(QPointF((margin + 50) * px + 1, (margin + 5) * px), QSizeF(margin * px - 2, 25 * px));
        QCOMPARE(redPixels(image, rightOfPaper) > 0, warning.contains(QStringLiteral("右端")));
        // The rule itself is cut at the edge as the printer cuts it, not red.
        const QRectF ruleRightOfPaper(QPointF((margin + 50) * px + 1, (margin + 3.5) * px), QSizeF(margin * px - 2, 0.45 * px));
        QCOMPARE(redPixels(image, ruleRightOfPaper), 0);
    }

    // The title's rule ends with the label, measured on the pages as they
    // print: on the layout's own stock at the printable area's edge (the
    // printer cuts it there), on fitted stock at the layout's edge, never
    // on across the stock beyond it.
    void ruleEndsWithTheLabel_data()
    {
        QTest::addColumn<QSizeF>("paperMm");
        QTest::addColumn<bool>("roll");
        QTest::addColumn<double>("ruleMm"); // its length on the page
        QTest::newRow("50 x 30 mm, its own stock") << QSizeF(50, 30) << false << 50.0;
        QTest::newRow("2 x 1 in, as drawn to the edge") << QSizeF(50.8, 25.4) << false << 50.8;
        // Turned, 0.967 of the layout: 48.3 mm, not on 20 mm to the end.
        QTest::newRow("29 x 90 mm die-cut, turned") << QSizeF(29, 90) << false << 50 * 29 / 30.0;
        // Turned, at the widest module: 116.5 mm of 152.4.
        QTest::newRow("4 x 6 in, turned") << QSizeF(101.6, 152.4) << false << 50 * kMaxModuleMm * kBarcodeModules / kBarcodeWidthMm;
        QTest::newRow("40 x 30 mm, narrower") << QSizeF(40, 30) << false << 40.0;
        QTest::newRow("62 mm roll, across it") << QSizeF(62, 37.2) << true << 62.0;
    }
    void ruleEndsWithTheLabel()
    {
        QFETCH(QSizeF, paperMm);
        QFETCH(bool, roll);
        QFETCH(double, ruleMm);
        zl::printer::PageGeometry page{paperMm, QRectF(QPointF(0, 0), paperMm), 300};
        page.roll = roll;
        const QStringList record{QStringLiteral("4901234567894"), QStringLiteral("うなぎ"), QStringLiteral("1尾"),
                                 QStringLiteral("1980")};
        const LabelPreview preview = previewLabel(zltest::labelFor(record), page, kTitles);
        const double px = 10;
        const QImage image = previewImage(preview, px, 0);
        // The rule is the longest straight black run: along the label's
        // length, down it when the layout is turned.
        const bool down = preview.fit.turned;
        int longest = 0;
        for (int i = 0; i < (down ? image.width() : image.height()); ++i) {
            int run = 0;
            for (int j = 0; j < (down ? image.height() : image.width()); ++j) {
                run = isBlack(down ? image.pixel(i, j) : image.pixel(j, i)) ? run + 1 : 0;
                longest = std::max(longest, run);
            }
        }
        QVERIFY2(qAbs(longest / px - ruleMm) < 0.5, qPrintable(QStringLiteral("the rule is %1 mm, not %2 mm")
                                                                    .arg(longest / px).arg(ruleMm)));
    }

    // A barcode too fine for the printer's dots names the stock that would
    // take it, and that stock does: on a roll only its width matters (the
    // label is as long as the layout needs), so the roll's width is named,
    // and the next narrower one would still be refused. Bars are never
    // fewer dots than one in the message: that is what would print.
    void tooFineBarcodeNamesTheStockToChoose_data()
    {
        QTest::addColumn<QSizeF>("paperMm");
        QTest::addColumn<bool>("roll");
        QTest::addColumn<double>("marginMm"); // the driver's, on either side
        QTest::addColumn<int>("dpi");
        QTest::addColumn<QString>("said");
        QTest::addColumn<QSizeF>("enough"); // the stock named
        QTest::addColumn<QSizeF>("tooLittle");
        QTest::newRow("12 mm roll, 203 dpi")
            << QSizeF(12, 20) << true << 0.0 << 203 << QStringLiteral("203 dpiのプリンターで1ドット）と細くなりすぎ、読み取れないおそれがあります。"
                                                               "幅27 mm以上のロールか、解像度の高いプリンターを選んでください。")
            << QSizeF(27, 45) << QSizeF(26, 43.3);
        // The roll named is printable width and the driver's margins.
        QTest::newRow("16 mm roll with 1.5 mm margins, 300 dpi")
            << QSizeF(16, 30) << true << 1.5 << 300
            << QStringLiteral("300 dpiのプリンターで1ドット）と細くなりすぎ、読み取れないおそれがあります。幅21 mm以上のロール")
            << QSizeF(21, 40) << QSizeF(20, 38);
        QTest::newRow("20 x 15 mm die-cut, 203 dpi")
            << QSizeF(20, 15) << false << 0.0 << 203 << QStringLiteral("203 dpiのプリンターで1ドット）と細くなりすぎ、読み取れないおそれがあります。"
                                                                "45 x 34 mm以上のラベル")
            << QSizeF(45, 34) << QSizeF(40, 30);
    }
    void tooFineBarcodeNamesTheStockToChoose()
    {
        QFETCH(QSizeF, paperMm);
        QFETCH(bool, roll);
        QFETCH(double, marginMm);
        QFETCH(int, dpi);
        QFETCH(QString, said);
        QFETCH(QSizeF, enough);
        QFETCH(QSizeF, tooLittle);
        const QStringList record{QStringLiteral("4901234567894"), QStringLiteral("うなぎ"), QStringLiteral("1尾"),
                                 QStringLiteral("1980")};
        auto problem = [&](QSizeF paper) {
            zl::printer::PageGeometry page{paper, QRectF(QPointF(marginMm, 0), paper - QSizeF(2 * marginMm, 0)), dpi};
            page.roll = roll;
            return previewLabel(zltest::labelFor(record), page, kTitles).barcodeProblem;
        };
        const QString refused = problem(paperMm);
        QVERIFY2(refused.contains(said), qPrintable(refused));
        QVERIFY2(problem(enough).isEmpty(), qPrintable(problem(enough)));
        QVERIFY(!problem(tooLittle).isEmpty());
    }

    // Each slider step moves the label on the print position screen by its
    // millimetres, as printed; a stored decimal is drawn as stored until its
    // slider moves.
    void printPositionSlidersMoveThePreview_data()
    {
        QTest::addColumn<QString>("stored"); // SIZE1
        QTest::addColumn<int>("slider");
        QTest::addColumn<int>("value");
        QTest::newRow("5 mm right") << QStringLiteral("0") << 1 << 5;
        QTest::newRow("2 mm left, the second title off the paper") << QStringLiteral("0") << 1 << -2;
        QTest::newRow("3 mm down") << QStringLiteral("0") << 2 << 3;
        QTest::newRow("from a stored 1.5 to 5 mm right") << QStringLiteral("1.5") << 1 << 5;
    }
    void printPositionSlidersMoveThePreview()
    {
        QFETCH(QString, stored);
        QFETCH(int, slider);
        QFETCH(int, value);
        zltest::TempHome home;
        useProductsOnPdfPrinter(home);
        QStringList adjustments(99, QStringLiteral("0"));
        adjustments[2] = stored;
        home.writeTable(QStringLiteral("vokiconfig5.txt"), zl::settings::adjustmentColumns(), adjustments);
        QList<zl::ui::ShownMessage> messages;
        zl::ui::recordMessagesInto(&messages);
        zl::ui::registerAllScreens(zl::ui::ScreenRegistry::instance());
        QWidget *screen = zl::ui::ScreenRegistry::instance().show(QStringLiteral("Form13"));
        QVERIFY(screen);
        auto *view = screen->findChild<zl::ui::LabelPreviewView *>(QStringLiteral("LabelPreview"));
        QVERIFY(view);
        QCOMPARE(view->preview().texts.value(1).text, QStringLiteral("国産うなぎ蒲焼"));
        QCOMPARE(view->preview().barcodeMm.x(), 1 + stored.toDouble());
        const QRect before = inkBounds(view->image());
        screen->findChild<QSlider *>(QStringLiteral("Slider%1").arg(slider))->setValue(value);
        const QRect after = inkBounds(view->image());
        const double px = view->pxPerMm();
        const QPoint moved = after.topLeft() - before.topLeft();
        const double mm = value - (slider == 1 ? stored.toDouble() : 0);
        const QPoint expected = slider == 1 ? QPoint(qRound(mm * px), 0) : QPoint(0, qRound(mm * px));
        QVERIFY2((moved - expected).manhattanLength() <= 2,
                 qPrintable(QStringLiteral("moved by (%1, %2) px, expected (%3, %4) at %5 px/mm")
                                .arg(moved.x()).arg(moved.y()).arg(expected.x()).arg(expected.y()).arg(px)));
        zl::ui::ScreenRegistry::instance().close(QStringLiteral("Form13"));
        zl::ui::recordMessagesInto(nullptr);
        QVERIFY(messages.isEmpty());
    }

    // The print screens show the label of the record selected in the grid,
    // beside it and, on a double click, larger in a window of its own.
    void printScreenShowsTheSelectedRecord_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("barcode");
        QTest::newRow("continuous, first row") << QStringLiteral("F_CustInput") << 0 << QStringLiteral("国産うなぎ蒲焼") << true;
        QTest::newRow("continuous, no barcode") << QStringLiteral("F_CustInput") << 1 << QStringLiteral("バーコードにならない品") << false;
        QTest::newRow("partial, no barcode") << QStringLiteral("F_CustInput2") << 1 << QStringLiteral("バーコードにならない品") << false;
    }
    void printScreenShowsTheSelectedRecord()
    {
        QFETCH(QString, form);
        QFETCH(int, row);
        QFETCH(QString, text);
        QFETCH(bool, barcode);
        zltest::TempHome home;
        useProductsOnPdfPrinter(home);
        QList<zl::ui::ShownMessage> messages;
        zl::ui::recordMessagesInto(&messages);
        zl::ui::registerAllScreens(zl::ui::ScreenRegistry::instance());
        QWidget *screen = zl::ui::ScreenRegistry::instance().show(form);
        QVERIFY(screen);
        screen->findChild<QTableView *>(QStringLiteral("DataGrid1"))->selectRow(row);
        auto *view = screen->findChild<zl::ui::LabelPreviewView *>(QStringLiteral("LabelPreview"));
        QVERIFY(view && view->isVisible());
        QCOMPARE(view->preview().texts.value(1).text, text);
        QCOMPARE(view->preview().withoutBarcode.isEmpty(), barcode);
        QCOMPARE(view->preview().warnings().join(QString()).contains(QStringLiteral("バーコードなし")), !barcode);
        // The operator can open it larger, in a window of its own.
        zl::ui::LabelPreviewView *large = view->openLargeWindow();
        QVERIFY(large && large->isWindow() && large->isVisible());
        QCOMPARE(large->preview().texts.value(1).text, text);
        QVERIFY(large->pxPerMm() > 2 * view->pxPerMm());
        delete screen;
        zl::ui::recordMessagesInto(nullptr);
        QVERIFY(messages.isEmpty());
    }

private:
    // The default settings with the products as data, printed to PDF.
    static void useProductsOnPdfPrinter(zltest::TempHome &home)
    {
        home.installDefaults();
        home.writeFile(QStringLiteral("items.csv"), products());
        home.writeTable(QStringLiteral("vokiconfig2.txt"), {QStringLiteral("DB1"), QStringLiteral("DB2")},
                        {home.settingsFolder(), QStringLiteral("items.csv")});
        std::vector<std::unique_ptr<zl::printer::Printer>> list;
        list.push_back(std::make_unique<zl::printer::PdfPrinter>(home.root() + QStringLiteral("/pdf")));
        zl::printer::installPrinters(std::make_unique<zl::printer::OwnedPrinterCollection>(std::move(list)));
    }
};

ZL_TEST(TestLabelPreview)
#include "TestLabelPreview.moc"
