// Label sheets without a window: the sheets' geometry, the stored choice,
// and the sheet printer gathering labels onto the pages it hands a
// scripted printer, read back by rendering those pages.
#include "common/FakePrinter.h"
#include "common/TestEnv.h"
#include "common/TestRegistry.h"

#include "common/Failure.h"
#include "printer/PagePlayback.h"
#include "printer/SheetPrinter.h"

#include <QImage>
#include <QPainter>
#include <QTest>

using namespace zl::printer;

namespace {

// A4 whose printable area starts `insetMm` in from the corner, as office
// printers' drivers report it.
class InsetA4Printer : public zltest::FakePrinter {
public:
    explicit InsetA4Printer(double insetMm) : FakePrinter(QStringLiteral("Office")), m_inset(insetMm)
    {
        accept(9, 11906, 16838);
        setPaperSize(9);
    }
    PageGeometry pageGeometry() const override
    {
        PageGeometry g = FakePrinter::pageGeometry();
        g.printableMm = QRectF(QPointF(m_inset, m_inset), g.paperMm - QSizeF(2 * m_inset, 2 * m_inset));
        return g;
    }

private:
    double m_inset;
};

// One label page: ink over the whole label and as far again to the right
// and below, which must stay inside the label's own position.
QPicture labelPage(QSizeF labelMm)
{
    QPicture page;
    QPainter p(&page);
    p.fillRect(QRectF(QPointF(0, 0), labelMm * 2), Qt::black);
    return page;
}

// The positions with ink on a sheet page the printer was handed, read at
// 1 dot a millimetre from the printable area's corner.
QList<int> inkedPositions(const QPicture &sheetPage, const SheetTemplate &sheet, QPointF printableCorner)
{
    QImage image(210, 297, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    playPage(p, sheetPage, printableCorner, 1.0);
    p.end();
    QList<int> inked;
    for (int n = 1; n <= sheet.positions(); ++n) {
        const QPointF centre = sheet.positionRect(n).center();
        if (qGray(image.pixel(int(centre.x()), int(centre.y()))) < 128)
            inked << n;
    }
    return inked;
}

QList<int> range(int from, int to)
{
    QList<int> r;
    for (int n = from; n <= to; ++n)
        r << n;
    return r;
}

} // namespace

Q_DECLARE_METATYPE(QList<QList<int>>)

class SheetPrinterTest : public QObject {
    Q_OBJECT
private slots:
    void init() { m_home = std::make_unique<zltest::TempHome>(); }
    void cleanup() { m_home.reset(); }

    // Every sheet fits its paper and its labels do not overlap.
    void sheetsLieOnTheirPaper()
    {
        for (const SheetTemplate &s : sheetTemplates()) {
            const QRectF paper(QPointF(0, 0), s.paperMm);
            QVERIFY2(paper.contains(s.positionRect(1)) && paper.contains(s.positionRect(s.positions())), qPrintable(s.id));
            QVERIFY2(s.pitchXMm >= s.labelMm.width() && s.pitchYMm >= s.labelMm.height(), qPrintable(s.id));
            QVERIFY2(s.name.contains(QRegularExpression(QStringLiteral("[A-Z]{2,}\\d+"))), qPrintable(s.name));
            QCOMPARE(findSheet(s.id.toLower()), &s);
            QCOMPARE(s.positionAt(s.positionRect(s.positions()).center()), s.positions());
        }
        QCOMPARE(findSheet(QStringLiteral("A4-12"))->positions(), 12);
        QCOMPARE(findSheet(QStringLiteral("A4-24"))->positions(), 24);
        QCOMPARE(findSheet(QStringLiteral("A4-44"))->positions(), 44);
        // Position 6 of 4 x 11 is the second row's second label.
        const SheetTemplate &a44 = *findSheet(QStringLiteral("A4-44"));
        QCOMPARE(a44.positionRect(6).topLeft(), QPointF(8.4 + 48.3, 8.8 + 25.4));
        QCOMPARE(a44.positionAt(QPointF(1, 1)), 0);
    }

    void labelsGoToTheNextFreePositions_data()
    {
        QTest::addColumn<QString>("sheet");
        QTest::addColumn<int>("start");
        QTest::addColumn<QList<int>>("pagesPerLabel");
        QTest::addColumn<double>("inset");
        QTest::addColumn<QList<QList<int>>>("sheetsSent"); // inked positions of each sheet handed over
        QTest::addColumn<int>("next");

        auto labels = [](int n) { return QList<int>(n, 1); };
        QTest::newRow("30 on A4-12 from 5") << "A4-12" << 5 << labels(30) << 0.0
                                            << QList<QList<int>>{range(5, 12), range(1, 12), range(1, 10)} << 11;
        QTest::newRow("the last position, then a new sheet") << "A4-44" << 44 << labels(1) << 0.0
                                                             << QList<QList<int>>{{44}} << 1;
        QTest::newRow("no label (the first was cancelled): nothing sent") << "A4-12" << 3 << labels(0) << 0.0
                                                                          << QList<QList<int>>{} << 3;
        QTest::newRow("a two-page label takes two positions") << "A4-24" << 1 << QList<int>{2, 1} << 0.0
                                                              << QList<QList<int>>{{1, 2, 3}} << 4;
        QTest::newRow("printable area 4 mm in from the corner") << "A4-24" << 23 << labels(3) << 4.0
                                                                << QList<QList<int>>{{23, 24}, {1}} << 2;
    }

    void labelsGoToTheNextFreePositions()
    {
        QFETCH(QString, sheet);
        QFETCH(int, start);
        QFETCH(QList<int>, pagesPerLabel);
        QFETCH(double, inset);
        QFETCH(QList<QList<int>>, sheetsSent);
        QFETCH(int, next);

        const SheetTemplate &t = *findSheet(sheet);
        InsetA4Printer target(inset);
        SheetPrinter printer(target, t, start);
        printer.beginRun();
        for (int pages : pagesPerLabel) {
            // Each label is drawn on the position it will take.
            QCOMPARE(printer.pageGeometry().printableMm, t.positionRect(printer.nextPosition()));
            printer.printDocument(QList<QPicture>(pages, labelPage(t.labelMm)));
        }
        printer.finishDocuments();
        printer.endRun(true);
        QCOMPARE(printer.nextPosition(), next);
        QCOMPARE(target.documents.size(), sheetsSent.size());
        for (int i = 0; i < sheetsSent.size(); ++i) {
            QCOMPARE(target.documents[i].size(), 1);
            QCOMPARE(inkedPositions(target.documents[i].first(), t, QPointF(inset, inset)), sheetsSent[i]);
        }
    }

    void theStoredChoice_data()
    {
        QTest::addColumn<QByteArray>("table"); // the bytes of vokiconfig6.txt; null: no file
        QTest::addColumn<QString>("sheet");
        QTest::addColumn<int>("start");
        QTest::addColumn<QString>("failure"); // part of the message, when it cannot be used

        auto table = [](const char *data) { return QByteArray("\"SHEET\",\"START\"\r\n") + data + "\r\n"; };
        QTest::newRow("no table") << QByteArray() << QString() << 1 << QString();
        QTest::newRow("no sheet") << table("\"\",\"1\"") << QString() << 1 << QString();
        QTest::newRow("A4-44 from 7") << table("\"A4-44\",\"7\"") << "A4-44" << 7 << QString();
        QTest::newRow("letter case and spaces") << table("\" a4-24 \",\" 24 \"") << "A4-24" << 24 << QString();
        QTest::newRow("a sheet it does not know") << table("\"A4-99\",\"1\"") << QString() << 0 << "A4-99";
        QTest::newRow("a position off the sheet") << table("\"A4-12\",\"13\"") << QString() << 0 << "1 から 12";
        QTest::newRow("a position that is no number") << table("\"A4-12\",\"x\"") << QString() << 0 << "「x」";
        QTest::newRow("a column missing") << QByteArray("\"SHEET\"\r\n\"A4-12\"\r\n") << QString() << 0 << "START";
    }

    void theStoredChoice()
    {
        QFETCH(QByteArray, table);
        QFETCH(QString, sheet);
        QFETCH(int, start);
        QFETCH(QString, failure);
        m_home->installDefaults();
        if (!table.isNull())
            m_home->writeFile(kSheetTable, table);
        try {
            const SheetChoice c = readSheetChoice();
            QVERIFY2(failure.isEmpty(), "a choice that cannot be used was read");
            QCOMPARE(c.sheetId, sheet);
            QCOMPARE(c.start, start);
        } catch (const zl::Failure &f) {
            QVERIFY2(!failure.isEmpty() && f.description().contains(failure), qPrintable(f.description()));
            QVERIFY2(f.description().contains(kSheetTable), qPrintable(f.description()));
        }
    }

    // Choosing on the printer and paper screen: another sheet starts at 1,
    // the same sheet keeps its position, and never choosing writes nothing.
    void choosingASheet()
    {
        m_home->installDefaults();
        chooseSheet(QString());
        QVERIFY(!QFile::exists(m_home->settingsFolder() + kSheetTable));
        chooseSheet(QStringLiteral("a4-44"));
        QCOMPARE(m_home->readFile(kSheetTable), QByteArray("\"SHEET\",\"START\"\r\n\"A4-44\",\"1\"\r\n"));
        saveSheetChoice({QStringLiteral("A4-44"), 17});
        chooseSheet(QStringLiteral("A4-44"));
        QCOMPARE(readSheetChoice().start, 17);
        chooseSheet(QStringLiteral("A4-12"));
        QCOMPARE(readSheetChoice().start, 1);
        chooseSheet(QString());
        QCOMPARE(readSheetChoice().sheetId, QString());
    }

    void aPrinterWithoutA4IsRefusedBeforeAnything()
    {
        m_home->installDefaults();
        saveSheetChoice({QStringLiteral("A4-12"), 1});
        zltest::FakePrinter label(QStringLiteral("Labels"));
        label.accept(256, 2835, 1701);
        label.setPaperSize(256);
        try {
            SheetRun::start(label);
            QFAIL("a label printer took an A4 sheet");
        } catch (const zl::Failure &f) {
            QVERIFY2(f.description().contains(QStringLiteral("「Labels」はA4用紙に印刷できない")), qPrintable(f.description()));
        }
        QCOMPARE(currentPrinter(), nullptr);
        QCOMPARE(label.paperSize(), std::optional<int>(256));
    }

private:
    std::unique_ptr<zltest::TempHome> m_home;
};

ZL_TEST(SheetPrinterTest)
#include "SheetPrinterTest.moc"
