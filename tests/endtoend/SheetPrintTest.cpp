// Labels on A4 label sheets through `zenlabo --print`, to the built-in PDF
// printer and to a CUPS queue, read back with poppler (or Ghostscript) and
// zbar: which position holds which label, where its origin landed, and what
// the sheet table says afterwards.
#include "DeviceOutput.h"
#include "PdfPages.h"
#include "TestEnv.h"
#include "TestRegistry.h"
#include "Zbar.h"

#include "sheets/SheetChoice.h"
#include "label/Barcode.h"
#include "settings/SettingsTable.h"

#include <QDir>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int kDpi = 300; // the PDF printer's and the test queues' resolution

QString janOfRow(int row)
{
    return QStringLiteral("4987654%1").arg(row, 5, 10, QLatin1Char('0'));
}

// The first of the test scheduler's queues, A4 through CUPS' generic
// PostScript driver; empty when CUPS is not up for the tests.
QString cupsQueue()
{
    return qEnvironmentVariable("ZENLABO_TEST_QUEUES").section(QLatin1Char(','), 0, 0);
}

QRect pixels(const QRectF &mm)
{
    const double k = kDpi / 25.4;
    return QRectF(mm.topLeft() * k, mm.size() * k).toRect();
}

// Where the title's rule starts (the first dark run across half the area),
// in millimetres; nothing when the area has no rule.
std::optional<QPointF> ruleStart(const QImage &page, const QRect &area)
{
    const QRect a = area.intersected(page.rect());
    for (int x = a.left(); x <= a.right(); ++x)
        for (int y = a.top(); y <= a.bottom(); ++y) {
            int run = 0;
            while (x + run <= a.right() && qGray(page.pixel(x + run, y)) < 128)
                ++run;
            if (run > a.width() / 2)
                return QPointF(x, y) * 25.4 / kDpi;
        }
    return std::nullopt;
}

} // namespace

class SheetPrintTest : public QObject {
    Q_OBJECT
private slots:
    void init() { m_home = std::make_unique<zltest::TempHome>(); }
    void cleanup() { m_home.reset(); }

    void labelsFillTheSheetFromTheFirstFreePosition_data()
    {
        QTest::addColumn<QStringList>("stored"); // the sheet table, or none
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("records");
        QTest::addColumn<int>("badPriceRow");
        QTest::addColumn<int>("longNameRow"); // a row whose name is 40 characters (0: none)
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("sheet"); // the sheet printed on; empty: one label a page
        QTest::addColumn<int>("start");
        QTest::addColumn<QList<int>>("perPage");
        QTest::addColumn<QStringList>("after"); // the sheet table afterwards
        QTest::addColumn<QString>("said");
        const QStringList none, print{QStringLiteral("--print")};
        auto table = [](const char *id, int start) { return QStringList{QString::fromLatin1(id), QString::number(start)}; };
        auto args = [&](const char *sheet, const char *start = nullptr) {
            QStringList a = print + QStringList{QStringLiteral("--sheet"), QString::fromLatin1(sheet)};
            return start ? a + QStringList{QStringLiteral("--sheet-start"), QString::fromLatin1(start)} : a;
        };
        QTest::newRow("30 on A4-12 from 5, stored") << table("A4-12", 5) << print << 30 << 0 << 0 << 0 << "A4-12" << 5
                                                    << QList<int>{8, 12, 10} << table("A4-12", 11)
                                                    << QStringLiteral("次の印刷は11番目の位置から");
        // CUPS' generic PostScript driver: A4 whose printable area starts 4.2 mm in.
        QTest::newRow("the same through a CUPS queue on A4, from --sheet-start")
            << table("A4-12", 2)
            << print + QStringList{QStringLiteral("--printer"), cupsQueue(), QStringLiteral("--sheet-start"), QStringLiteral("5")}
            << 30 << 0 << 0 << 0 << "A4-12" << 5 << QList<int>{8, 12, 10} << table("A4-12", 11) << QString();
        QTest::newRow("another sheet starts at 1, leaving the stored one") << table("A4-24", 20) << args("a4-12") << 3 << 0 << 0 << 0
                                                                           << "A4-12" << 1 << QList<int>{3}
                                                                           << table("A4-24", 20) << QString();
        QTest::newRow("--sheet none: one label a page") << table("A4-12", 5) << args("none") << 3 << 0 << 0 << 0 << QString() << 0
                                                        << QList<int>{1, 1, 1} << table("A4-12", 5) << QString();
        // A run that is refused before its first label uses no position;
        // the 300-label limit stops the run with its last sheet full, so the
        // next run takes a new one.
        QTest::newRow("a price that is no number in row 6") << table("A4-12", 9) << print << 10 << 6 << 0 << 1 << "A4-12" << 9
                                                            << QList<int>{} << table("A4-12", 9)
                                                            << QStringLiteral("6行目");
        QTest::newRow("310 rows: the 300-label limit") << table("A4-44", 9) << print << 310 << 0 << 0 << 3 << "A4-44" << 9
                                                       << QList<int>{36, 44, 44, 44, 44, 44, 44} << table("A4-44", 1)
                                                       << QStringLiteral("301行目");
        QTest::newRow("position 13 is not on A4-12") << none << args("A4-12", "13") << 3 << 0 << 0 << 64 << QString() << 0
                                                     << QList<int>{} << none << QStringLiteral("1 から 12");
        QTest::newRow("a stored position past the sheet") << table("A4-12", 13) << print << 3 << 0 << 0 << 4 << QString() << 0
                                                           << QList<int>{} << table("A4-12", 13)
                                                           << QStringLiteral("vokiconfig6.txt");
        // The layout fills each sheet's positions (scaled, centred), or sits
        // at its own size in the corner with --actual-size; a long name is
        // measured against the position it prints in.
        QTest::newRow("A4-24 filled") << none << args("A4-24") << 3 << 0 << 0 << 0 << "A4-24" << 1 << QList<int>{3} << none
                                      << QString();
        QTest::newRow("A4-44 filled, a long name named first")
            << none << args("A4-44") << 3 << 0 << 2 << 0 << "A4-44" << 1 << QList<int>{3} << none
            << QStringLiteral("警告: 2行目: 「%1」が用紙の右端からはみ出します").arg(QString(40, QChar(0x9C3B)));
        QTest::newRow("A4-12 at actual size") << none << args("A4-12") + QStringList{QStringLiteral("--actual-size")} << 3 << 0
                                              << 0 << 0 << "A4-12" << 1 << QList<int>{3} << none << QString();
    }

    void labelsFillTheSheetFromTheFirstFreePosition()
    {
        QFETCH(QStringList, stored);
        QFETCH(QStringList, args);
        QFETCH(int, records);
        QFETCH(int, badPriceRow);
        QFETCH(int, longNameRow);
        QFETCH(int, exitCode);
        QFETCH(QString, sheet);
        QFETCH(int, start);
        QFETCH(QList<int>, perPage);
        QFETCH(QStringList, after);
        QFETCH(QString, said);
        const qsizetype printer = args.indexOf(QStringLiteral("--printer"));
        const bool cups = printer >= 0;
        if (cups && args.value(printer + 1).isEmpty())
            QSKIP("CUPS is not up for the tests (ZENLABO_TEST_QUEUES/ZENLABO_TEST_SPOOL not set): run scripts/test.");
        const QString spool = qEnvironmentVariable("ZENLABO_TEST_SPOOL") + QLatin1Char('/') + args.value(printer + 1);
        const int before = cups ? int(zltest::jobFiles(spool).size()) : 0;
        setUp(records, stored, badPriceRow, longNameRow);
        const zltest::ProgramOutcome r =
            zltest::runProgram(*m_home, args, cups ? qEnvironmentVariable("CUPS_SERVER") : QString());
        QVERIFY2(r.exitCode == exitCode && (r.out + r.err).contains(said),
                 qPrintable(QStringLiteral("exit %1: %2%3").arg(r.exitCode).arg(r.out, r.err)));
        QCOMPARE(sheetTable(), after);
        QList<QImage> pages;
        if (cups) {
            // The run is one job, an A4 page a sheet, as Ghostscript reads
            // what the driver made.
            const QStringList jobs = zltest::waitForJobs(spool, before, 1);
            QCOMPARE(jobs.size(), 1);
            QTemporaryDir dir;
            QProcess gs;
            gs.start(QStringLiteral("gs"), {QStringLiteral("-q"), QStringLiteral("-dNOPAUSE"), QStringLiteral("-dBATCH"),
                                            QStringLiteral("-dSAFER"), QStringLiteral("-sDEVICE=pnggray"), QStringLiteral("-r%1").arg(kDpi),
                                            QStringLiteral("-sOutputFile=%1/p%03d.png").arg(dir.path()), jobs.first()});
            QVERIFY(gs.waitForFinished(120000) && gs.exitCode() == 0);
            for (const QString &png : QDir(dir.path()).entryList({QStringLiteral("p*.png")}, QDir::Files, QDir::Name)) {
                pages << QImage(dir.filePath(png));
                QCOMPARE(pages.last().size(), QSize(595 * kDpi / 72, 842 * kDpi / 72));
            }
        } else {
            const QString folder = m_home->root() + QStringLiteral("/Documents/Zenlabo/");
            const QStringList files = QDir(folder).entryList({QStringLiteral("*.pdf")}, QDir::Files);
            QCOMPARE(files.size(), perPage.isEmpty() ? 0 : 1);
            if (perPage.isEmpty())
                return;
            QCOMPARE(zltest::pdfPageSizesMm(folder + files.first()), QList<QSize>(perPage.size(), sheet.isEmpty() ? QSize(50, 30) : QSize(210, 297)));
            pages = zltest::pdfPageImages(folder + files.first(), kDpi);
        }
        if (!sheet.isEmpty())
            checkSheets(pages, *zl::printer::findSheet(sheet), start, perPage, !args.contains(QStringLiteral("--actual-size")));
    }

    // Products of the installed library, chosen by what they are rather
    // than by name, and a user's own template on a paper of its own: each
    // on its own paper, every label scanning in its position and filling
    // it, nothing printed outside the positions.
    void libraryProductsPrintInTheirPositions_data()
    {
        QTest::addColumn<QString>("sheet"); // an id, or empty for the user's own
        QTest::addColumn<int>("start");
        using zl::printer::SheetTemplate;
        m_library = zl::printer::readSheetLibrary({zl::printer::systemSheetSources().libraryFolders, {}}, nullptr);
        // Large enough for the 50 x 30 layout to scan when fitted.
        auto roomy = [](const SheetTemplate &s) {
            return s.labelMm.width() >= 45 && s.labelMm.height() >= 25 && s.labelMm.width() >= s.labelMm.height()
                   && !s.id.startsWith(QStringLiteral("A4-"));
        };
        auto first = [&](const char *row, int start, const std::function<bool(const SheetTemplate &)> &is) {
            for (const SheetTemplate &s : std::as_const(m_library))
                if (roomy(s) && is(s)) {
                    QTest::newRow(qPrintable(QStringLiteral("%1: %2").arg(QString::fromUtf8(row), s.id))) << s.id << start;
                    return;
                }
            QTest::newRow(row) << QStringLiteral("?") << start; // glabels-data is not installed
        };
        auto on = [](const SheetTemplate &s, const char *maker, const char *paper) {
            return s.maker == QLatin1String(maker) && s.paperName == QLatin1String(paper) && s.layouts.size() == 1;
        };
        first("Hisago on A4, from position 2", 2, [&](const SheetTemplate &s) { return on(s, "Hisago", "A4") && s.positions() >= 8; });
        first("Avery on US Letter", 1, [&](const SheetTemplate &s) { return on(s, "Avery", "US Letter") && s.sameAs.isEmpty(); });
        first("Herma on A4", 1, [&](const SheetTemplate &s) { return on(s, "Herma", "A4"); });
        first("an equivalent", 1, [](const SheetTemplate &s) { return !s.sameAs.isEmpty() && s.maker != QLatin1String("Avery"); });
        first("several grids", 1, [](const SheetTemplate &s) {
            return s.layouts.size() > 1 && (s.paperName == QLatin1String("A4") || s.paperName == QLatin1String("US Letter"));
        });
        QTest::newRow("a user's own template on a paper of its own") << QString() << 1;
    }

    void libraryProductsPrintInTheirPositions()
    {
        QFETCH(QString, sheet);
        QFETCH(int, start);
        if (sheet == QStringLiteral("?"))
            QSKIP("glabels-data is not installed (scripts/install-deps installs it)");
        const QString userFolder = m_home->root() + QStringLiteral("/config/libglabels/templates");
        const zl::printer::SheetTemplate *t = nullptr;
        QList<zl::printer::SheetTemplate> own;
        if (sheet.isEmpty()) {
            QDir().mkpath(userFolder);
            m_home->writeFile(userFolder + QStringLiteral("/shop.template"), "<?xml version=\"1.0\"?>\n"
"<Glabels-templates>\n"
"  <Template brand=\"Shop\" part=\"Shelf-6\" size=\"Other\" width=\"120mm\" height=\"160mm\" _description=\"Shelf labels\">\n"
"    <Label-rectangle id=\"0\" width=\"2.2in\" height=\"1.6in\" round=\"2mm\" x_waste=\"1mm\" y_waste=\"1mm\">\n"
"      <Layout nx=\"2\" ny=\"3\" x0=\"2mm\" y0=\"5mm\" dx=\"60mm\" dy=\"50mm\"/>\n"
"    </Label-rectangle>\n"
"  </Template>\n"
"</Glabels-templates>\n"
"");
            own = zl::printer::readSheetLibrary({{}, {userFolder}}, nullptr);
            for (const zl::printer::SheetTemplate &s : std::as_const(own))
                if (s.id == QStringLiteral("Shop Shelf-6"))
                    t = &s;
            sheet = QStringLiteral("shop shelf-6");
        } else {
            for (const zl::printer::SheetTemplate &s : std::as_const(m_library))
                if (s.id == sheet)
                    t = &s;
        }
        QVERIFY(t);
        const int records = std::min(t->positions() - start + 1, 10);
        setUp(records, {});
        const zltest::ProgramOutcome r = zltest::runProgram(
            *m_home, {QStringLiteral("--print"), QStringLiteral("--sheet"), sheet, QStringLiteral("--sheet-start"), QString::number(start)});
        QVERIFY2(r.exitCode == 0, qPrintable(QStringLiteral("exit %1: %2%3").arg(r.exitCode).arg(r.out, r.err)));
        const QString folder = m_home->root() + QStringLiteral("/Documents/Zenlabo/");
        const QStringList files = QDir(folder).entryList({QStringLiteral("*.pdf")}, QDir::Files);
        QCOMPARE(files.size(), 1);
        QCOMPARE(zltest::pdfPageSizesMm(folder + files.first()), QList<QSize>{t->paperMm.toSize()});
        const QList<QImage> pages = zltest::pdfPageImages(folder + files.first(), kDpi);
        checkSheets(pages, *t, start, {records}, true);
        // Nothing outside the positions (a bar or a rule past its label).
        QImage outside = pages.value(0);
        QPainter blank(&outside);
        for (int n = 1; n <= t->positions(); ++n)
            blank.fillRect(pixels(t->positionRect(n).adjusted(-0.2, -0.2, 0.2, 0.2)), Qt::white);
        blank.end();
        int dark = 0;
        for (int y = 0; y < outside.height(); ++y)
            for (int x = 0; x < outside.width(); ++x)
                dark += qGray(outside.pixel(x, y)) < 128;
        QCOMPARE(dark, 0);
    }

private:
    // Every label's barcode scans in its own position, its title rule starts
    // at the layout's corner moved by the stored adjustments (1 mm right,
    // 1 mm down; the rule 4 mm down) within 0.5 mm; the positions before the
    // first label are empty. Fitted, the 50 x 30 layout is as large as the
    // position allows and centred in it; otherwise it is at the corner.
    void checkSheets(const QList<QImage> &pages, const zl::printer::SheetTemplate &t, int start, const QList<int> &perPage,
                     bool fitted)
    {
        QCOMPARE(pages.size(), perPage.size());
        int row = 1;
        for (int p = 0; p < pages.size(); ++p) {
            const int first = p == 0 ? start : 1;
            for (int n = 1; n < first + perPage[p]; ++n) {
                const QString where = QStringLiteral("page %1 position %2: ").arg(p + 1).arg(n);
                const std::optional<QPointF> rule = ruleStart(pages[p], pixels(t.positionRect(n)));
                if (n < first) {
                    QVERIFY2(!rule, qPrintable(where + QStringLiteral("a used position was printed on")));
                    continue;
                }
                const QString jan = janOfRow(row++);
                const QStringList scanned = zltest::decodeBarcodes(pages[p].copy(pixels(t.positionRect(n))));
                QCOMPARE(scanned, QStringList{QStringLiteral("EAN-13:%1%2").arg(jan).arg(zl::label::janCheckDigit(jan))});
                const QSizeF size = t.positionRect(n).size();
                const double scale = fitted ? std::min(size.width() / 50, size.height() / 30) : 1;
                const QPointF corner = fitted ? QPointF(size.width() - 50 * scale, size.height() - 30 * scale) / 2 : QPointF();
                const QPointF off =
                    rule.value_or(QPointF(-99, -99)) - t.positionRect(n).topLeft() - corner - QPointF(1, 5) * scale;
                QVERIFY2(std::abs(off.x()) <= 0.5 && std::abs(off.y()) <= 0.5,
                         qPrintable(where + QStringLiteral("rule %1, %2 mm off").arg(off.x()).arg(off.y())));
            }
        }
    }

    // badPriceRow: a row whose price is no number, longNameRow one whose
    // name is 40 characters (0: none).
    void setUp(int records, const QStringList &sheetTable, int badPriceRow = 0, int longNameRow = 0)
    {
        m_home->installDefaults();
        QString csv = QStringLiteral("JAN,商品名,規格,価格\r\n");
        for (int row = 1; row <= records; ++row)
            csv += QStringLiteral("%1,%2,箱,%3\r\n")
                       .arg(janOfRow(row))
                       .arg(row == longNameRow ? QString(40, QChar(0x9C3B)) : QStringLiteral("品%1").arg(row))
                       .arg(row == badPriceRow ? QStringLiteral("時価") : QString::number(row * 10));
        m_home->writeFile(QStringLiteral("items.csv"), zltest::sjis(csv));
        m_home->writeTable(zl::settings::kDataSourceTable, zl::settings::dataSourceColumns(),
                           {m_home->settingsFolder(), QStringLiteral("items.csv")});
        QStringList adjustments = zl::settings::ReadSettingsRecords(zl::settings::kAdjustmentTable, 99);
        adjustments[2] = adjustments[3] = QStringLiteral("1");
        m_home->writeTable(zl::settings::kAdjustmentTable, zl::settings::adjustmentColumns(), adjustments);
        if (!sheetTable.isEmpty())
            m_home->writeTable(zl::printer::kSheetTable, {QStringLiteral("SHEET"), QStringLiteral("START")}, sheetTable);
    }

    QStringList sheetTable() const
    {
        if (!QFile::exists(m_home->settingsFolder() + zl::printer::kSheetTable))
            return {};
        const zl::settings::SettingsRecord r = zl::settings::QuerySettingsTable(
            zl::printer::kSheetTable, {QStringLiteral("SHEET"), QStringLiteral("START")});
        return r.values();
    }

    std::unique_ptr<zltest::TempHome> m_home;
    QList<zl::printer::SheetTemplate> m_library;
};

ZL_TEST(SheetPrintTest)
#include "SheetPrintTest.moc"
