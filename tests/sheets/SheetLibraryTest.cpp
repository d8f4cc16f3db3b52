// The label-sheet library: gLabels' template files read as gLabels reads
// them (units, equivalents, several grids, papers of their own), odd files
// left out with one line each, the installed glabels-data whole, and the
// sheet screen's list searched by typing.
#include "common/TestEnv.h"
#include "common/TestRegistry.h"

#include "sheets/SheetTemplates.h"
#include "sheets/ui/SheetList.h"

#include <QDir>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

using namespace zl::printer;

namespace {

const QString kLibrary = QStringLiteral("/usr/share/libglabels-3.0/templates");

QByteArray templateFile(const QByteArray &templates)
{
    return "<?xml version=\"1.0\"?>\n<Glabels-templates>\n" + templates + "</Glabels-templates>\n";
}

// A 2 x 3 grid of 80 x 40 mm labels on A4, named Shop A-1.
const QByteArray kGood = "<Template brand=\"Shop\" part=\"A-1\" size=\"A4\" _description=\"Good\">\n"
"  <Label-rectangle id=\"0\" width=\"80mm\" height=\"40mm\" round=\"2mm\" x_waste=\"0mm\" y_waste=\"0mm\">\n"
"    <Layout nx=\"2\" ny=\"3\" x0=\"20mm\" y0=\"30mm\" dx=\"90mm\" dy=\"50mm\"/>\n"
"  </Label-rectangle>\n"
"</Template>\n"
"";

void write(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

const SheetTemplate *byId(const QList<SheetTemplate> &sheets, const QString &id)
{
    for (const SheetTemplate &s : sheets)
        if (s.id == id)
            return &s;
    return nullptr;
}

} // namespace

class SheetLibraryTest : public QObject {
    Q_OBJECT
private slots:
    // A user's own file beside a good one: what it is read as, position by
    // position (1-based, row by row, grids in file order), in millimetres.
    void aTemplateIsReadAsGlabelsReadsIt_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QSizeF>("paper");
        QTest::addColumn<int>("paperCode");
        QTest::addColumn<int>("positions"); // 0: left out without a word
        QTest::addColumn<QList<QRectF>>("rects"); // positions 1, 2, … as far as given
        QTest::newRow("inches, centimetres, picas, points and a bare number (points) on US Letter")
            << QByteArray("<Template brand=\"Shop\" part=\"U-1\" size=\"US-Letter\" _description=\"Units\">\n"
"  <Label-rectangle id=\"0\" width=\"2.5in\" height=\"6pc\" round=\"9pt\">\n"
"    <Layout nx=\"3\" ny=\"10\" x0=\"0.5cm\" y0=\"36\" dx=\"2.75in\" dy=\"1in\"/>\n"
"  </Label-rectangle></Template>")
            << QSizeF(215.9, 279.4) << 1 << 30
            << QList<QRectF>{QRectF(5, 12.7, 63.5, 25.4), QRectF(74.85, 12.7, 63.5, 25.4), QRectF(144.7, 12.7, 63.5, 25.4),
                             QRectF(5, 38.1, 63.5, 25.4)};
        QTest::newRow("two grids: the first's positions, then the second's")
            << QByteArray("<Template brand=\"Shop\" part=\"L-2\" size=\"A4\" _description=\"Two grids\">\n"
"  <Label-rectangle id=\"0\" width=\"60mm\" height=\"30mm\">\n"
"    <Layout nx=\"2\" ny=\"1\" x0=\"10mm\" y0=\"10mm\" dx=\"70mm\" dy=\"0mm\"/>\n"
"    <Layout nx=\"1\" ny=\"2\" x0=\"100mm\" y0=\"200mm\" dx=\"0\" dy=\"40mm\"/>\n"
"  </Label-rectangle></Template>")
            << QSizeF(210, 297) << 9 << 4
            << QList<QRectF>{QRectF(10, 10, 60, 30), QRectF(80, 10, 60, 30), QRectF(100, 200, 60, 30), QRectF(100, 240, 60, 30)};
        QTest::newRow("a paper of its own size, given with the template")
            << QByteArray("<Template brand=\"Shop\" part=\"O-1\" size=\"Other\" width=\"100mm\" height=\"150mm\" _description=\"Own\">\n"
"  <Label-rectangle id=\"0\" width=\"90mm\" height=\"45mm\"><Layout nx=\"1\" ny=\"3\" x0=\"5mm\" y0=\"5mm\" dx=\"0\" dy=\"47mm\"/>\n"
"  </Label-rectangle></Template>")
            << QSizeF(100, 150) << 256 << 3 << QList<QRectF>{QRectF(5, 5, 90, 45), QRectF(5, 52, 90, 45)};
        QTest::newRow("an equivalent: the product it names, under its own part")
            << QByteArray("<Template brand=\"SHOP\" part=\"E-1\" equiv=\"a-1\"/>") << QSizeF(210, 297) << 9 << 6
            << QList<QRectF>{QRectF(20, 30, 80, 40), QRectF(110, 30, 80, 40), QRectF(20, 80, 80, 40)};
        QTest::newRow("round labels are left out")
            << QByteArray("<Template brand=\"Shop\" part=\"R-1\" size=\"A4\" _description=\"Round\">\n"
"  <Label-round id=\"0\" radius=\"20mm\"><Layout nx=\"4\" ny=\"6\" x0=\"5mm\" y0=\"5mm\" dx=\"50mm\" dy=\"45mm\"/></Label-round></Template>")
            << QSizeF() << 0 << 0 << QList<QRectF>{};
    }

    void aTemplateIsReadAsGlabelsReadsIt()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QSizeF, paper);
        QFETCH(int, paperCode);
        QFETCH(int, positions);
        QFETCH(QList<QRectF>, rects);
        QTemporaryDir dir;
        write(dir.filePath(QStringLiteral("a-good.template")), templateFile(kGood));
        write(dir.filePath(QStringLiteral("b.template")), templateFile(xml));
        QStringList problems;
        const QList<SheetTemplate> sheets = readSheetLibrary({{}, {dir.path()}}, &problems);
        QCOMPARE(problems, QStringList());
        // The program's own three, the good one, and the one read (if kept).
        QCOMPARE(sheets.size(), 4 + (positions ? 1 : 0));
        QVERIFY(byId(sheets, QStringLiteral("A4-12")) && byId(sheets, QStringLiteral("Shop A-1")));
        if (!positions)
            return;
        const SheetTemplate &s = *std::find_if(sheets.begin(), sheets.end(), [](const SheetTemplate &t) {
            return t.id != QStringLiteral("Shop A-1") && t.maker.compare(QStringLiteral("Shop"), Qt::CaseInsensitive) == 0;
        });
        QCOMPARE(s.paperMm.width(), paper.width());
        QCOMPARE(qRound(s.paperMm.height() * 100), qRound(paper.height() * 100));
        QCOMPARE(s.paperCode, paperCode);
        QCOMPARE(s.positions(), positions);
        for (int n = 1; n <= rects.size(); ++n) {
            const QRectF got = s.positionRect(n);
            QVERIFY2(std::abs(got.x() - rects[n - 1].x()) < 0.01 && std::abs(got.y() - rects[n - 1].y()) < 0.01
                         && std::abs(got.width() - rects[n - 1].width()) < 0.01
                         && std::abs(got.height() - rects[n - 1].height()) < 0.01,
                     qPrintable(QStringLiteral("position %1: %2,%3 %4x%5").arg(n).arg(got.x()).arg(got.y()).arg(got.width()).arg(got.height())));
            QCOMPARE(s.positionAt(got.center()), n);
        }
        QCOMPARE(s.positionRect(positions + 1), QRectF());
    }

    // Each odd file or template costs itself only: one line naming the file
    // and why, the good one beside it still listed.
    void anOddFileIsLeftOutWithOneLine_data()
    {
        QTest::addColumn<QByteArray>("xml"); // empty: the file is a folder, which cannot be read
        QTest::addColumn<QString>("why");
        auto label = [](const char *width) {
            return QByteArray("<Template brand=\"Odd\" part=\"X-1\" size=\"A4\" _description=\"Odd\"><Label-rectangle id=\"0\" width=\"")
                   + width + "\" height=\"30mm\"><Layout nx=\"2\" ny=\"2\" x0=\"0\" y0=\"0\" dx=\"100mm\" dy=\"40mm\"/></Label-rectangle></Template>";
        };
        QTest::newRow("a unit no one knows") << label("50furlongs") << QStringLiteral("単位「furlongs」");
        QTest::newRow("a malformed number") << label("5,0mm") << QStringLiteral("width「5,0mm」が数値ではありません");
        QTest::newRow("no grid") << QByteArray("<Template brand=\"Odd\" part=\"X-1\" size=\"A4\"><Label-rectangle id=\"0\" width=\"50mm\" height=\"30mm\"/></Template>")
                                 << QStringLiteral("Layout");
        QTest::newRow("an equivalent naming nothing") << QByteArray("<Template brand=\"Odd\" part=\"X-1\" equiv=\"Z-9\"/>")
                                                      << QStringLiteral("equiv「Z-9」");
        QTest::newRow("no XML") << QByteArray("<Template brand=\"Odd\" part=\"X-1\"><Label-rectangle") << QStringLiteral("を読めません");
        QTest::newRow("unreadable") << QByteArray() << QStringLiteral("を読めません");
    }

    void anOddFileIsLeftOutWithOneLine()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QString, why);
        QTemporaryDir dir;
        write(dir.filePath(QStringLiteral("good.template")), templateFile(kGood));
        const QString odd = dir.filePath(QStringLiteral("odd.template"));
        if (xml.isEmpty())
            QVERIFY(QDir().mkpath(odd));
        else
            write(odd, templateFile(xml));
        QStringList problems;
        const QList<SheetTemplate> sheets = readSheetLibrary({{}, {dir.path()}}, &problems);
        QCOMPARE(problems.size(), 1);
        QVERIFY2(problems[0].contains(why) && problems[0].contains(QDir::toNativeSeparators(odd)) && !problems[0].contains(QLatin1Char('\n')),
                 qPrintable(problems[0]));
        QVERIFY(byId(sheets, QStringLiteral("Shop A-1")));
        QVERIFY(!byId(sheets, QStringLiteral("Odd X-1")));
    }

    // glabels-data whole: every rectangular product but none read wrong,
    // the program's own three standing for Hisago's same products, found by
    // maker and part in any letter case; without it the three remain.
    void theInstalledLibrary()
    {
        QCOMPARE(readSheetLibrary({}, nullptr).size(), 3);
        if (!QDir(kLibrary).exists())
            QSKIP("glabels-data is not installed (scripts/install-deps installs it)");
        QStringList problems;
        const QList<SheetTemplate> sheets = readSheetLibrary({{kLibrary}, {}}, &problems);
        QCOMPARE(problems, QStringList());
        QVERIFY2(sheets.size() > 1000, qPrintable(QString::number(sheets.size())));
        QSet<QString> ids, makers, papers;
        int equivalents = 0, grids = 0;
        for (const SheetTemplate &s : sheets) {
            QVERIFY2(!ids.contains(s.id.toCaseFolded()), qPrintable(s.id));
            ids << s.id.toCaseFolded();
            makers << s.maker;
            papers << s.paperName;
            equivalents += !s.sameAs.isEmpty();
            grids += s.layouts.size() > 1;
            QVERIFY2(s.positions() > 0 && s.labelMm.width() > 0 && s.labelMm.height() > 0, qPrintable(s.id));
        }
        QVERIFY(makers.size() >= 25 && papers.contains(QStringLiteral("A4")) && papers.contains(QStringLiteral("US Letter")));
        QVERIFY(equivalents > 100 && grids > 0);
        QVERIFY(!ids.contains(QStringLiteral("hisago elm008")));
        QCOMPARE(findSheet(QStringLiteral("hisago  ELM008"))->id, QStringLiteral("A4-12"));
        const SheetTemplate *avery = findSheet(QStringLiteral("avery 5160"));
        QVERIFY(avery && avery->id == QStringLiteral("Avery 5160") && avery->positions() == 30 && avery->paperCode == 1);
        QVERIFY(!findSheet(QStringLiteral("Avery 99999")));
    }

    // zenlabo --list-sheets without glabels-data (no data folder holds it):
    // the program's own three and the user's own file, one line a sheet,
    // the odd template beside it named on standard error.
    void theCommandLineListsTheSheets()
    {
        zltest::TempHome home;
        QTemporaryDir noData;
        home.writeFile(home.root() + QStringLiteral("/config/libglabels/templates/shop.template"),
                       templateFile(kGood + "<Template brand=\"Odd\" part=\"X-1\" equiv=\"Z-9\"/>\n"));
        const zltest::ProgramOutcome r = zltest::runProgram(home, {QStringLiteral("--list-sheets")}, QString(),
                                                            {{QStringLiteral("XDG_DATA_DIRS"), noData.path()}});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts),
                 (QStringList{QStringLiteral("A4-12\tHisago\tELM008\tA4\t86.4 x 42.3\t12\tRectangular labels"),
                              QStringLiteral("A4-24\tHisago\tELM012\tA4\t66 x 33.9\t24\tRectangular labels"),
                              QStringLiteral("A4-44\tHisago\tELM022\tA4\t48.3 x 25.4\t44\tRectangular labels"),
                              QStringLiteral("Shop A-1\tShop\tA-1\tA4\t80 x 40\t6\tGood")}));
        const QStringList errors = r.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts).filter(QStringLiteral("Odd X-1"));
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors[0].contains(QStringLiteral("shop.template:")), qPrintable(errors[0]));
    }

    // Typing narrows the list to the sheets every word is found in; the
    // chosen sheet stays chosen while typing hides it.
    void theListIsSearchedByTyping_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("found"); // an id among the rows kept
        QTest::addColumn<QString>("words"); // what each row kept holds, folded
        QTest::newRow("maker and part") << QStringLiteral("avery 5160") << QStringLiteral("Avery 5160") << QStringLiteral("avery 5160");
        QTest::newRow("a label size") << QStringLiteral("86.4×42.3") << QStringLiteral("A4-12") << QStringLiteral("86.4x42.3");
        QTest::newRow("the maker as a shop names it") << QStringLiteral("ヒサゴ elm022") << QStringLiteral("A4-44") << QStringLiteral("elm022");
    }

    void theListIsSearchedByTyping()
    {
        QFETCH(QString, typed);
        QFETCH(QString, found);
        QFETCH(QString, words);
        if (!QDir(kLibrary).exists() && !found.startsWith(QStringLiteral("A4-")))
            QSKIP("glabels-data is not installed (scripts/install-deps installs it)");
        zltest::TempHome home;
        zl::ui::SheetList list(nullptr);
        list.setSheetId(QStringLiteral("A4-44"));
        list.filter()->insert(typed);
        const QAbstractItemModel *model = list.view()->model();
        QVERIFY(model->rowCount() >= 2);
        QCOMPARE(model->index(0, 0).data(Qt::UserRole).toString(), QString()); // 「シートなし」 stays
        bool seen = false;
        for (int r = 1; r < model->rowCount(); ++r) {
            QString row;
            for (int c = 0; c < 3; ++c)
                row += model->index(r, c).data().toString() + QLatin1Char(' ');
            row = row.toCaseFolded().remove(QLatin1Char(' '));
            for (const QString &w : words.split(QLatin1Char(' ')))
                QVERIFY2(row.contains(w) || model->index(r, 0).data(Qt::UserRole).toString().startsWith(QStringLiteral("A4-")),
                         qPrintable(row));
            seen = seen || model->index(r, 0).data(Qt::UserRole).toString() == found;
        }
        QVERIFY(seen);
        QCOMPARE(list.sheetId(), QStringLiteral("A4-44"));
        list.filter()->clear();
        QCOMPARE(list.view()->currentIndex().data(Qt::UserRole).toString(), QStringLiteral("A4-44"));
    }
};

ZL_TEST(SheetLibraryTest)
#include "SheetLibraryTest.moc"
