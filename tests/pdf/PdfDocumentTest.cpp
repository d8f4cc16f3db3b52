// The labels' PDF as poppler reads it: what each kind of drawing becomes in
// the page's content, the text it gives back, and where its ink lands.
#include "common/PdfPages.h"
#include "common/TestRegistry.h"

#include "label/Barcode.h"
#include "pdfwriter/FontSubset.h"
#include "printer/PagePlayback.h"
#include "pdfwriter/PdfDocument.h"

#include <QBuffer>
#include <QFile>
#include <QPainter>
#include <QPageSize>
#include <QPainterPath>
#include <QGlyphRun>
#include <QPdfWriter>
#include <QRawFont>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTextLayout>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <functional>

using namespace zl::printer;
using namespace zl::pdfwriter;

Q_DECLARE_METATYPE(zl::printer::PlacedPage)

namespace {

constexpr int kDpi = 300;
const QSizeF kLabelPt(141.73, 85.04); // 50 x 30 mm

QFont labelFont(bool bold, bool italic)
{
    QFont f(QStringLiteral("IPAPGothic"));
    f.setPixelSize(3);
    f.setBold(bold);
    f.setItalic(italic);
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

// A page recorded in millimetres, as the labels are.
QPicture recorded(const std::function<void(QPainter &)> &draw)
{
    QPicture page;
    QPainter p(&page);
    draw(p);
    p.end();
    return page;
}

void text(QPainter &p, const QFont &font, const QString &s)
{
    p.setFont(font);
    p.drawText(QPointF(2, 6), s);
}

// A character the label font lacks, which Qt takes from another font.
QString lackedCharacter()
{
    const QRawFont face = QRawFont::fromFont(labelFont(false, false));
    for (char32_t c : {U'\U0001F600', U'\u2603', U'\u16A0', U'\u0F00'})
        if (!face.supportsCharacter(c))
            return QString::fromUcs4(&c, 1);
    return {};
}

// What a row of the text table needs of its face to prove anything: checked,
// so that a changed font package cannot leave a row proving nothing.
enum class Face { Any, Kerns, Ligatures, Composite, Cff };

// A glyph of the TrueType face made of other glyphs.
bool composite(const QRawFont &face, quint32 glyph)
{
    const QByteArray head = face.fontTable("head"), loca = face.fontTable("loca"), glyf = face.fontTable("glyf");
    const bool longLoca = head.size() >= 54 && qFromBigEndian<qint16>(head.constData() + 50) == 1;
    const qsizetype entry = qsizetype(glyph) * (longLoca ? 4 : 2);
    if (entry + 4 > loca.size())
        return false;
    const qsizetype at = longLoca ? qsizetype(qFromBigEndian<quint32>(loca.constData() + entry))
                                  : qsizetype(qFromBigEndian<quint16>(loca.constData() + entry)) * 2;
    return at + 2 <= glyf.size() && qFromBigEndian<qint16>(glyf.constData() + at) < 0;
}

bool faceIs(const QFont &font, const QString &text, Face face)
{
    const QRawFont raw = QRawFont::fromFont(font);
    if (raw.familyName() != font.family())
        return false; // another face stood in for it
    const QList<quint32> plain = raw.glyphIndexesForString(text.normalized(QString::NormalizationForm_C));
    QTextLayout layout(text, font);
    layout.beginLayout();
    const double width = layout.createLine().naturalTextWidth();
    layout.endLayout();
    qsizetype shaped = 0;
    for (const QGlyphRun &run : layout.glyphRuns())
        shaped += run.glyphIndexes().size();
    double unkerned = 0;
    for (const QPointF &advance : raw.advancesForGlyphIndexes(plain))
        unkerned += advance.x();
    switch (face) {
    case Face::Kerns:
        return shaped == plain.size() && std::abs(width - unkerned) > 0.01 * raw.pixelSize();
    case Face::Ligatures:
        return shaped < plain.size();
    case Face::Composite:
        return std::any_of(plain.begin(), plain.end(), [&](quint32 g) { return composite(raw, g); });
    case Face::Cff:
        return !raw.fontTable("CFF ").isEmpty() && raw.fontTable("glyf").isEmpty();
    case Face::Any:
        break;
    }
    return true;
}

QByteArray writePdf(const QList<PaperPage> &pages)
{
    QByteArray pdf;
    QBuffer out(&pdf);
    out.open(QIODevice::WriteOnly);
    PdfDocument document(&out, QStringLiteral("test"));
    for (const PaperPage &page : pages) {
        playPlaced(document.beginPage(kLabelPt, kDpi), page, QPointF(0, 0), kDpi / 25.4);
        document.endPage();
    }
    document.finish();
    return pdf;
}

} // namespace

Q_DECLARE_METATYPE(Face)

class PdfDocumentTest : public QObject {
    Q_OBJECT
private slots:
    void drawings_data()
    {
        QTest::addColumn<PaperPage>("page");
        QTest::addColumn<QStringList>("present");  // patterns the content holds
        QTest::addColumn<QStringList>("absent");   // and never holds
        QTest::addColumn<int>("texts");            // text objects
        QTest::addColumn<QString>("readBack");     // what pdftotext finds
        QTest::addColumn<QRectF>("inkMm");         // where all the ink is

        const auto one = [](const std::function<void(QPainter &)> &draw) {
            return PaperPage{PlacedPage{recorded(draw), QRectF()}};
        };
        const zl::label::BarcodePicture code
            = zl::label::makeBarcode(QStringLiteral("JAN-490123400001"), zl::label::BarcodeParameters::forRecords());
        QTest::newRow("barcode: its bars one path of rectangles")
            << one([&](QPainter &p) { code.paintOnDotGrid(p, QPointF(9, 2), 32, kDpi, QPointF(0, 0)); })
            << QStringList{QStringLiteral("(\\d+ [\\d.]+ \\d+ [\\d.]+ re\\n){%1}f\\n").arg(code.bars().size())}
            << QStringList{QStringLiteral(" m\\n"), QStringLiteral(" l\\n")} << 0 << QString()
            << QRectF(9, 2, 32, 7);
        QTest::newRow("bold the face lacks: drawn once, filled and stroked")
            << one([](QPainter &p) { text(p, labelFont(true, false), QStringLiteral("ゼンラボ")); })
            << QStringList{QStringLiteral("2 Tr"), QStringLiteral(" w\\n")} << QStringList() << 1
            << QStringLiteral("ゼンラボ") << QRectF(2, 3, 20, 4);
        QTest::newRow("italic the face lacks: slanted")
            << one([](QPainter &p) { text(p, labelFont(false, true), QStringLiteral("税込価格")); })
            << QStringList{QStringLiteral("[\\d.]+ 0 [1-9][\\d.]* -[\\d.]+ [\\d.]+ [\\d.]+ Tm")}
            << QStringList{QStringLiteral("Tr")} << 1 << QStringLiteral("税込価格") << QRectF(2, 3, 15, 4);
        const QString lacked = lackedCharacter();
        if (!lacked.isEmpty())
            QTest::newRow("a character the face lacks: that one as outlines, its text unseen over them")
                << one([&](QPainter &p) { text(p, labelFont(false, false), QStringLiteral("商品") + lacked); })
                << QStringList{QStringLiteral("c\\n"), QStringLiteral("f\\*?\\n"), QStringLiteral("3 Tr")}
                << QStringList() << 2 << QStringLiteral("商品") + lacked << QRectF(2, 3, 15, 4);
        // Two labels side by side, each reaching past its right edge.
        PaperPage sheet;
        for (int i = 0; i < 2; ++i)
            sheet.append({recorded([](QPainter &p) {
                              p.setPen(QPen(Qt::black, 0.5));
                              p.drawLine(QPointF(0, 1), QPointF(60, 1));
                          }),
                          QRectF(2 + 22 * i, 2, 20, 10)});
        QTest::newRow("labels placed on a sheet: each kept to its place")
            << sheet << QStringList{QStringLiteral("W n\\n")} << QStringList() << 0 << QString() << QRectF(2, 2, 42, 2);
    }

    void drawings()
    {
        QFETCH(PaperPage, page);
        QFETCH(QStringList, present);
        QFETCH(QStringList, absent);
        QFETCH(int, texts);
        QFETCH(QString, readBack);
        QFETCH(QRectF, inkMm);

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("page.pdf"));
        const QByteArray pdf = writePdf({page});
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(pdf) == pdf.size());
        file.close();
        const QList<QByteArray> contents = zltest::pdfPageContents(pdf);
        QCOMPARE(contents.size(), 1);
        const QString content = QString::fromLatin1(contents.front());
        for (const QString &pattern : present)
            QVERIFY2(content.contains(QRegularExpression(pattern)), qPrintable(pattern + QStringLiteral(" in\n") + content));
        for (const QString &pattern : absent)
            QVERIFY2(!content.contains(QRegularExpression(pattern)), qPrintable(pattern + QStringLiteral(" in\n") + content));
        QCOMPARE(content.count(QStringLiteral("BT ")), texts);
        // No graphics state saved only to be restored.
        QVERIFY2(!content.contains(QRegularExpression(QStringLiteral("q\\s+Q"))), qPrintable(content));
        if (!readBack.isEmpty())
            QCOMPARE(zltest::pdfText(path), readBack);

        const QList<QImage> images = zltest::pdfPageImages(path, kDpi);
        QCOMPARE(images.size(), 1);
        const QImage &image = images.front();
        const double dotsPerMm = kDpi / 25.4;
        const QRect allowed = QRectF(inkMm.topLeft() * dotsPerMm, inkMm.size() * dotsPerMm).toAlignedRect();
        int ink = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qGray(image.pixel(x, y)) < 128) {
                    ++ink;
                    QVERIFY2(allowed.contains(x, y), qPrintable(QStringLiteral("ink at %1,%2").arg(x).arg(y)));
                }
        QVERIFY(ink > 0);
    }

    // Text drawn as Qt shapes it, printed as Qt's own PDF writer prints the
    // same label: a name written with combining marks (as macOS and some
    // exports write it) as the same name precomposed, kerning pairs,
    // ligatures, glyphs a face builds of other glyphs, and a face whose
    // outlines cannot be embedded (CFF), drawn as outlines. Every name reads
    // back precomposed, as it is searched for.
    void textAsQtShapesIt_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("family");
        QTest::addColumn<Face>("face"); // what the row needs of the face to prove anything
        QTest::newRow("precomposed") << QStringLiteral("ガラスボトル") << QStringLiteral("IPAPGothic") << Face::Any;
        QTest::newRow("combining marks") << QStringLiteral("カ\u3099ラスホ\u3099トル") << QStringLiteral("IPAPGothic")
                                         << Face::Any;
        QTest::newRow("kerning pairs")
            << QStringLiteral("AVATAR Toyota WAVE") << QStringLiteral("DejaVu Sans") << Face::Kerns;
        QTest::newRow("ligature") << QStringLiteral("office fine") << QStringLiteral("DejaVu Serif") << Face::Ligatures;
        QTest::newRow("composite glyphs")
            << QStringLiteral("Åland café") << QStringLiteral("DejaVu Sans") << Face::Composite;
        QTest::newRow("composite glyphs from combining marks")
            << QStringLiteral("A\u030Aland cafe\u0301") << QStringLiteral("DejaVu Sans") << Face::Composite;
        QTest::newRow("CFF face: outlines")
            << QStringLiteral("AVATAR Toyota café") << QStringLiteral("C059") << Face::Cff;
    }
    void textAsQtShapesIt()
    {
        QFETCH(QString, name);
        QFETCH(QString, family);
        QFETCH(Face, face);
        QFont font(family);
        font.setPixelSize(3);
        font.setHintingPreference(QFont::PreferNoHinting);
        QVERIFY2(faceIs(font, name, face), qPrintable(QRawFont::fromFont(font).familyName()));
        const PaperPage page{PlacedPage{recorded([&](QPainter &p) { text(p, font, name); }), QRectF()}};
        QTemporaryDir dir;
        const QString ours = dir.filePath(QStringLiteral("ours.pdf")), qts = dir.filePath(QStringLiteral("qt.pdf"));
        {
            QFile file(ours);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(writePdf({page}));
        }
        {
            QPdfWriter writer(qts);
            writer.setPageSize(QPageSize(kLabelPt, QPageSize::Point));
            writer.setPageMargins(QMarginsF(0, 0, 0, 0));
            writer.setResolution(kDpi);
            QPainter painter(&writer);
            playPlaced(painter, page, QPointF(0, 0), kDpi / 25.4);
        }
        const QList<QImage> a = zltest::pdfPageImages(ours, kDpi), b = zltest::pdfPageImages(qts, kDpi);
        QVERIFY(a.size() == 1 && b.size() == 1);
        // The two writers may round the page's size to the point differently.
        const QSize common = a[0].size().boundedTo(b[0].size());
        QVERIFY((a[0].size() - common).width() <= 1 && (a[0].size() - common).height() <= 1);
        QVERIFY((b[0].size() - common).width() <= 1 && (b[0].size() - common).height() <= 1);
        // Ink of one with none of the other's within a dot: the two writers
        // may round a text's start differently by a dot, never more.
        auto inked = [&](const QImage &image, int x, int y) {
            return x >= 0 && y >= 0 && x < common.width() && y < common.height() && qGray(image.pixel(x, y)) < 128;
        };
        auto near = [&](const QImage &image, int x, int y) {
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    if (inked(image, x + dx, y + dy))
                        return true;
            return false;
        };
        int ink = 0, differ = 0;
        for (int y = 0; y < common.height(); ++y)
            for (int x = 0; x < common.width(); ++x) {
                ink += inked(b[0], x, y);
                differ += (inked(a[0], x, y) && !near(b[0], x, y)) + (inked(b[0], x, y) && !near(a[0], x, y));
            }
        QVERIFY(ink > 0);
        QVERIFY2(differ <= ink / 100, qPrintable(QStringLiteral("%1 of %2 ink pixels differ").arg(differ).arg(ink)));
        QCOMPARE(zltest::pdfText(ours), name.normalized(QString::NormalizationForm_C));
    }

    // A run's pages share one resource dictionary and one subset of each
    // face, whatever weights and sizes its texts are drawn in.
    void fontsAreSharedAndCutDown()
    {
        QList<PaperPage> pages;
        for (const QString &s : {QStringLiteral("緑茶"), QStringLiteral("ほうじ茶")})
            for (bool bold : {false, true})
                pages.append({PlacedPage{recorded([&](QPainter &p) { text(p, labelFont(bold, false), s); }), QRectF()}});
        const QByteArray pdf = writePdf(pages);
        QCOMPARE(zltest::pdfPageContents(pdf).size(), 4);
        QCOMPARE(pdf.count("/FontFile2"), 1);
        QVERIFY(QRegularExpression(QStringLiteral("/BaseFont/[A-Z]{6}\\+IPAPGothic")).match(QString::fromLatin1(pdf)).hasMatch());
        const QRegularExpression resources(QStringLiteral("/Resources (\\d+) 0 R"));
        QSet<QString> shared;
        for (auto it = resources.globalMatch(QString::fromLatin1(pdf)); it.hasNext();)
            shared.insert(it.next().captured(1));
        QCOMPARE(shared.size(), 1);
        // Five different characters (茶 twice): nothing like the whole face.
        QVERIFY2(pdf.size() < 12000, QByteArray::number(pdf.size()));
    }

    // The embedded font is a face of its own a font engine loads, each of
    // its glyphs the face's glyph it stands for, outline and advance.
    void subsetHoldsTheFacesGlyphs()
    {
        const QRawFont face = QRawFont::fromFont(labelFont(false, false));
        FontSubset subset;
        QVERIFY(subset.load(face));
        const QList<quint32> glyphs = face.glyphIndexesForString(QStringLiteral("緑茶 500ml ￥"));
        QList<quint32> ids;
        for (quint32 g : glyphs)
            ids.append(subset.glyphFor(g));
        QCOMPARE(subset.glyphFor(glyphs.front()), ids.front()); // taken in once
        const QRawFont cut(subset.fontFile(), face.pixelSize());
        QVERIFY(cut.isValid());
        QCOMPARE(subset.glyphCount(), int(QSet<quint32>(glyphs.begin(), glyphs.end()).size()) + 1);
        const QList<QPointF> before = face.advancesForGlyphIndexes(glyphs);
        const QList<QPointF> after = cut.advancesForGlyphIndexes(ids);
        for (qsizetype i = 0; i < glyphs.size(); ++i) {
            QCOMPARE(after[i], before[i]);
            QCOMPARE(cut.pathForGlyph(ids[i]).boundingRect(), face.pathForGlyph(glyphs[i]).boundingRect());
        }
    }
};

ZL_TEST(PdfDocumentTest)
#include "PdfDocumentTest.moc"
