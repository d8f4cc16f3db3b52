// The calibration label from the command line: printed on the stock in use
// as a label would be, and the two numbers read off it moving the next
// labels' ink by as much.
#include "DeviceOutput.h"
#include "PdfPages.h"
#include "TestEnv.h"
#include "TestRegistry.h"

#include "settings/SettingsTable.h"

#include <QDir>
#include <QDirIterator>
#include <QTest>

namespace {

QStringList pdfFiles(const QString &root)
{
    QStringList files;
    QDirIterator it(root + QStringLiteral("/Documents"), {QStringLiteral("*.pdf")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    files.sort();
    return files;
}

bool dark(const QImage &image, int x, int y) { return qGray(image.pixel(x, y)) < 128; }

// The longest run of marks along one line of the image, every mark `pitch`
// dots from the next (within a dot): the ticks of a scale, counted.
int ticksAlong(const QImage &image, bool rows, double pitch)
{
    int best = 0;
    const int lines = rows ? image.height() : image.width(), length = rows ? image.width() : image.height();
    for (int line = 0; line < lines; ++line) {
        QList<int> starts;
        bool was = false;
        for (int i = 0; i < length; ++i) {
            const bool d = rows ? dark(image, i, line) : dark(image, line, i);
            if (d && !was)
                starts << i;
            was = d;
        }
        int run = 1;
        for (int i = 1; i < starts.size(); ++i) {
            run = std::abs(starts[i] - starts[i - 1] - pitch) <= 1.01 ? run + 1 : 1;
            best = std::max(best, run);
        }
    }
    return best;
}

QRect inkBox(const QImage &image)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (dark(image, x, y))
                box |= QRect(x, y, 1, 1);
    return box;
}

} // namespace

class CalibrationTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_home = std::make_unique<zltest::TempHome>();
        m_home->installDefaults();
        m_home->writeItems({QStringLiteral("491234500001")});
    }
    void cleanup() { m_home.reset(); }

    // One page of the stock's size, both scales on it with a tick every
    // millimetre, at the resolution the device prints.
    void printsOnTheStockInUse_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("queue");  // empty: the built-in PDF printer
        QTest::addColumn<QSize>("pageMm");
        QTest::addColumn<int>("dpi");
        QTest::addColumn<int>("labels"); // calibration labels on the page
        const QString calib = QStringLiteral("--print-calibration");
        QTest::newRow("PDF, 50 x 30 mm") << QStringList{calib} << QString() << QSize(50, 30) << 300 << 1;
        QTest::newRow("PDF, A4-12 sheet") << QStringList{calib, QStringLiteral("--sheet"), QStringLiteral("A4-12")}
                                          << QString() << QSize(210, 297) << 300 << 12;
        const QStringList queues = qEnvironmentVariable("ZENLABO_TEST_QUEUES").split(QLatin1Char(','));
        // The queue set to 300 dpi and 2 x 1 in stock by its administrator.
        if (queues.size() > 2)
            QTest::newRow("ZPL label queue, 300 dpi") << QStringList{calib, QStringLiteral("--printer"), queues[2]}
                                                      << queues[2] << QSize(51, 25) << 300 << 1;
    }
    void printsOnTheStockInUse()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, queue);
        QFETCH(QSize, pageMm);
        QFETCH(int, dpi);
        QFETCH(int, labels);
        QImage page;
        if (queue.isEmpty()) {
            const zltest::ProgramOutcome r = zltest::runProgram(*m_home, args);
            QVERIFY2(r.exitCode == 0, qPrintable(r.err + r.out));
            QVERIFY(r.out.contains(QStringLiteral("用紙の左端が指す目盛り")));
            const QStringList pdfs = pdfFiles(m_home->root());
            QCOMPARE(pdfs.size(), 1);
            QCOMPARE(zltest::pdfPageSizesMm(pdfs.first()), QList<QSize>{pageMm});
            // Every position of a sheet carries its own label.
            QCOMPARE(int(zltest::pdfText(pdfs.first()).count(QStringLiteral("用紙の左端が指す目盛り"))), labels);
            page = zltest::pdfPageImages(pdfs.first(), dpi).value(0);
        } else {
            const QString folder = qEnvironmentVariable("ZENLABO_TEST_SPOOL") + QLatin1Char('/') + queue;
            const int before = int(zltest::jobFiles(folder).size());
            const zltest::ProgramOutcome r = zltest::runProgram(*m_home, args, qEnvironmentVariable("CUPS_SERVER"));
            QVERIFY2(r.exitCode == 0, qPrintable(r.err + r.out));
            const QStringList jobs = zltest::waitForJobs(folder, before, 1);
            QCOMPARE(jobs.size(), 1);
            QFile f(jobs.first());
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QList<QImage> pages = zltest::decodeLabels(QStringLiteral("zpl"), f.readAll());
            QCOMPARE(pages.size(), 1);
            page = pages.first();
            QCOMPARE(page.height(), dpi); // one inch of dots: the stock's own
        }
        QVERIFY(!page.isNull());
        const double pitch = dpi / 25.4;
        // Each label: its scale along the top at least its width, along the
        // left its height, less the gap where they cross (6 to 11 mm).
        const int across = labels == 1 ? pageMm.width() : 86, down = labels == 1 ? pageMm.height() : 42; // A4-12: 86.4 x 42.3
        const int along = ticksAlong(page, true, pitch), upDown = ticksAlong(page, false, pitch);
        QVERIFY2(along >= across - 13, qPrintable(QStringLiteral("%1 ticks in a row").arg(along)));
        QVERIFY2(upDown >= down - 13, qPrintable(QStringLiteral("%1 ticks in a column").arg(upDown)));
    }

    // The two numbers read off the label move the next labels' ink by as
    // many millimetres, and are stored as the table stores adjustments.
    void readingsMoveTheInk()
    {
        auto printedLabel = [this](const QString &name) {
            for (const QString &f : pdfFiles(m_home->root()))
                QFile::remove(f);
            const zltest::ProgramOutcome r = zltest::runProgram(*m_home, {QStringLiteral("--print")});
            if (r.exitCode != 0)
                qWarning() << name << r.err;
            return zltest::pdfPageImages(pdfFiles(m_home->root()).value(0), 600).value(0);
        };
        const QImage before = printedLabel(QStringLiteral("before"));
        QVERIFY(!before.isNull());
        const zltest::ProgramOutcome c = zltest::runProgram(*m_home, {QStringLiteral("--calibrate"), QStringLiteral("1.5"), QStringLiteral("-0.5")});
        QVERIFY2(c.exitCode == 0, qPrintable(c.err));
        QVERIFY2(c.out.contains(QStringLiteral("0 → 1.5")) && c.out.contains(QStringLiteral("0 → -0.5")), qPrintable(c.out));
        const QStringList stored = zl::settings::ReadSettingsRecords(zl::settings::kAdjustmentTable, 99);
        QCOMPARE(stored.mid(2, 3), (QStringList{QStringLiteral("1.5"), QStringLiteral("-0.5"), QStringLiteral("0")}));
        QVERIFY(m_home->readFile(zl::settings::kAdjustmentTable).contains("\"1.5\",\"-0.5\",\"0\""));
        const QImage after = printedLabel(QStringLiteral("after"));
        const QRect a = inkBox(before), b = inkBox(after);
        const double mmPerDot = 25.4 / 600;
        // The left and bottom edges: nothing is cut off there by the move.
        QVERIFY2(std::abs((b.left() - a.left()) * mmPerDot - 1.5) <= 0.15, qPrintable(QString::number((b.left() - a.left()) * mmPerDot)));
        QVERIFY2(std::abs((b.bottom() - a.bottom()) * mmPerDot + 0.5) <= 0.15, qPrintable(QString::number((b.bottom() - a.bottom()) * mmPerDot)));
    }

    // Readings that are no numbers, or would take an adjustment out of
    // its range, store nothing and say why.
    void refusedReadingsStoreNothing_data()
    {
        QTest::addColumn<QString>("size1");
        QTest::addColumn<QString>("x");
        QTest::addColumn<QString>("y");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said");
        auto row = [](const char *name, const char *size1, const char *x, const char *y, int exitCode, const char *said) {
            QTest::newRow(name) << QString::fromUtf8(size1) << QString::fromUtf8(x) << QString::fromUtf8(y) << exitCode
                                << QString::fromUtf8(said);
        };
        row("past +20", "19", "1.5", "0", 1, "-20 から 20 の範囲を外れる");
        row("not a number", "0", "1,5mm", "0", 64, "数値ではありません");
        row("stored value unusable", "abc", "1", "0", 1, "「abc」");
    }
    void refusedReadingsStoreNothing()
    {
        QFETCH(QString, size1);
        QFETCH(QString, x);
        QFETCH(QString, y);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        QStringList values{QStringLiteral("_"), QStringLiteral("_"), size1, QStringLiteral("0"), QStringLiteral("0")};
        while (values.size() < 99)
            values << QStringLiteral("_");
        m_home->writeTable(zl::settings::kAdjustmentTable, zl::settings::adjustmentColumns(), values);
        const QByteArray table = m_home->readFile(zl::settings::kAdjustmentTable);
        const zltest::ProgramOutcome r = zltest::runProgram(*m_home, {QStringLiteral("--calibrate"), x, y});
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2(r.err.contains(said), qPrintable(r.err));
        QCOMPARE(m_home->readFile(zl::settings::kAdjustmentTable), table);
    }

private:
    std::unique_ptr<zltest::TempHome> m_home;
};

ZL_TEST(CalibrationTest)
#include "CalibrationTest.moc"
