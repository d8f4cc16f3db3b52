// Label printers have 203 or 300 dots an inch: a bar whose edge falls
// between dots comes out a dot wider or narrower than its neighbours, which
// is what makes a barcode fail to scan.
#include "TestRegistry.h"

#include "label/Barcode.h"
#include "label/PageCanvas.h"

#include <QPainter>
#include <QTest>

using namespace zl::label;

namespace {

// Lengths of the dark runs along one row of the image.
QList<int> darkRuns(const QImage &image, int row)
{
    QList<int> runs;
    int run = 0;
    for (int x = 0; x < image.width(); ++x) {
        if (qGray(image.pixel(x, row)) < 128) {
            ++run;
        } else if (run) {
            runs << run;
            run = 0;
        }
    }
    if (run)
        runs << run;
    return runs;
}

} // namespace

class DotGridTest : public QObject {
    Q_OBJECT
private slots:
    void everyBarIsAWholeNumberOfModules_data()
    {
        QTest::addColumn<int>("dpi");
        QTest::addColumn<double>("leftMm");
        QTest::addColumn<int>("moduleDots");
        QTest::addColumn<int>("a");          // bar width reduction, percent of a module
        QTest::addColumn<int>("reduction");  // dots it takes off every bar
        // Where the printable area starts on the paper: the driver rasterises
        // from the paper's corner.
        QTest::addColumn<double>("originMm");
        QTest::newRow("203 dpi") << 203 << 1.0 << 2 << 5 << 0 << 0.0;
        QTest::newRow("203 dpi, shifted 0.37 mm") << 203 << 1.37 << 2 << 5 << 0 << 0.0;
        QTest::newRow("203 dpi, printable area 2 pt in") << 203 << 1.0 << 2 << 5 << 0 << 25.4 / 36;
        QTest::newRow("300 dpi") << 300 << 1.0 << 3 << 5 << 0 << 0.0;
        QTest::newRow("300 dpi, printable area 0.37 mm in") << 300 << 1.0 << 3 << 5 << 0 << 0.37;
        QTest::newRow("300 dpi, A 30") << 300 << 1.0 << 3 << 30 << 1 << 0.0;
        QTest::newRow("600 dpi, shifted") << 600 << 2.9 << 6 << 5 << 0 << 0.0;
        QTest::newRow("600 dpi, A 30") << 600 << 2.9 << 6 << 30 << 2 << 0.0;
    }
    void everyBarIsAWholeNumberOfModules()
    {
        QFETCH(int, dpi);
        QFETCH(double, leftMm);
        QFETCH(int, moduleDots);
        QFETCH(int, a);
        QFETCH(int, reduction);
        QFETCH(double, originMm);
        BarcodeParameters parameters = BarcodeParameters::forRecords();
        parameters.a = qint16(a);
        const BarcodePicture picture = makeBarcode(QStringLiteral("JAN-491234500001"), parameters);
        QCOMPARE(barReductionDots(picture.reduction(), moduleDots), reduction);
        QImage image(int(40 * dpi / 25.4), int(12 * dpi / 25.4), QImage::Format_RGB32);
        image.fill(Qt::white);
        {
            QPainter p(&image);
            p.scale(dpi / 25.4, dpi / 25.4); // millimetres, as the canvas draws
            p.translate(originMm, originMm); // the label starts at the printable area
            picture.paintOnDotGrid(p, QPointF(leftMm, 1), 32, dpi, QPointF(originMm, originMm));
        }
        const QList<int> runs = darkRuns(image, image.height() / 3);
        QCOMPARE(runs.size(), 30); // 3 guard pairs and 12 digits of two bars each
        // Bars are whole modules less the reduction.
        for (int r : runs)
            QVERIFY2((r + reduction) % moduleDots == 0 && r + reduction <= 4 * moduleDots,
                     qPrintable(QStringLiteral("a bar %1 dots wide at %2 dpi").arg(r).arg(dpi)));
        // The symbol stays inside the 32 mm box it was given.
        int first = 0, last = 0;
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, image.height() / 3)) < 128) {
                if (!first)
                    first = x;
                last = x;
            }
        QVERIFY(first >= int((originMm + leftMm) * dpi / 25.4));
        QVERIFY(last <= int((originMm + leftMm + 32) * dpi / 25.4));
    }
};

ZL_TEST(DotGridTest)
#include "DotGridTest.moc"
