// Label sheets without a window: the stored choice, and the sheet printer
// gathering labels onto the pages it hands a scripted printer, read back by
// rendering those pages.
#include "common/FakePrinter.h"
#include "common/TestEnv.h"
#include "common/TestRegistry.h"

#include "common/Failure.h"
#include "printer/PagePlayback.h"
#include "sheets/SheetPrinter.h"

#include <QImage>
#include <QPainter>
#include <QTest>

using namespace zl::printer;

namespace {

// An office printer on A4.
class OfficePrinter : public zltest::FakePrinter {
public:
    OfficePrinter() : FakePrinter(QStringLiteral("Office"))
    {
        accept(9, 11906, 16838);
        setPaperSize(9);
    }
    // Every sheet but the first came out.
    DocumentsEnd finishDocuments(const DocumentsWait &) override
    {
        DocumentsEnd end;
        end.known = true;
        for (qsizetype i = 0; i < documents.size(); ++i)
            end.fates << (i > 0 ? zl::LabelFate::Out : zl::LabelFate::NotOut);
        return end;
    }
};

} // namespace

Q_DECLARE_METATYPE(QList<QList<int>>)

class SheetPrinterTest : public QObject {
    Q_OBJECT
private slots:
    void init() { m_home = std::make_unique<zltest::TempHome>(); }
    void cleanup() { m_home.reset(); }

    void labelsGoToTheNextFreePositions_data()
    {
        QTest::addColumn<QString>("sheet");
        QTest::addColumn<int>("start");
        QTest::addColumn<QList<int>>("pagesPerLabel");
        QTest::addColumn<QList<QList<int>>>("sheetsSent"); // inked positions of each sheet handed over
        QTest::addColumn<int>("next");
        QTest::addColumn<int>("nextStored"); // after what came out (the first sheet never does); 0: none
        QTest::newRow("no label (the first was cancelled): nothing sent") << "A4-12" << 3 << QList<int>{}
                                                                          << QList<QList<int>>{} << 3 << 0;
        QTest::newRow("a two-page label takes two positions, the next a new sheet")
            << "A4-24" << 23 << QList<int>{2, 1} << QList<QList<int>>{{23, 24}, {1}} << 2 << 2;
        QTest::newRow("the only sheet did not come out: its positions stay free")
            << "A4-12" << 5 << QList<int>{1, 1, 1} << QList<QList<int>>{{5, 6, 7}} << 8 << 0;
    }

    void labelsGoToTheNextFreePositions()
    {
        QFETCH(QString, sheet);
        QFETCH(int, start);
        QFETCH(QList<int>, pagesPerLabel);
        QFETCH(QList<QList<int>>, sheetsSent);
        QFETCH(int, next);
        QFETCH(int, nextStored);
        const SheetTemplate &t = *findSheet(sheet);
        OfficePrinter target;
        SheetPrinter printer(target, t, start);
        printer.beginRun();
        // Each label inks twice its own size, which must stay in its position.
        QPicture label;
        QPainter(&label).fillRect(QRectF(QPointF(0, 0), t.labelMm * 2), Qt::black);
        for (int pages : pagesPerLabel) {
            // The renderer lays each label out (and its bars on the dots) within its position.
            QCOMPARE(printer.pageGeometry().printableMm, t.positionRect(printer.nextPosition()));
            printer.printDocument(QList<QPicture>(pages, label));
        }
        // The sheet's outcome is each of its labels' outcome.
        const DocumentsEnd end = printer.finishDocuments({});
        QCOMPARE(end.fates.size(), pagesPerLabel.size());
        if (!sheetsSent.isEmpty()) {
            QCOMPARE(end.fates.first(), zl::LabelFate::NotOut);
            QCOMPARE(end.fates.last() == zl::LabelFate::Out, sheetsSent.size() > 1);
        }
        printer.endRun(true);
        QCOMPARE(printer.nextPosition(), next);
        QCOMPARE(printer.nextPositionAfterWhatCameOut().value_or(0), nextStored);
        QCOMPARE(target.documents.size(), sheetsSent.size());
        for (int i = 0; i < sheetsSent.size(); ++i) {
            QCOMPARE(target.documents[i].size(), 1);
            QImage image(210, 297, QImage::Format_RGB32); // 1 dot a millimetre
            image.fill(Qt::white);
            QPainter p(&image);
            playPage(p, target.documents[i].first(), QPointF(0, 0), 1.0);
            p.end();
            QList<int> inked;
            for (int n = 1; n <= t.positions(); ++n)
                if (qGray(image.pixel(t.positionRect(n).center().toPoint())) < 128)
                    inked << n;
            QCOMPARE(inked, sheetsSent[i]);
        }
    }

    void theStoredChoice_data()
    {
        QTest::addColumn<QByteArray>("data"); // the data line of vokiconfig6.txt
        QTest::addColumn<QString>("sheet");
        QTest::addColumn<int>("start");
        QTest::addColumn<QString>("failure"); // part of the message, when it cannot be used
        QTest::newRow("no sheet") << QByteArray("\"\",\"1\"") << QString() << 1 << QString();
        QTest::newRow("letter case and spaces") << QByteArray("\" a4-24 \",\" 24 \"") << "A4-24" << 24 << QString();
        QTest::newRow("a sheet it does not know") << QByteArray("\"A4-99\",\"1\"") << QString() << 0 << "A4-99";
        QTest::newRow("a position that is no number") << QByteArray("\"A4-12\",\"x\"") << QString() << 0 << "「x」";
        QTest::newRow("a column missing") << QByteArray("\"A4-12\"\r\n") << QString() << 0 << "START";
    }

    void theStoredChoice()
    {
        QFETCH(QByteArray, data);
        QFETCH(QString, sheet);
        QFETCH(int, start);
        QFETCH(QString, failure);
        m_home->installDefaults();
        if (data.endsWith('\n'))
            m_home->writeFile(kSheetTable, "\"SHEET\"\r\n" + data);
        else
            m_home->writeFile(kSheetTable, "\"SHEET\",\"START\"\r\n" + data + "\r\n");
        try {
            const SheetChoice c = readSheetChoice();
            QVERIFY2(failure.isEmpty(), "a choice that cannot be used was read");
            QCOMPARE(c.sheetId, sheet);
            QCOMPARE(c.start, start);
        } catch (const zl::Failure &f) {
            QVERIFY2(!failure.isEmpty() && f.description().contains(failure) && f.description().contains(kSheetTable),
                     qPrintable(f.description()));
        }
    }

    // The printer and paper screen's save: nothing written while no sheet
    // was ever chosen, the same sheet keeps its position, another starts at
    // 1; the 「原寸で印刷」 choice beside it survives sheet changes and the
    // positions a run moves on, and a table from before it reads as fitted.
    void choosingASheet()
    {
        m_home->installDefaults();
        chooseSheet(QString());
        saveLabelScale(LabelScale::Fit);
        QVERIFY(!QFile::exists(m_home->settingsFolder() + kSheetTable));
        m_home->writeFile(kSheetTable, "\"SHEET\",\"START\"\r\n\"A4-44\",\"17\"\r\n");
        QCOMPARE(readLabelScale(), LabelScale::Fit);
        chooseSheet(QStringLiteral("a4-44"));
        QCOMPARE(readSheetChoice().start, 17);
        chooseSheet(QStringLiteral("A4-12"));
        QCOMPARE(m_home->readFile(kSheetTable),
                 QByteArray("\"SHEET\",\"START\",\"SCALE\",\"PAPER\",\"RECENT\"\r\n\"A4-12\",\"1\",\"FIT\",\"\",\"A4-12\"\r\n"));
        saveLabelScale(LabelScale::ActualSize);
        saveSheetChoice({QStringLiteral("A4-12"), 5});
        chooseSheet(QString());
        QCOMPARE(readLabelScale(), LabelScale::ActualSize);
        QCOMPARE(readSheetChoice().sheetId, QString());
        chooseSheet(QStringLiteral("A4-44"));
        chooseSheet(QStringLiteral("A4-12"));
        QCOMPARE(recentSheets(), (QStringList{QStringLiteral("A4-12"), QStringLiteral("A4-44")}));
    }

    void aPrinterWithoutA4IsRefusedBeforeAnything()
    {
        m_home->installDefaults();
        saveSheetChoice({QStringLiteral("A4-12"), 1});
        zltest::FakePrinter label(QStringLiteral("Labels"));
        label.accept(256, 2835, 1701).setPaperSize(256);
        QVERIFY_THROWS_EXCEPTION(zl::Failure, SheetRun::start(label, readSheetChoice(), true));
        QCOMPARE(label.paperSize(), std::optional<int>(256));
    }

private:
    std::unique_ptr<zltest::TempHome> m_home;
};

ZL_TEST(SheetPrinterTest)
#include "SheetPrinterTest.moc"
