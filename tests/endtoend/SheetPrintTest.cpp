// Labels on A4 label sheets through `zenlabo --print` to the built-in PDF
// printer, read back with poppler and zbar: which positions hold which
// label, where each label's origin landed, and what the sheet table says
// afterwards.
#include "DeviceOutput.h"
#include "PdfPages.h"
#include "TestEnv.h"
#include "TestRegistry.h"
#include "Zbar.h"

#include "printer/SheetChoice.h"
#include "printing/Barcode.h"
#include "settings/SettingsTable.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The resolution the PDF printer and the test queues print at.
constexpr int kDpi = 300;

// Row r's barcode value: 12 digits, so the label scans as their EAN-13.
QString janOfRow(int row)
{
    return QStringLiteral("4987654%1").arg(row, 5, 10, QLatin1Char('0'));
}

QRect pixels(const QRectF &mm)
{
    const double k = kDpi / 25.4;
    return QRectF(mm.left() * k, mm.top() * k, mm.width() * k, mm.height() * k).toRect();
}

bool dark(QRgb p)
{
    return qGray(p) < 128;
}

// The first dark pixel of `area`, scanning columns left to right (x) and,
// in that column, the row of the longest dark run along it (the title's
// rule): where the label's drawing starts, in millimetres.
std::optional<QPointF> ruleStart(const QImage &page, const QRect &area)
{
    const QRect a = area.intersected(page.rect());
    for (int x = a.left(); x <= a.right(); ++x)
        for (int y = a.top(); y <= a.bottom(); ++y)
            if (dark(page.pixel(x, y))) {
                // The rule runs to the label's right edge; a glyph does not.
                int run = 0;
                while (x + run <= a.right() && dark(page.pixel(x + run, y)))
                    ++run;
                if (run > a.width() / 2)
                    return QPointF(x * 25.4 / kDpi, y * 25.4 / kDpi);
            }
    return std::nullopt;
}

int darkPixels(const QImage &page, const QRect &area)
{
    int n = 0;
    const QRect a = area.intersected(page.rect());
    for (int y = a.top(); y <= a.bottom(); ++y)
        for (int x = a.left(); x <= a.right(); ++x)
            n += dark(page.pixel(x, y));
    return n;
}

} // namespace

class SheetPrintTest : public QObject {
    Q_OBJECT
private slots:
    void init() { m_home = std::make_unique<zltest::TempHome>(); }
    void cleanup() { m_home.reset(); }

    void labelsFillTheSheetFromTheFirstFreePosition_data()
    {
        QTest::addColumn<QStringList>("stored");  // the sheet table, or none
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("records");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("sheet");       // the sheet the labels are on; empty: one a page
        QTest::addColumn<int>("start");
        QTest::addColumn<QList<int>>("perPage");  // labels on each page
        QTest::addColumn<QStringList>("after");   // the sheet table after the run, or none
        QTest::addColumn<QString>("said");

        const QStringList none;
        const QStringList print{QStringLiteral("--print")};
        auto table = [](const char *id, int start) { return QStringList{QString::fromLatin1(id), QString::number(start)}; };
        auto args = [&](std::initializer_list<const char *> more) {
            QStringList a = print;
            for (const char *m : more)
                a << QString::fromUtf8(m);
            return a;
        };
        QTest::newRow("30 on A4-12 from 5, stored") << table("A4-12", 5) << print << 30 << 0 << QStringLiteral("A4-12") << 5
                                                    << QList<int>{8, 12, 10} << table("A4-12", 11)
                                                    << QStringLiteral("30枚のラベル");
        QTest::newRow("the next position is said") << table("A4-12", 5) << print << 2 << 0 << QStringLiteral("A4-12") << 5
                                                   << QList<int>{2} << table("A4-12", 7)
                                                   << QStringLiteral("5番目の位置から並べました。次の印刷は7番目の位置から始めます。");
        QTest::newRow("30 on A4-12 from 5, command line")
            << none << args({"--sheet", "a4-12", "--sheet-start", "5"}) << 30 << 0 << QStringLiteral("A4-12") << 5
            << QList<int>{8, 12, 10} << none << QStringLiteral("30枚のラベル");
        QTest::newRow("a full A4-44 sheet starts the next run on a new one")
            << table("A4-44", 1) << print << 44 << 0 << QStringLiteral("A4-44") << 1 << QList<int>{44} << table("A4-44", 1)
            << QString();
        QTest::newRow("--sheet-start over the stored A4-24")
            << table("A4-24", 20) << args({"--sheet-start", "3"}) << 5 << 0 << QStringLiteral("A4-24") << 3
            << QList<int>{5} << table("A4-24", 8) << QString();
        QTest::newRow("another sheet leaves the stored one's position")
            << table("A4-24", 20) << args({"--sheet", "A4-12"}) << 3 << 0 << QStringLiteral("A4-12") << 1
            << QList<int>{3} << table("A4-24", 20) << QString();
        QTest::newRow("--sheet none: one label a page") << table("A4-12", 5) << args({"--sheet", "none"}) << 3 << 0
                                                        << QString() << 0 << QList<int>{1, 1, 1} << table("A4-12", 5)
                                                        << QString();
        QTest::newRow("position 13 is not on A4-12")
            << none << args({"--sheet", "A4-12", "--sheet-start", "13"}) << 3 << 64 << QString() << 0 << QList<int>{}
            << none << QStringLiteral("1 から 12");
        QTest::newRow("position 0") << none << args({"--sheet", "A4-12", "--sheet-start", "0"}) << 3 << 64 << QString()
                                    << 0 << QList<int>{} << none << QStringLiteral("1以上の整数");
        QTest::newRow("a sheet the program does not know") << none << args({"--sheet", "A4-99"}) << 3 << 64 << QString()
                                                           << 0 << QList<int>{} << none << QStringLiteral("A4-99");
        QTest::newRow("stored position past the sheet") << table("A4-12", 13) << print << 3 << 4 << QString() << 0
                                                       << QList<int>{} << table("A4-12", 13) << QStringLiteral("vokiconfig6.txt");
        QTest::newRow("no table: one label a page, as before") << none << print << 2 << 0 << QString() << 0
                                                               << QList<int>{1, 1} << none << QString();
    }

    void labelsFillTheSheetFromTheFirstFreePosition()
    {
        QFETCH(QStringList, stored);
        QFETCH(QStringList, args);
        QFETCH(int, records);
        QFETCH(int, exitCode);
        QFETCH(QString, sheet);
        QFETCH(int, start);
        QFETCH(QList<int>, perPage);
        QFETCH(QStringList, after);
        QFETCH(QString, said);

        setUp(records, stored);
        const zltest::ProgramOutcome r = zltest::runProgram(*m_home, args);
        QVERIFY2(r.exitCode == exitCode, qPrintable(QStringLiteral("exit %1: %2%3").arg(r.exitCode).arg(r.out, r.err)));
        QVERIFY2((r.out + r.err).contains(said), qPrintable(r.out + r.err));
        QCOMPARE(sheetTable(), after);

        const QStringList files = QDir(pdfFolder()).entryList({QStringLiteral("*.pdf")}, QDir::Files);
        QCOMPARE(files.size(), perPage.isEmpty() ? 0 : 1);
        if (perPage.isEmpty())
            return;
        const QString pdf = pdfFolder() + QLatin1Char('/') + files.first();
        QCOMPARE(zltest::pdfPageCount(pdf), int(perPage.size()));
        if (sheet.isEmpty()) {
            for (const QSize &size : zltest::pdfPageSizesMm(pdf))
                QCOMPARE(size, QSize(50, 30));
            return;
        }
        const zl::printer::SheetTemplate *t = zl::printer::findSheet(sheet);
        QVERIFY(t);
        for (const QSize &size : zltest::pdfPageSizesMm(pdf))
            QCOMPARE(size, QSize(210, 297));
        checkSheets(zltest::pdfPageImages(pdf, kDpi), *t, start, perPage, records);
    }

    // The same sheets through a CUPS queue on A4 paper whose printable area
    // starts 4.2 mm in (CUPS' generic PostScript driver): one job a sheet,
    // each label in its position.
    void throughACupsQueueOnA4()
    {
        const QStringList queues = qEnvironmentVariable("ZENLABO_TEST_QUEUES").split(QLatin1Char(','), Qt::SkipEmptyParts);
        const QString spool = qEnvironmentVariable("ZENLABO_TEST_SPOOL");
        if (queues.isEmpty() || spool.isEmpty())
            QSKIP("CUPS is not up for the tests (ZENLABO_TEST_QUEUES/ZENLABO_TEST_SPOOL not set): run scripts/test.");
        const QString queue = queues.first();
        const QString folder = spool + QLatin1Char('/') + queue;
        setUp(30, {QStringLiteral("A4-12"), QStringLiteral("5")});
        const int before = int(zltest::jobFiles(folder).size());
        const zltest::ProgramOutcome r =
            zltest::runProgram(*m_home, {QStringLiteral("--print"), QStringLiteral("--printer"), queue},
                               qEnvironmentVariable("CUPS_SERVER"));
        QVERIFY2(r.exitCode == 0, qPrintable(r.out + r.err));
        QCOMPARE(sheetTable(), (QStringList{QStringLiteral("A4-12"), QStringLiteral("11")}));
        const QStringList jobs = zltest::waitForJobs(folder, before, 3);
        QCOMPARE(jobs.size(), 3);
        QList<QImage> pages;
        for (const QString &job : jobs) {
            const QList<QImage> images = postScriptPages(job);
            QCOMPARE(images.size(), 1);
            // A4 at the test's resolution.
            QVERIFY2(std::abs(images.first().width() - 2480) <= 2 && std::abs(images.first().height() - 3508) <= 2,
                     qPrintable(QStringLiteral("%1: %2 x %3 dots").arg(job).arg(images.first().width()).arg(images.first().height())));
            pages << images.first();
        }
        checkSheets(pages, *zl::printer::findSheet(QStringLiteral("A4-12")), 5, {8, 12, 10}, 30);
    }

private:
    // Sheets read back at kDpi: nothing outside the grid of labels, the
    // positions before the first and after the last label empty, and every
    // label's barcode scanning in its own position with its origin there.
    void checkSheets(const QList<QImage> &pages, const zl::printer::SheetTemplate &sheet, int start,
                     const QList<int> &perPage, int records)
    {
        const zl::printer::SheetTemplate *t = &sheet;
        QCOMPARE(pages.size(), perPage.size());
        int row = 1;
        for (int p = 0; p < pages.size(); ++p) {
            const QImage &page = pages[p];
            const int first = p == 0 ? start : 1;
            // Nothing outside the sheet's grid of labels (0.5 mm allowed).
            const QRectF grid = t->positionRect(1).united(t->positionRect(t->positions()));
            QCOMPARE(darkPixels(page, page.rect()), darkPixels(page, pixels(grid.adjusted(-0.5, -0.5, 0.5, 0.5))));
            for (int n = 1; n <= t->positions(); ++n) {
                const QRectF position = t->positionRect(n);
                const QString where = QStringLiteral("page %1 position %2").arg(p + 1).arg(n);
                if (n < first || n >= first + perPage[p]) {
                    QVERIFY2(darkPixels(page, pixels(position.adjusted(0.5, 0.5, -0.5, -0.5))) == 0,
                             qPrintable(where + QStringLiteral(" should be empty")));
                    continue;
                }
                const QString jan = janOfRow(row++);
                const QString expected = jan + QString::number(zl::printing::janCheckDigit(jan));
                const QStringList scanned = zltest::decodeBarcodes(page.copy(pixels(position)));
                QVERIFY2(scanned == QStringList{QStringLiteral("EAN-13:") + expected},
                         qPrintable(QStringLiteral("%1: read %2, expected %3").arg(where, scanned.join(QLatin1Char(' ')), expected)));
                // The label's origin is the position's corner moved by the
                // stored adjustments (1 mm right, 1 mm down): its title rule
                // starts there, 4 mm down.
                const std::optional<QPointF> rule = ruleStart(page, pixels(position));
                QVERIFY2(rule, qPrintable(where + QStringLiteral(": no title rule")));
                const QPointF expectedRule = position.topLeft() + QPointF(1, 1 + 4);
                QVERIFY2(std::abs(rule->x() - expectedRule.x()) <= 0.5 && std::abs(rule->y() - expectedRule.y()) <= 0.5,
                         qPrintable(QStringLiteral("%1: rule at %2,%3 mm, expected %4,%5")
                                        .arg(where)
                                        .arg(rule->x())
                                        .arg(rule->y())
                                        .arg(expectedRule.x())
                                        .arg(expectedRule.y())));
            }
        }
        QCOMPARE(row - 1, records);
    }

    // The pages of a PostScript job as the printer would print them.
    static QList<QImage> postScriptPages(const QString &file)
    {
        QTemporaryDir dir;
        QProcess gs;
        gs.start(QStringLiteral("gs"), {QStringLiteral("-q"), QStringLiteral("-dNOPAUSE"), QStringLiteral("-dBATCH"),
                                        QStringLiteral("-dSAFER"), QStringLiteral("-sDEVICE=pnggray"),
                                        QStringLiteral("-r%1").arg(kDpi),
                                        QStringLiteral("-sOutputFile=%1/p-%%03d.png").arg(dir.path()), file});
        if (!gs.waitForFinished(120000) || gs.exitCode() != 0)
            return {};
        QList<QImage> images;
        for (const QString &name : QDir(dir.path()).entryList({QStringLiteral("p-*.png")}, QDir::Files, QDir::Name))
            images << QImage(dir.filePath(name));
        return images;
    }

    void setUp(int records, const QStringList &sheetTable)
    {
        m_home->installDefaults();
        QString csv = QStringLiteral("JAN,商品名,規格,価格\r\n");
        for (int row = 1; row <= records; ++row)
            csv += QStringLiteral("%1,品%2,箱,%3\r\n").arg(janOfRow(row)).arg(row).arg(row * 10);
        m_home->writeFile(QStringLiteral("items.csv"), zltest::sjis(csv));
        m_home->writeTable(zl::settings::kDataSourceTable, zl::settings::dataSourceColumns(),
                           {m_home->settingsFolder(), QStringLiteral("items.csv")});
        QStringList adjustments = zl::settings::ReadSettingsRecords(zl::settings::kAdjustmentTable, 99);
        adjustments[2] = adjustments[3] = QStringLiteral("1");
        adjustments[4] = QStringLiteral("0");
        m_home->writeTable(zl::settings::kAdjustmentTable, zl::settings::adjustmentColumns(), adjustments);
        if (!sheetTable.isEmpty())
            m_home->writeTable(zl::printer::kSheetTable, {QStringLiteral("SHEET"), QStringLiteral("START")}, sheetTable);
    }

    QStringList sheetTable() const
    {
        if (!QFile::exists(m_home->settingsFolder() + zl::printer::kSheetTable))
            return {};
        return zl::settings::ReadSettingsRecords(zl::printer::kSheetTable, 2);
    }

    QString pdfFolder() const { return m_home->root() + QStringLiteral("/Documents/Zenlabo"); }

    std::unique_ptr<zltest::TempHome> m_home;
};

ZL_TEST(SheetPrintTest)
#include "SheetPrintTest.moc"
