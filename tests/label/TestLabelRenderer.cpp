#include "LabelSupport.h"
#include "common/TestRegistry.h"

#include "common/Failure.h"
#include "layout/Titles.h"
#include "label/RecordingCanvas.h"

#include <QTest>

using namespace zl::label;

namespace {

const QString kSquare(QChar(0x25A0));

QStringList printed(const RecordingCanvas &c)
{
    QStringList texts;
    for (const CanvasCall &call : c.calls(QStringLiteral("print")))
        texts << call.text;
    return texts;
}

QStringList ops(const RecordingCanvas &c)
{
    QStringList names;
    for (const CanvasCall &call : c.calls())
        names << call.op;
    return names;
}

} // namespace

class TestLabelRenderer : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale::c());
        zl::layout::setLiveTitlesSource([] { return zl::layout::Titles{QStringLiteral("見出し"), QStringLiteral("特価品")}; });
    }
    void cleanupTestCase() { zl::layout::setLiveTitlesSource({}); }

    // The record 123456789012 / A / B / 1200 with no adjustments: every
    // position, size and style of the label, in drawing order.
    void exampleLabel()
    {
        RecordingCanvas canvas;
        zltest::ProgressDouble progress;
        LabelFields f = zltest::labelFor({QStringLiteral("123456789012"), QStringLiteral("A"), QStringLiteral("B"),
                                          QStringLiteral("1200")});
        const RendererState st = printLabel(canvas, f, zl::layout::currentTitles(), progress.steps());
        QCOMPARE(st.lineHeight, 4);
        QCOMPARE(st.rightLimit, 40);
        QCOMPARE(st.linesPerPage, 7);
        QCOMPARE(st.pageNumber, 1);

        const QList<CanvasCall> prints = canvas.calls(QStringLiteral("print"));
        QCOMPARE(prints.size(), 6);
        struct Expect {
            QString text;
            double x, y, size;
            bool bold, italic;
        };
        const QList<Expect> expected{
            {QStringLiteral("見出し"), 9, 0.2, 8, true, true},
            {QStringLiteral("A"), 3, 4, 7, true, false},
            {QStringLiteral("B"), 3, 6.5, 8, false, false},
            {QStringLiteral("￥1,200"), 13, 9.7, 11, true, true},
            {QStringLiteral("特価品"), 1, 11, 6.5, true, true},
            {QStringLiteral("1  234567  890128"), 4, 21, 8, true, false}, // the check digit the bars carry
        };
        for (int i = 0; i < expected.size(); ++i) {
            const CanvasCall &p = prints.at(i);
            const Expect &e = expected.at(i);
            QCOMPARE(p.text, e.text);
            QCOMPARE(p.x, e.x);
            QCOMPARE(p.y, e.y);
            QCOMPARE(p.fontSize, e.size);
            QCOMPARE(p.bold, e.bold);
            QCOMPARE(p.italic, e.italic);
            QCOMPARE(p.fontName, QStringLiteral("IPAPGothic"));
        }
        const QList<CanvasCall> lines = canvas.calls(QStringLiteral("line"));
        QCOMPARE(lines.size(), 1);
        QCOMPARE(QLineF(lines[0].x, lines[0].y, lines[0].x2, lines[0].y2), QLineF(0, 4, 60, 4));
        QCOMPARE(lines[0].lineWidth, 3);
        const QList<CanvasCall> pictures = canvas.calls(QStringLiteral("picture"));
        QCOMPARE(pictures.size(), 1);
        QCOMPARE(pictures[0].text, QStringLiteral("1234567890128"));
        QCOMPARE(QRectF(pictures[0].x, pictures[0].y, pictures[0].width, 0), QRectF(1, 14, 32, 0));
        // The picture comes between the second title and the digits, and the
        // window saw an empty bar fill at once.
        const QStringList order = ops(canvas);
        const QList<CanvasCall> &all = canvas.calls();
        auto indexOfText = [&](const QString &text) {
            for (int i = 0; i < all.size(); ++i)
                if (all[i].op == QStringLiteral("print") && all[i].text == text)
                    return i;
            return -1;
        };
        const int picture = int(order.indexOf(QStringLiteral("picture")));
        QVERIFY(picture > indexOfText(QStringLiteral("特価品")));
        QVERIFY(picture < indexOfText(QStringLiteral("1  234567  890128")));
        // The body ends the document; the renderer's own end finds nothing left.
        QCOMPARE(order.mid(order.indexOf(QStringLiteral("end"))), (QStringList{QStringLiteral("end"), QStringLiteral("end")}));
        QCOMPARE(progress.texts, QStringList{kSquare.repeated(25)});
    }

    void adjustmentsMoveAndGrowEverything()
    {
        RecordingCanvas plain, moved;
        const QStringList record{QStringLiteral("123456789012"), QStringLiteral("A"), QStringLiteral("B"),
                                 QStringLiteral("1200")};
        LabelFields f0 = zltest::labelFor(record);
        LabelFields f1 = zltest::labelFor(record, QStringLiteral("2"), QStringLiteral("-1"), QStringLiteral("1"));
        printLabel(plain, f0, zl::layout::currentTitles());
        printLabel(moved, f1, zl::layout::currentTitles());
        for (const QString &op : {QStringLiteral("print"), QStringLiteral("picture"), QStringLiteral("line")}) {
            const QList<CanvasCall> a = plain.calls(op), b = moved.calls(op);
            QCOMPARE(a.size(), b.size());
            for (int i = 0; i < a.size(); ++i) {
                QCOMPARE(b[i].x, a[i].x + 2);
                QCOMPARE(b[i].y, a[i].y - 1);
                if (op == QStringLiteral("print"))
                    QCOMPARE(b[i].fontSize, a[i].fontSize + 1);
                if (op == QStringLiteral("line"))
                    QCOMPARE(QPointF(b[i].x2, b[i].y2), QPointF(a[i].x2 + 2, a[i].y2 - 1));
            }
        }
        // Fractions are fine too.
        RecordingCanvas half;
        LabelFields f2 = zltest::labelFor(record, QStringLiteral("1.5"), QStringLiteral("0"), QStringLiteral("-0.5"));
        printLabel(half, f2, zl::layout::currentTitles());
        QCOMPARE(half.calls(QStringLiteral("print")).at(1).x, 4.5);
        QCOMPARE(half.calls(QStringLiteral("print")).at(1).fontSize, 6.5);
    }

    // Grouped as a JAN's only when they are the digits of the bars above;
    // a value that made no barcode prints as it stands.
    void digitsText_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("12 digits, with their check digit") << QStringLiteral("123456789012") << QStringLiteral("1  234567  890128");
        QTest::newRow("13 digits") << QStringLiteral("4901234567894") << QStringLiteral("4  901234  567894");
        QTest::newRow("JAN-8") << QStringLiteral("4901234") << QStringLiteral("4901  2347");
        QTest::newRow("wrong check digit") << QStringLiteral("4912345000072") << QStringLiteral("4912345000072");
        QTest::newRow("two") << QStringLiteral("12") << QStringLiteral("12");
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("past the 13th") << QStringLiteral("123456789012345") << QStringLiteral("123456789012345");
    }
    void digitsText()
    {
        QFETCH(QString, value);
        QFETCH(QString, text);
        LabelFields fields;
        fields.setRecord({value, QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("1")});
        QCOMPARE(labelDigitsText(fields), text);
    }

    void currency()
    {
        QCOMPARE(currencyText(QStringLiteral("1200"), QLocale::c()), QStringLiteral("￥1,200"));
        QCOMPARE(currencyText(QStringLiteral(" 98 "), QLocale::c()), QStringLiteral("￥98"));
        QCOMPARE(currencyText(QStringLiteral("1200"), QLocale(QLocale::English, QLocale::UnitedStates)),
                 QStringLiteral("$1,200.00"));
        QVERIFY_THROWS_EXCEPTION(zl::Failure, currencyText(QStringLiteral("千円"), QLocale::c()));
        QVERIFY_THROWS_EXCEPTION(zl::Failure, currencyText(QString(), QLocale::c()));
    }

    // AB CR LF CDEF: AB on its own line first (12 squares), then CDEF fits
    // and the label is drawn (25). AB CR LF CD: the remainder is shorter than
    // the break position, so the label is drawn at once and CD is not printed.
    void lineBreaks()
    {
        RecordingCanvas c1;
        zltest::ProgressDouble p1;
        LabelFields f1 = zltest::labelFor({QStringLiteral("AB\r\nCDEF"), QStringLiteral("x"), QStringLiteral("y"),
                                           QStringLiteral("1")}, QStringLiteral("1"), QStringLiteral("0"),
                                          QStringLiteral("2"));
        printLabel(c1, f1, zl::layout::currentTitles(), p1.steps());
        const QList<CanvasCall> ab = c1.calls(QStringLiteral("print"));
        QCOMPARE(ab.at(1).text, QStringLiteral("AB"));
        QCOMPARE(ab.at(1).x, 11.0);
        QCOMPARE(ab.at(1).y, 4.0);
        QCOMPARE(ab.at(1).fontSize, 10.0);
        QVERIFY(!printed(c1).contains(QStringLiteral("CDEF")));
        QCOMPARE(printed(c1).size(), 7);
        QCOMPARE(p1.texts, (QStringList{kSquare.repeated(12), kSquare.repeated(25)}));

        RecordingCanvas c2;
        zltest::ProgressDouble p2;
        LabelFields f2 = zltest::labelFor({QStringLiteral("AB\r\nCD"), QStringLiteral("x"), QStringLiteral("y"),
                                           QStringLiteral("1")});
        printLabel(c2, f2, zl::layout::currentTitles(), p2.steps());
        QCOMPARE(printed(c2).at(1), QStringLiteral("AB"));
        QVERIFY(!printed(c2).contains(QStringLiteral("CD")));
        QCOMPARE(printed(c2).size(), 7);
        QCOMPARE(p2.texts, QStringList{kSquare.repeated(25)});
    }

    void emptyValuePrintsTheHeaderOnly()
    {
        RecordingCanvas c;
        zltest::ProgressDouble p;
        LabelFields f = zltest::labelFor({QString(), QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("1")});
        printLabel(c, f, zl::layout::currentTitles(), p.steps());
        QCOMPARE(printed(c), QStringList{QStringLiteral("見出し")});
        QCOMPARE(c.calls(QStringLiteral("line")).size(), 1);
        QCOMPARE(c.calls(QStringLiteral("picture")).size(), 0);
        QCOMPARE(ops(c).last(), QStringLiteral("end"));
        QVERIFY(p.texts.isEmpty());
    }

    // Lines that run below (lines per page − 4) × line height start a new
    // page at 4 line heights from the top; the header is not repeated.
    void longValueStartsNewPages()
    {
        RecordingCanvas c;
        QStringList lines;
        for (int i = 1; i <= 8; ++i)
            lines << QStringLiteral("L%1").arg(i);
        LabelFields f = zltest::labelFor({lines.join(QStringLiteral("\r\n")), QStringLiteral("A"), QStringLiteral("B"),
                                          QStringLiteral("1")});
        const RendererState st = printLabel(c, f, zl::layout::currentTitles());
        QVERIFY(st.pageNumber >= 2);
        const QList<CanvasCall> &calls = c.calls();
        int pages = 0;
        for (int i = 0; i < calls.size(); ++i) {
            if (calls[i].op == QStringLiteral("newPage")) {
                ++pages;
                // The next line printed starts at 16 mm.
                for (int j = i + 1; j < calls.size(); ++j)
                    if (calls[j].op == QStringLiteral("print")) {
                        QCOMPARE(calls[j].y, 16.0);
                        break;
                    }
            }
            if (calls[i].op == QStringLiteral("print") && calls[i].text.size() == 2 && calls[i].text.startsWith(u'L'))
                QVERIFY2(calls[i].y <= 12 + 4 || calls[i].y == 16.0, qPrintable(calls[i].text));
        }
        QCOMPARE(pages, st.pageNumber - 1);
        QCOMPARE(printed(c).count(QStringLiteral("見出し")), 1);
        QCOMPARE(printed(c).mid(1, 7), lines.mid(0, 7));
    }

    // A value wider than the label is dropped where it does not fit, never
    // printed over the texts; the label is drawn once the rest fits. A label
    // too narrow for even one character still comes to an end.
    void widthOverflow()
    {
        RecordingCanvas c;
        const QString value(40, u'8');
        LabelFields f = zltest::labelFor({value, QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("1")});
        printLabel(c, f, zl::layout::currentTitles());
        // The title, the label's five texts and nothing else.
        const QStringList texts = printed(c);
        QCOMPARE(texts.size(), 6);
        QCOMPARE(texts.at(1), QStringLiteral("A"));
        QCOMPARE(c.calls(QStringLiteral("picture")).size(), 0); // 40 digits make no barcode
        QCOMPARE(ops(c).last(), QStringLiteral("end"));

        RecordingCanvas narrow(QSizeF(15, 30));
        LabelFields g = zltest::labelFor({QStringLiteral("WWW"), QStringLiteral("A"), QStringLiteral("B"),
                                          QStringLiteral("1")});
        printLabel(narrow, g, zl::layout::currentTitles());
        QCOMPARE(printed(narrow).size(), 6);
        QCOMPARE(ops(narrow).last(), QStringLiteral("end"));
    }

    // A click on cancel during the pass: the document is aborted, nothing of
    // it reaches the printer.
    void cancelDiscardsTheLabel()
    {
        QList<QList<QPicture>> documents;
        zltest::KeepingPrinter printer(&documents);
        PictureCanvas canvas(printer.pageGeometry(), [&](const QList<QPicture> &pages) { printer.printDocument(pages); });
        LabelFields f = zltest::labelFor({QStringLiteral("AB\r\nCDEF"), QStringLiteral("A"), QStringLiteral("B"),
                                          QStringLiteral("1")});
        zltest::ProgressDouble progress;
        int steps = 0;
        progress.onStep = [&] {
            if (++steps == 2)
                progress.cancelled = true;
        };
        printLabel(canvas, f, zl::layout::currentTitles(), progress.steps());
        QVERIFY(canvas.aborted());
        QCOMPARE(documents.size(), 0);
        QCOMPARE(progress.texts, QStringList{kSquare.repeated(12)});

        RecordingCanvas recorded;
        LabelFields g = zltest::labelFor({QStringLiteral("123456789012"), QStringLiteral("A"), QStringLiteral("B"),
                                          QStringLiteral("1")});
        zltest::ProgressDouble p2;
        p2.cancelled = true; // clicked before the label began
        printLabel(recorded, g, zl::layout::currentTitles(), p2.steps());
        QCOMPARE(recorded.calls(QStringLiteral("picture")).size(), 0);
        QCOMPARE(printed(recorded), QStringList{QStringLiteral("見出し")});
        QVERIFY(ops(recorded).contains(QStringLiteral("abort")));
    }

    void badNumbersReachTheCaller_data()
    {
        QTest::addColumn<QString>("x");
        QTest::addColumn<QString>("s");
        QTest::addColumn<QString>("price");
        QTest::addColumn<QString>("reasonPart");
        QTest::newRow("X") << QStringLiteral("2mm") << QStringLiteral("0") << QStringLiteral("1") << QStringLiteral("横　位置調整");
        QTest::newRow("S") << QStringLiteral("0") << QString() << QStringLiteral("1") << QStringLiteral("フォントサイズ");
        QTest::newRow("price") << QStringLiteral("0") << QStringLiteral("0") << QStringLiteral("abc") << QStringLiteral("価格");
    }
    void badNumbersReachTheCaller()
    {
        QFETCH(QString, x);
        QFETCH(QString, s);
        QFETCH(QString, price);
        QFETCH(QString, reasonPart);
        QList<QList<QPicture>> documents;
        PictureCanvas canvas({QSizeF(50, 30), QRectF(0, 0, 50, 30), 300},
                             [&](const QList<QPicture> &pages) { documents.append(pages); });
        zltest::ProgressDouble progress;
        LabelFields f = zltest::labelFor({QStringLiteral("123456789012"), QStringLiteral("A"), QStringLiteral("B"), price},
                                         x, QStringLiteral("0"), s);
        try {
            printLabel(canvas, f, zl::layout::currentTitles(), progress.steps());
            QFAIL("the label printed");
        } catch (const zl::Failure &e) {
            QVERIFY2(e.description().contains(reasonPart), qPrintable(e.description()));
        }
        QCOMPARE(documents.size(), 0);
    }
};

ZL_TEST(TestLabelRenderer)
#include "TestLabelRenderer.moc"
