// The 50 x 30 mm layout on stock no test device has: drawn with the
// renderer on the stock's printable area at the device's resolution, then
// read back as that device would print it. It fills the area at the scale
// the stock's size allows, is turned on portrait stock, nothing but the
// title's rule runs off the area, the barcode scans with whole-dot modules.
#include "DeviceOutput.h"
#include "LabelSupport.h"
#include "TestRegistry.h"

#include "common/Length.h"
#include "label/LabelFit.h"
#include "label/PageCanvas.h"
#include "layout/Titles.h"
#include "printer/PagePlayback.h"

#include <QPainter>
#include <QTest>
#include <cmath>

using namespace zl::label;
using zl::printer::LabelScale;
using zl::printer::PageGeometry;

Q_DECLARE_METATYPE(PageGeometry)
Q_DECLARE_METATYPE(LabelScale)

namespace {

constexpr double kMarginMm = 5;

PageGeometry stock(QSizeF paperMm, QMarginsF marginsMm, int dpi, bool roll = false)
{
    PageGeometry g;
    g.paperMm = paperMm;
    g.printableMm = QRectF(QPointF(0, 0), paperMm).marginsRemoved(marginsMm);
    g.dpi = dpi;
    // The driver's dots start at the printable corner (CUPS raster drivers).
    g.dotGridOriginMm = g.printableMm.topLeft();
    g.roll = roll;
    return g;
}

QMarginsF hwMargins(double sidePt, double topPt)
{
    const double side = zl::Length::pt(sidePt).mm(), top = zl::Length::pt(topPt).mm();
    return {side, top, side, top};
}

// The label's one page on white paper at the device's resolution, the
// printable area `kMarginMm` in from the image's corner, so what runs off
// the area shows.
QImage printed(const PageGeometry &page, LabelScale scale, LabelFit &fit)
{
    zl::label::LabelFields fields = zltest::labelFor(
        {QStringLiteral("4912345000019"), QStringLiteral("国産うなぎ蒲焼"), QStringLiteral("1尾 160g"), QStringLiteral("1980")});
    fit = fitLabel(page, scale);
    QList<QPicture> pages;
    PictureCanvas canvas(page, fit, [&](const QList<QPicture> &p) { pages = p; });
    printLabel(canvas, nullptr, fields, zl::label::Titles{QStringLiteral("ゼンラボ商店"), QStringLiteral("税込価格")});
    const double px = zl::Length::dotsPerMm(page.dpi);
    const QSizeF area = fit.areaMm + QSizeF(2 * kMarginMm, 2 * kMarginMm);
    QImage image(int(std::ceil(area.width() * px)), int(std::ceil(area.height() * px)), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    zl::printer::playPage(p, pages.value(0), QPointF(kMarginMm, kMarginMm), px);
    p.end();
    return image;
}

// The dots inked outside the printable area, as the rows (or, turned, the
// columns) they lie in: only the title's rule may run off, to the right
// (turned: downwards), a band a few dots thick.
QString inkOffTheArea(const QImage &image, const QRectF &areaDots, bool turned)
{
    int from = INT_MAX, to = -1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 128 && !areaDots.contains(QPointF(x + 0.5, y + 0.5))) {
                const int across = turned ? x : y;
                from = std::min(from, across);
                to = std::max(to, across);
            }
    if (to < 0 || to - from < 6)
        return {};
    return QStringLiteral("ink off the printable area over %1 dots").arg(to - from + 1);
}

} // namespace

class LabelFitTest : public QObject {
    Q_OBJECT
private slots:
    void theLayoutFillsEveryStock_data()
    {
        QTest::addColumn<PageGeometry>("page");
        QTest::addColumn<LabelScale>("scale");
        QTest::addColumn<double>("expectedScale"); // from the stock's size by hand
        QTest::addColumn<bool>("turned");
        QTest::addColumn<int>("moduleDots");
        QTest::addColumn<double>("lengthMm"); // a roll's label length; 0 elsewhere
        const auto fit = LabelScale::Fit;
        // The sheets and the label printers' stock are read back from the
        // devices (SheetPrintTest, LabelPrinterKindsTest); these are the
        // cases only a drawn page shows.
        // 46.95 x 24.07 mm printable: 24.07 / 30.
        QTest::newRow("50 x 30 user size inside a driver's margins, 300 dpi")
            << stock({50, 30}, hwMargins(4.32, 8.4), 300) << fit << 0.8024 << false << 2 << 0.0;
        QTest::newRow("A4-44 position at actual size is still fitted")
            << stock({48.3, 25.4}, {}, 300) << LabelScale::ActualSize << 0.8467 << false << 2 << 0.0;
        QTest::newRow("29 mm roll, turned along it") << stock({29, 30}, {}, 300, true) << fit << 0.9667 << true << 3 << 50 * 0.9667;
        // 0.66 mm modules at most: 0.66 x 113 / 32.
        QTest::newRow("4 x 6 in at 203 dpi, the scale stops at EAN's 200 %")
            << stock({101.6, 152.4}, {}, 203) << fit << 2.3306 << true << 5 << 0.0;
    }
    void theLayoutFillsEveryStock()
    {
        QFETCH(PageGeometry, page);
        QFETCH(LabelScale, scale);
        QFETCH(double, expectedScale);
        QFETCH(bool, turned);
        QFETCH(int, moduleDots);
        QFETCH(double, lengthMm);
        LabelFit fit;
        QImage image = printed(page, scale, fit);
        QCOMPARE(fit.turned, turned);
        QVERIFY2(std::abs(fit.scale - expectedScale) < 0.001, qPrintable(QString::number(fit.scale)));
        if (page.roll)
            QVERIFY2(std::abs(rollPageLengthMm(page, fit) - lengthMm) < 0.01, qPrintable(QString::number(rollPageLengthMm(page, fit))));
        // Centred on the area.
        const QRectF box = fit.boxOnPage();
        const QRectF area(QPointF(0, 0), fit.areaMm);
        QVERIFY(area.adjusted(-0.01, -0.01, 0.01, 0.01).contains(box)
                && std::abs(box.center().x() - area.center().x()) < 0.01 && std::abs(box.center().y() - area.center().y()) < 0.01);

        const double px = zl::Length::dotsPerMm(page.dpi);
        const QRectF areaDots(QPointF(kMarginMm, kMarginMm) * px, fit.areaMm * px);
        QVERIFY2(inkOffTheArea(image, areaDots, turned).isEmpty(), qPrintable(inkOffTheArea(image, areaDots, turned)));
        QCOMPARE(zltest::decodeBarcodes(image), QStringList{QStringLiteral("EAN-13:4912345000019")});
        if (turned)
            image = image.transformed(QTransform().rotate(-90));
        const QList<int> runs = zltest::runsAlong(image, zltest::barRow(image));
        QVERIFY2(zltest::moduleFault(runs, 95).isEmpty(), qPrintable(zltest::moduleFault(runs, 95)));
        int total = 0;
        for (int r : runs)
            total += r;
        QCOMPARE(total, 95 * moduleDots);
        QVERIFY(moduleDots * zl::Length::mmPerDot(page.dpi) <= kMaxModuleMm);
    }
};

ZL_TEST(LabelFitTest)
#include "LabelFitTest.moc"
