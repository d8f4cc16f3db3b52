// A CUPS queue's papers, against a real scheduler: the sizes each queue
// lists and their codes, each size's page and printable area, custom pages
// as they reach the device, and a driverless printer's own description.
#include "CupsQueueFixture.h"
#include "common/DeviceOutput.h"
#include "common/TestEnv.h"
#include "common/TestRegistry.h"

#include "common/Length.h"
#include "paper/PaperSelection.h"
#include "cups/platform/CupsPrinter.h"
#include "cups/platform/IppMediaDatabase.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPicture>
#include <QScopeGuard>
#include <QTest>
#include <QThread>
#include <QUrl>
#include <algorithm>
#include <cups/cups.h>
#include <memory>

using namespace zl::printer;

namespace {

// A queue of the test scheduler with a paper in force: one of its sizes by
// keyword, or "user", the user-defined size. Null when the queue refuses it.
std::unique_ptr<CupsPrinter> onPaper(const QString &queue, const QString &paper)
{
    auto printer = std::make_unique<CupsPrinter>(queue);
    const int code = paper == QLatin1String("user") ? 256 : printer->paperCodeForMedia(paper);
    return printer->setPaperSize(code) ? std::move(printer) : nullptr;
}

// Empty when `mm` is `pt` to a hundredth of a millimetre, else both.
QString unlikeMm(const QRectF &mm, const QRectF &pt)
{
    const QRectF want(pt.topLeft() * zl::Length::pt(1).mm(), pt.size() * zl::Length::pt(1).mm());
    const auto text = [](const QRectF &r) {
        return QStringLiteral("%1 %2 %3 x %4 mm").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
    };
    const QPointF a = mm.topLeft() - want.topLeft(), b = mm.bottomRight() - want.bottomRight();
    const bool same = qMax(qMax(qAbs(a.x()), qAbs(a.y())), qMax(qAbs(b.x()), qAbs(b.y()))) < 0.01;
    return same ? QString() : text(mm) + QStringLiteral(", not ") + text(want);
}

} // namespace

class CupsPapersTest : public CupsQueueFixture {
    Q_OBJECT

private slots:
    void genericQueueListsStandardSizesByWindowsNumber()
    {
        CupsPrinter printer(m_generic);
        const PaperChoices c = paperChoices(&printer);
        QVERIFY2(c.entries.contains(QStringLiteral("9\t210 x 297")), qPrintable(c.entries.join(QLatin1Char('|'))));
        QVERIFY(c.entries.contains(QStringLiteral("1\t216 x 279")));
        QCOMPARE(c.entries.size(), c.codes.size());
        // Reading the list does not change the paper in use.
        const auto before = printer.paperSize();
        paperChoices(&printer);
        QCOMPARE(printer.paperSize(), before);
        QVERIFY(printer.setPaperSize(9));
        // The queue gives A4 in whole points (595 x 842).
        QCOMPARE(qRound(printer.pageWidthTwips().value_or(0) / 56.7), 210);
        QCOMPARE(qRound(printer.pageHeightTwips().value_or(0) / 56.7), 297);
        QVERIFY(!printer.setPaperSize(0));
        QVERIFY(!printer.setPaperSize(1000));
    }

    void labelQueueNumbersItsOwnSizesFrom257()
    {
        CupsPrinter printer(m_label);
        const QList<PaperInfo> papers = printer.papers();
        QList<int> own;
        for (const PaperInfo &p : papers) {
            if (p.code > 256)
                own << p.code;
        }
        QVERIFY2(own.size() >= 3, "the label queue lists its stock without Windows numbers");
        for (int i = 0; i < own.size(); ++i)
            QCOMPARE(own[i], 257 + i);
        // Asking again (a new object for the same queue) gives the same numbers.
        CupsPrinter again(m_label);
        QCOMPARE(paperChoices(&again).entries, paperChoices(&printer).entries);
        QVERIFY(printer.setPaperSize(258));
        QCOMPARE(printer.paperSize(), std::optional<int>(258));
        // Sizes are numbered by the PPD's own names, not guessed from their
        // dimensions: the turned A5 is DMPAPER_A5_ROTATED, 4 x 6.5 inch label
        // stock is stock (not an envelope).
        QCOMPARE(printer.paperCodeForMedia(QStringLiteral("A5Rotated")), 78);
        QCOMPARE(printer.paperCodeForMedia(QStringLiteral("A5")), 11);
        QVERIFY(printer.paperCodeForMedia(QStringLiteral("w288h468")) >= 257);
    }

    // Each size's page and printable area are the driver's: a size's own, or
    // *HWMargins (a driverless printer's custom margins, through CUPS' PPD);
    // a roll is as wide as the roll and, until a label's length is known,
    // holds the layout's height inside the margins.
    void everySizeHasItsPrintableArea_data()
    {
        QTest::addColumn<QString>("queue");
        QTest::addColumn<QString>("paper");
        QTest::addColumn<bool>("roll");
        QTest::addColumn<QSizeF>("pagePt");
        QTest::addColumn<QMarginsF>("marginsPt"); // left, top, right, bottom
        const QString roll = qEnvironmentVariable("ZENLABO_TEST_ROLL_QUEUE");
        const QSizeF user(142, 85); // 50 x 30 mm, in whole points
        const QMarginsF hw(4.32, 8.4, 4.32, 8.4);
        const double eveSide = zl::Length::hundredthsMm(152).pt(), eveEnd = zl::Length::hundredthsMm(296).pt();
        QTest::newRow("user size, *HWMargins") << qEnvironmentVariable("ZENLABO_TEST_MARGINS_QUEUE") << "user" << false
                                               << user << hw;
        QTest::newRow("stock inside its own area") << qEnvironmentVariable("ZENLABO_TEST_MARGINS_QUEUE") << "w144h72"
                                                   << false << QSizeF(144, 72) << QMarginsF(2.16, 4.2, 2.16, 4.2);
        QTest::newRow("CUPS' Intellitech driver, user size")
            << QStringLiteral("ZenlaboIntellitech") << "user" << false << user << QMarginsF(0, 5.76, 0, 5.76);
        QTest::newRow("roll, no label yet") << roll << "62mm" << true << QSizeF(175, 102) << hw; // 30 mm + 16.8 pt
        QTest::newRow("user size cut from the roll") << roll << "user" << true << QSizeF(175, 86) << hw;
        QTest::newRow("die-cut beside the roll") << roll << "62x29mm" << false << QSizeF(175.75, 82.2)
                                                 << QMarginsF(4.32, 4.32, 4.32, 4.32);
        QTest::newRow("driverless user size") << qEnvironmentVariable("ZENLABO_TEST_EVE_ROLL_QUEUE") << "user" << false
                                              << user << QMarginsF(eveSide, eveEnd, eveSide, eveEnd);
    }

    void everySizeHasItsPrintableArea()
    {
        QFETCH(QString, queue);
        QFETCH(QString, paper);
        QFETCH(bool, roll);
        QFETCH(QSizeF, pagePt);
        QFETCH(QMarginsF, marginsPt);
        if (queue.isEmpty())
            QSKIP("the label stock queues are not up: run scripts/test, whose scheduler has them.");
        zltest::TempHome home; // no saved options of the machine's user
        const auto printer = onPaper(queue, paper);
        QVERIFY2(printer, qPrintable(QStringLiteral("%1 does not take %2").arg(queue, paper)));
        const PageGeometry g = printer->pageGeometry();
        QCOMPARE(g.roll, roll);
        const QRectF page(QPointF(0, 0), pagePt);
        const QString paperOff = unlikeMm(QRectF(QPointF(0, 0), g.paperMm), page),
                      printableOff = unlikeMm(g.printableMm, page.marginsRemoved(marginsPt));
        QVERIFY2(paperOff.isEmpty(), qPrintable(QStringLiteral("paper ") + paperOff));
        QVERIFY2(printableOff.isEmpty(), qPrintable(QStringLiteral("printable area ") + printableOff));
    }

    // A custom page (the user-defined size, a roll's) goes as the driver's
    // PageSize in whole points, which CUPS keeps, so the device gets the
    // label unshrunk, its dots from the printable area's corner to its far
    // corner. On a roll the page is as wide as the roll and as long as the
    // label; die-cut stock and lengths the driver does not cut keep theirs.
    void customPagesReachTheDeviceWhole_data()
    {
        QTest::addColumn<QString>("queue");
        QTest::addColumn<QString>("paper");
        QTest::addColumn<double>("lengthMm"); // 0: none set
        QTest::addColumn<bool>("taken");
        QTest::addColumn<QSizeF>("pagePt");
        QTest::addColumn<QString>("sent"); // the job's size option
        const QString roll = qEnvironmentVariable("ZENLABO_TEST_ROLL_QUEUE");
        // 50 x 30 mm is 141.73 x 85.04 pt; the 62 mm roll 175.75 pt; 30 mm
        // 85.04, 37.2 mm 105.45, the layout inside the roll's margins 101.84;
        // a roll's page is rounded up to whole points, never shorter.
        QTest::newRow("user size, *HWMargins, 203 dpi") << qEnvironmentVariable("ZENLABO_TEST_MARGINS_QUEUE") << "user"
                                                        << 0.0 << true << QSizeF(142, 85) << "PageSize=Custom.142x85";
        QTest::newRow("roll, 30 mm label") << roll << "62mm" << 30.0 << true << QSizeF(175, 86)
                                           << "PageSize=Custom.175x86";
        QTest::newRow("roll, 37.2 mm label") << roll << "62mm" << 37.2 << true << QSizeF(175, 106)
                                             << "PageSize=Custom.175x106";
        QTest::newRow("user size on the roll") << roll << "user" << 37.2 << true << QSizeF(175, 106)
                                               << "PageSize=Custom.175x106";
        QTest::newRow("longer than the roll is cut") << roll << "62mm" << 1200.0 << false << QSizeF(175, 102)
                                                     << "PageSize=Custom.175x102";
        QTest::newRow("die-cut stock") << qEnvironmentVariable("ZENLABO_TEST_SHORT_QUEUE") << "62x29mm" << 37.2 << false
                                       << QSizeF(175.75, 82.2) << "media=62x29mm";
    }

    void customPagesReachTheDeviceWhole()
    {
        QFETCH(QString, queue);
        QFETCH(QString, paper);
        QFETCH(double, lengthMm);
        QFETCH(bool, taken);
        QFETCH(QSizeF, pagePt);
        QFETCH(QString, sent);
        if (queue.isEmpty() || m_spool.isEmpty())
            QSKIP("the label stock queues are not up: run scripts/test, whose scheduler has them.");
        zltest::TempHome home;
        const auto printer = onPaper(queue, paper);
        QVERIFY(printer);
        if (lengthMm > 0)
            QCOMPARE(printer->setLabelLength(lengthMm), taken);
        const PageGeometry g = printer->pageGeometry();
        const QString pageOff = unlikeMm(QRectF(QPointF(0, 0), g.paperMm), QRectF(QPointF(0, 0), pagePt));
        QVERIFY2(pageOff.isEmpty(), qPrintable(pageOff));
        QCOMPARE(g.dotGridOriginMm, g.printableMm.topLeft());
        // A 3 mm block at each corner of the printable area.
        QPicture label;
        QPainter paint(&label);
        paint.fillRect(QRectF(0, 0, 3, 3), Qt::black);
        paint.fillRect(QRectF(g.printableMm.width() - 3, g.printableMm.height() - 3, 3, 3), Qt::black);
        paint.end();
        printer->printDocument({label});
        const QMap<QString, QString> job = zltest::jobAttributes(qEnvironmentVariable("CUPS_SERVER"), 0, queue);
        QCOMPARE(job.value(sent.section(QLatin1Char('='), 0, 0)), sent.section(QLatin1Char('='), 1));
        // This job's own output, whatever jobs before it are still on the way.
        const QString output =
            QStringLiteral("%1/%2/job-%3.prn").arg(m_spool, queue, job.value(QStringLiteral("job-id")));
        for (QDeadlineTimer deadline(90000); !QFileInfo::exists(output) && !deadline.hasExpired();)
            QThread::msleep(100);
        QFile f(output);
        QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(output + QStringLiteral(" did not come within 90 s")));
        const QImage dots = zltest::decodeZplGraphic(f.readAll());
        // The raster is the printable area to the dot (its width in whole bytes).
        const auto toDots = [&g](double mm) { return qRound(zl::Length::mm(mm).dots(g.dpi)); };
        const int wide = toDots(g.printableMm.width()), block = toDots(3);
        QVERIFY2(qAbs(dots.height() - toDots(g.printableMm.height())) <= 1, qPrintable(QString::number(dots.height())));
        QCOMPARE(dots.width(), (wide + 7) / 8 * 8);
        const int last = dots.height() - 2;
        QVERIFY2(dots.pixelColor(0, 0) == Qt::black && dots.pixelColor(wide - 2, last) == Qt::black
                     && dots.pixelColor(wide - block - 3, last) == Qt::white,
                 "the blocks are not 3 mm at the raster's corners: the label was moved, shrunk or enlarged");
    }

    // The paper list: each stock's own name, its size, its code; a size
    // listed twice is one row (the one in force, else the first); label
    // stock CUPS named after an envelope is named by its size.
    void paperListNamesEachStockOnce_data()
    {
        QTest::addColumn<QString>("queue");
        QTest::addColumn<QString>("inForce"); // a size by keyword; empty: the queue's default
        QTest::addColumn<QStringList>("rows");
        const QString margins = qEnvironmentVariable("ZENLABO_TEST_MARGINS_QUEUE");
        const QStringList marginsRows{QStringLiteral("A4\t210 x 297 mm\t9"), QStringLiteral("102 x 165 mm\t\t96"),
                                      QStringLiteral("ユーザー定義サイズ\t50 x 30 mm\t256"),
                                      QStringLiteral("2 x 1 in label\t51 x 25 mm\t258"),
                                      QStringLiteral("4.00x2.00\"\t102 x 51 mm\t259")};
        QTest::newRow("twin sizes, the default kept") << margins << QString() << marginsRows;
        QStringList otherTwin = marginsRows;
        otherTwin[3] = QStringLiteral("2.00x1.00\"\t51 x 25 mm\t257");
        QTest::newRow("twin sizes, the one in force kept") << margins << "w144h72" << otherTwin;
        QTest::newRow("roll and die-cut")
            << qEnvironmentVariable("ZENLABO_TEST_ROLL_QUEUE") << QString()
            << QStringList{QStringLiteral("ユーザー定義サイズ\t62 x 30 mm\t256"),
                           QStringLiteral("62mm continuous\t62 x 100 mm\t257"),
                           QStringLiteral("62mm x 29mm die-cut\t62 x 29 mm\t258")};
    }

    void paperListNamesEachStockOnce()
    {
        QFETCH(QString, queue);
        QFETCH(QString, inForce);
        QFETCH(QStringList, rows);
        if (queue.isEmpty())
            QSKIP("the label stock queues are not up: run scripts/test, whose scheduler has them.");
        zltest::TempHome home;
        CupsPrinter printer(queue);
        if (!inForce.isEmpty())
            QVERIFY(printer.setPaperSize(printer.paperCodeForMedia(inForce)));
        const PaperChoices c = paperChoices(&printer);
        QCOMPARE(c.rows, rows);
        // A size not shown keeps its code: stored settings still select it.
        for (const PaperInfo &p : printer.papers())
            QVERIFY2(printer.setPaperSize(p.code), qPrintable(QString::number(p.code)));
    }

    // A custom size set for the stock, as CUPS writes it, is the paper in
    // force: named by its size on the paper list, its page that size,
    // declared as written. One CUPS would not read leaves one of the driver's
    // listed sizes in force.
    void customStockSizeIsThePaperInForce_data()
    {
        QTest::addColumn<QString>("saved"); // the user's lpoptions; empty: the queue's own Custom.40x30mm
        QTest::addColumn<QString>("row");   // the paper in force on the paper list, without its code
        QTest::addColumn<QSizeF>("paperMm");
        QTest::addColumn<QString>("pageSize"); // sent
        QTest::newRow("the queue's default") << QString() << QStringLiteral("40 x 30 mm\t") << QSizeF(40, 30)
                                             << QStringLiteral("Custom.40x30mm");
        QTest::newRow("inches, the user's") << QStringLiteral("PageSize=Custom.2x1in")
                                            << QStringLiteral("2 x 1 in\t51 x 25 mm") << QSizeF(50.8, 25.4)
                                            << QStringLiteral("Custom.2x1in");
        QTest::newRow("centimetres, as media") << QStringLiteral("media=custom.5x3.5CM")
                                               << QStringLiteral("5 x 3.5 cm\t50 x 35 mm") << QSizeF(50, 35)
                                               << QStringLiteral("custom.5x3.5CM");
        QTest::newRow("points") << QStringLiteral("PageSize=Custom.144x72") << QStringLiteral("144 x 72 pt\t51 x 25 mm")
                                << QSizeF(50.8, 25.4) << QStringLiteral("Custom.144x72");
    }

    void customStockSizeIsThePaperInForce()
    {
        QFETCH(QString, saved);
        QFETCH(QString, row);
        QFETCH(QSizeF, paperMm);
        QFETCH(QString, pageSize);
        const QString queue = qEnvironmentVariable("ZENLABO_TEST_CUSTOM_QUEUE");
        if (queue.isEmpty())
            QSKIP("the custom size queue is not up: run scripts/test, whose scheduler has it.");
        zltest::TempHome home;
        if (!saved.isEmpty())
            home.writeFile(home.root() + QStringLiteral("/.cups/lpoptions"), "Dest " + queue.toUtf8() + ' ' + saved.toUtf8() + '\n');
        CupsPrinter printer(queue);
        const PaperChoices c = paperChoices(&printer);
        const int inForce = int(c.codes.indexOf(QString::number(printer.paperSize().value_or(0))));
        QVERIFY(inForce >= 0);
        QCOMPARE(c.rows[inForce], row + QLatin1Char('\t') + c.codes[inForce]);
        const QSizeF paper = printer.pageGeometry().paperMm;
        QVERIFY2(qAbs(paper.width() - paperMm.width()) < 0.01 && qAbs(paper.height() - paperMm.height()) < 0.01,
                 qPrintable(QStringLiteral("%1 x %2 mm").arg(paper.width()).arg(paper.height())));
        QVERIFY(printer.jobOptions().contains({QStringLiteral("PageSize"), pageSize}));

        // Not a size CUPS reads: one of the sizes the driver lists is in force.
        home.writeFile(home.root() + QStringLiteral("/.cups/lpoptions"), "Dest " + queue.toUtf8() + " PageSize=Custom.40x\n");
        CupsPrinter unread(queue);
        const auto options = unread.jobOptions();
        QVERIFY(unread.paperSize().value_or(0) > 0 && unread.paperSize() != 256);
        QVERIFY(std::none_of(options.begin(), options.end(), [](const auto &o) { return o.second.contains(QLatin1String("ustom")); }));
    }

    // A driverless printer's own description: its roll (a width and any
    // length), its die-cut stock and its custom sizes, each with the
    // margins it gives, the bottom one included.
    void driverlessPrinterDescribesItsRollAndMargins()
    {
        const QString uri = qEnvironmentVariable("ZENLABO_TEST_EVE_ROLL_URI");
        if (uri.isEmpty())
            QSKIP("the driverless roll printer is not up: run scripts/test, which starts it.");
        const QUrl url(uri);
        http_t *http = httpConnect2(url.host().toUtf8().constData(), url.port(), nullptr, AF_UNSPEC,
                                    HTTP_ENCRYPTION_NEVER, 1, 5000, nullptr);
        QVERIFY(http);
        auto closeHttp = qScopeGuard([http] { httpClose(http); });
        ipp_t *request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.toUtf8().constData());
        const char *asked[] = {"all", "media-col-database"};
        ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 2, nullptr, asked);
        ipp_t *response = cupsDoRequest(http, request, url.path().toUtf8().constData());
        QVERIFY(response);
        auto freeResponse = qScopeGuard([response] { ippDelete(response); });

        CupsPrinter::QueueFacts f;
        QString defaultName;
        QVERIFY(readMediaColDatabase(ippFindAttribute(response, "media-col-database", IPP_TAG_BEGIN_COLLECTION),
                                     ippFindAttribute(response, "media-col-default", IPP_TAG_BEGIN_COLLECTION), f,
                                     defaultName));
        // In hundredths of a millimetre, as the printer says them.
        const auto pt = [](int hundredthsMm) { return zl::Length::hundredthsMm(hundredthsMm).pt(); };
        const QMarginsF rollMargins(pt(152), pt(296), pt(152), pt(296));
        QCOMPARE(f.sizes.size(), 2);
        const CupsPrinter::QueueSize &roll = f.sizes[0], &dieCut = f.sizes[1];
        QVERIFY(roll.roll && !dieCut.roll && f.customSizes);
        QCOMPARE(defaultName, roll.name);
        QCOMPARE(roll.printablePoints, QRectF(0, 0, pt(6200), pt(1270)).marginsRemoved(rollMargins));
        const QMarginsF dieCutMargins(pt(150), pt(150), pt(150), pt(150));
        QCOMPARE(dieCut.printablePoints, QRectF(0, 0, pt(6200), pt(2900)).marginsRemoved(dieCutMargins));
        QCOMPARE(f.customMax, QSizeF(pt(6200), pt(100000)));
        QCOMPARE(f.customMargins, rollMargins);
    }
};

ZL_TEST(CupsPapersTest)
#include "CupsPapersTest.moc"
