// The label printers shops have, each through the test scheduler with the
// driver CUPS gives it (scripts/cups-up): the stock ZPL, EPL, DYMO and
// Intellitech drivers (the last two print only inside a margin), a
// driverless IPP Everywhere printer (ippeveprinter, PWG raster), a ZPL
// printer served by LPrint, and a counter PC's driverless queue of the print
// server's label queue. What reaches each device is decoded back to its
// dots: one label a page, the paper in force at the queue's resolution, the
// title whole, a barcode that scans at the device's own resolution with
// every bar and space whole dots.
#include "DeviceOutput.h"
#include "TestEnv.h"
#include "TestRegistry.h"
#include "Zbar.h"

#include "cups/platform/CupsPrinter.h"
#include "label/Barcode.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTest>
#include <QThread>

namespace {

// Files of a device's folder that hold its jobs, oldest first, past the
// first `skip`; waits up to 90 s for `count` of them.
QStringList deviceJobs(const QString &folder, const QString &pattern, int skip = 0, int count = 0)
{
    auto list = [&] { return QDir(folder).entryList({pattern}, QDir::Files, QDir::Time | QDir::Reversed).mid(skip); };
    QStringList names = list();
    for (QDeadlineTimer deadline(90000); names.size() < count && !deadline.hasExpired(); names = list())
        QThread::msleep(100);
    for (QString &n : names)
        n = folder + QLatin1Char('/') + n;
    return names;
}

// Settings whose paper screen stored `yoshi`, printing `zenlabo --print`
// with `arguments` through the test scheduler: true when every label printed.
bool printsFine(zltest::TempHome &home, const QString &yoshi, const QStringList &arguments, QString &output)
{
    home.writeTable(QStringLiteral("vokiconfig4.txt"),
                    {QStringLiteral("TITLE1"), QStringLiteral("TITLE2"), QStringLiteral("YOSHI"), QStringLiteral("PRINTER")},
                    {QStringLiteral("ゼンラボ"), QStringLiteral("税込"), yoshi, QStringLiteral("0")});
    const zltest::ProgramOutcome r =
        zltest::runProgram(home, QStringList{QStringLiteral("--print")} + arguments, qEnvironmentVariable("CUPS_SERVER"));
    output = r.err + r.out;
    return r.exitCode == 0;
}

} // namespace

class LabelPrinterKindsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        m_kinds = qEnvironmentVariable("ZENLABO_TEST_KIND_QUEUES");
        if (m_kinds.isEmpty())
            QSKIP("the label printer queues are not up (ZENLABO_TEST_KIND_QUEUES not set): run scripts/test.");
    }

    void labelsComeOutWholeOnEveryKindOfQueue_data()
    {
        QTest::addColumn<QString>("queue");
        QTest::addColumn<QString>("format"); // what the device is sent
        QTest::addColumn<QString>("folder"); // where the device keeps its jobs
        QTest::addColumn<QString>("yoshi");  // paper stored on the paper screen
        QTest::addColumn<int>("dpi");
        QTest::addColumn<QSize>("dots");     // raster size; height 0: rows after the last mark are not sent
        QTest::addColumn<bool>("turned");    // the layout turned a quarter on portrait stock
        QTest::addColumn<int>("moduleDots"); // the barcode's module, as the stock's printable area scales it
        const QString spool = qEnvironmentVariable("ZENLABO_TEST_SPOOL") + QLatin1Char('/');
        auto row = [](const char *name, const QString &queue, const char *format, const QString &folder, const char *yoshi,
                      int dpi, QSize dots, bool turned = false, int moduleDots = 0) {
            QTest::newRow(name) << queue << QString::fromLatin1(format) << folder << QString::fromLatin1(yoshi) << dpi << dots
                                << turned << (moduleDots ? moduleDots : dpi / 100);
        };
        // The user-defined 50 x 30 mm paper, dot for dot (not 398 x 237).
        row("ZPL 203 dpi, 50 x 30 mm user size", QStringLiteral("ZenlaboLabel"), "zpl", spool + QStringLiteral("ZenlaboLabel"),
            "256", 203, QSize(400, 240));
        row("ZPL 300 dpi, 50 x 30 mm user size", QStringLiteral("ZenlaboLabel300"), "zpl",
            spool + QStringLiteral("ZenlaboLabel300"), "256", 300, QSize(592, 354));
        // Printable area inset 2 x 14.9 pt from the corner of 2.25 x 3.125 in stock.
        // Portrait: turned, scaled to the area's 68.9 mm length (x 1.38).
        row("DYMO 203 dpi, inset stock", QStringLiteral("ZenlaboDymo"), "dymo", spool + QStringLiteral("ZenlaboDymo"), "_",
            203, QSize(448, 0), true, 3);
        // 4 x 6 in, printable area 5.76 pt below the top.
        // Turned; the scale stops at 0.66 mm modules (7 dots at 300 dpi).
        row("Intellitech 300 dpi, 4 x 6 in", QStringLiteral("ZenlaboIntellitech"), "pcl",
            spool + QStringLiteral("ZenlaboIntellitech"), "_", 300, QSize(1200, 0), true, 7);
        row("EPL2 203 dpi, 2 x 1 in", QStringLiteral("ZenlaboEpl"), "epl", spool + QStringLiteral("ZenlaboEpl"), "_", 203,
            QSize(408, 0));
        // Its loaded stock is 50 x 30 mm; CUPS lists it as 50x30mm.Borderless.
        row("driverless printer, its loaded stock", QStringLiteral("ZenlaboDriverless"), "pwg",
            qEnvironmentVariable("ZENLABO_TEST_EVE_SPOOL"), "_", 203, QSize(400, 240));
        // LPrint's ZPL printer, its media-ready stock 2 x 1.25 in; LPrint
        // sends ZPL's ASCII-compressed ~DG graphic.
        row("LPrint ZPL 203 dpi, its loaded stock", qEnvironmentVariable("ZENLABO_TEST_LPRINT_QUEUE"), "zpl",
            qEnvironmentVariable("ZENLABO_TEST_LPRINT_OUT"), "_", 203, QSize(408, 253));
        // The tests' own drivers (scripts/test-ppd): stock of every shape,
        // each label filling its printable area.
        row("4 x 2 in, x 1.69", QStringLiteral("ZenlaboMargins"), "zpl", spool + QStringLiteral("ZenlaboMargins"),
            "media:w288h144", 203, QSize(816, 0), false, 3);
        row("62 mm roll, a page as long as the label", QStringLiteral("ZenlaboRoll"), "zpl", spool + QStringLiteral("ZenlaboRoll"),
            "_", 300, QSize(696, 417), false, 3); // 35.3 mm long: the label, not the driver's 100 mm
        row("25 x 54 mm portrait die-cut, turned", QStringLiteral("ZenlaboPortrait"), "zpl",
            spool + QStringLiteral("ZenlaboPortrait"), "_", 300, QSize(296, 638), true, 2);
        row("29 x 90 mm portrait die-cut, turned", QStringLiteral("ZenlaboPortrait"), "zpl",
            spool + QStringLiteral("ZenlaboPortrait"), "media:29x90mm", 300, QSize(312, 1063), true, 2);
        row("62 x 29 mm, 29 mm high", QStringLiteral("ZenlaboShort"), "zpl", spool + QStringLiteral("ZenlaboShort"), "_", 300,
            QSize(736, 342), false, 3);
        // The counter's driverless queue takes the server queue's 2 x 1 in stock.
        row("counter PC's driverless queue of the server", qEnvironmentVariable("ZENLABO_TEST_COUNTER_QUEUE"), "zpl",
            qEnvironmentVariable("ZENLABO_TEST_SERVER_SPOOL") + QLatin1Char('/')
                + qEnvironmentVariable("ZENLABO_TEST_SERVER_QUEUE"),
            "_", 203, QSize(408, 203));
    }

    void labelsComeOutWholeOnEveryKindOfQueue()
    {
        QFETCH(QString, queue);
        QFETCH(QString, format);
        QFETCH(QString, folder);
        QFETCH(QString, yoshi);
        QFETCH(int, dpi);
        QFETCH(QSize, dots);
        QFETCH(bool, turned);
        QFETCH(int, moduleDots);
        if (yoshi.startsWith(QLatin1String("media:"))) {
            const zl::printer::WaitingAllowed asARun; // the queue's answer, as a run waits for it
            yoshi = QString::number(zl::printer::CupsPrinter(queue).paperCodeForMedia(yoshi.mid(6)));
        }

        zltest::TempHome home;
        home.installDefaults();
        const QStringList values{QStringLiteral("491234500001"), QStringLiteral("4901234")};
        home.writeItems(values);
        // ippeveprinter keeps each job as a PWG raster file.
        const QString pattern = format == QLatin1String("pwg") ? QStringLiteral("*.pwg") : QStringLiteral("job-*.prn");
        const int before = int(deviceJobs(folder, pattern).size());
        QString output;
        QVERIFY2(printsFine(home, yoshi, {QStringLiteral("--printer"), queue}, output), qPrintable(output));
        // Label stock that holds the label draws no warning or notice.
        QVERIFY2(!output.contains(QStringLiteral("警告")) && !output.contains(QStringLiteral("注意")), qPrintable(output));

        // The run is one job, a label a record, in the data's order.
        const QStringList jobs = deviceJobs(folder, pattern, before, 1);
        QCOMPARE(jobs.size(), 1);
        QFile f(jobs.first());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QList<QImage> labels = zltest::decodeLabels(format, f.readAll());
        QVERIFY2(labels.size() == values.size(),
                 qPrintable(QStringLiteral("%1: %2 labels (pages) for %3 records").arg(jobs.first()).arg(labels.size()).arg(values.size())));
        for (int i = 0; i < labels.size(); ++i) {
            QImage label = labels[i];
            if (dots.width())
                QCOMPARE(label.width(), dots.width());
            if (dots.height())
                QCOMPARE(label.height(), dots.height());
            // Read as the layout stands: a turned label is turned back.
            if (turned)
                label = label.transformed(QTransform().rotate(-90));
            // The title, whole: marks from a little below the label's edge
            // (at the edge it is cut off) down to the rule under it.
            int top = 0, rule = 0;
            while (top < label.height() && zltest::runsAlong(label, top).isEmpty())
                ++top;
            for (rule = top; rule < label.height(); ++rule) {
                const QList<int> runs = zltest::runsAlong(label, rule);
                if (runs.size() == 1 && runs.first() > label.width() / 2)
                    break;
            }
            QVERIFY2(top > 0 && (rule - top) * 25.4 / dpi > 1.5,
                     qPrintable(QStringLiteral("%1: the title is not whole (rows %2 to %3)").arg(QStringLiteral("%1, label %2").arg(jobs.first()).arg(i + 1)).arg(top).arg(rule)));
            const QString v = values[i];
            const QString expected = v + QString::number(zl::label::janCheckDigit(v));
            const QStringList scanned = zltest::decodeBarcodes(label);
            QVERIFY2(scanned.size() == 1 && scanned.first().endsWith(QLatin1Char(':') + expected),
                     qPrintable(QStringLiteral("%1: read %2, expected %3").arg(QStringLiteral("%1, label %2").arg(jobs.first()).arg(i + 1), scanned.join(QLatin1Char(' ')), expected)));
            const QList<int> runs = zltest::runsAlong(label, zltest::barRow(label));
            const int modules = expected.size() == 8 ? 67 : 95;
            const QString fault = zltest::moduleFault(runs, modules);
            QVERIFY2(fault.isEmpty(), qPrintable(QStringLiteral("%1, label %2").arg(jobs.first()).arg(i + 1) + QStringLiteral(": ") + fault));
            int total = 0;
            for (int r : runs)
                total += r;
            // The EAN-13's modules say how far the layout was scaled.
            QVERIFY2(modules != 95 || qRound(double(total) / modules) == moduleDots,
                     qPrintable(QStringLiteral("%1: %2 dots for %3 modules, not %4 a module").arg(QStringLiteral("%1, label %2").arg(jobs.first()).arg(i + 1)).arg(total).arg(modules).arg(moduleDots)));
        }
    }

    // Before the first label the command line says what will not come out
    // right: a raw queue passes the PDF on unchanged (printing goes on for
    // printers that read PDF), and a label larger than the paper is named
    // by its rows, as the preview shows it.
    void commandLineWarnsBeforePrinting_data()
    {
        QTest::addColumn<QString>("queue");
        QTest::addColumn<QString>("media"); // the paper stored, by the queue's name for it; empty: its default
        QTest::addColumn<QStringList>("said");
        QTest::addColumn<QStringList>("notSaid");
        QTest::newRow("raw queue") << qEnvironmentVariable("ZENLABO_TEST_RAW_QUEUE") << QString()
                                   << QStringList{QStringLiteral("注意: プリンター「%1」はドライバーのない raw キュー")
                                                      .arg(qEnvironmentVariable("ZENLABO_TEST_RAW_QUEUE")),
                                                  QStringLiteral("LPrint"), QStringLiteral("2枚のラベル")}
                                   << QStringList{QStringLiteral("警告")};
        // Narrower than the label, portrait: turned and fitted, nothing cut.
        QTest::newRow("DYMO address stock, narrower than the label")
            << QStringLiteral("ZenlaboDymo") << QStringLiteral("w81h252") << QStringList{QStringLiteral("2枚のラベル")}
            << QStringList{QStringLiteral("注意"), QStringLiteral("警告")};
    }

    void commandLineWarnsBeforePrinting()
    {
        QFETCH(QString, queue);
        QFETCH(QString, media);
        QFETCH(QStringList, said);
        QFETCH(QStringList, notSaid);
        const zl::printer::WaitingAllowed asARun; // the queue's answer, as a run waits for it
        const int code = media.isEmpty() ? 0 : zl::printer::CupsPrinter(queue).paperCodeForMedia(media);
        QVERIFY2(media.isEmpty() || code > 0, qPrintable(QStringLiteral("%1 does not list %2").arg(queue, media)));
        zltest::TempHome home;
        home.installDefaults();
        QString output;
        QVERIFY2(printsFine(home, code ? QString::number(code) : QStringLiteral("_"),
                            {QStringLiteral("--printer"), queue, QStringLiteral("--from"), QStringLiteral("2"),
                             QStringLiteral("--to"), QStringLiteral("3")},
                            output),
                 qPrintable(output));
        for (const QString &s : said)
            QVERIFY2(output.contains(s), qPrintable(QStringLiteral("「%1」 not in: %2").arg(s, output)));
        for (const QString &s : notSaid)
            QVERIFY2(!output.contains(s), qPrintable(QStringLiteral("「%1」 in: %2").arg(s, output)));
    }

    // A 2 x 1 in label whose driver keeps 3 mm margins at 203 dpi: the
    // layout fitted inside them would have one-dot modules. Nothing reaches
    // the device; the status and the message say why and name the stock.
    void aBarcodeTooFineForTheDotsIsRefused()
    {
        const QString queue = qEnvironmentVariable("ZENLABO_TEST_MARGINS_QUEUE");
        if (queue.isEmpty())
            QSKIP("the stock queues are not up: run scripts/test.");
        const QString folder = qEnvironmentVariable("ZENLABO_TEST_SPOOL") + QLatin1Char('/') + queue;
        const int before = int(deviceJobs(folder, QStringLiteral("job-*.prn")).size());
        zltest::TempHome home;
        home.installDefaults();
        const zltest::ProgramOutcome r = zltest::runProgram(home, {QStringLiteral("--print"), QStringLiteral("--printer"), queue},
                                                            qEnvironmentVariable("CUPS_SERVER"));
        QVERIFY2(r.exitCode == 6 && r.err.contains(QStringLiteral("プリンター「%1」の用紙（2 x 1 in label").arg(queue))
                     && r.err.contains(QStringLiteral("203 dpiのプリンターで1ドット")),
                 qPrintable(QStringLiteral("exit %1: %2").arg(r.exitCode).arg(r.err)));
        QCOMPARE(int(deviceJobs(folder, QStringLiteral("job-*.prn")).size()), before);
    }

    // A label printer's stock set as a custom size, as lpadmin and
    // lpoptions write it, is the stock a run prints on: each label one page
    // of its size at the device, the dots lp makes of it, and the check
    // before the first label judges that stock, not a paper the queue
    // lists. At 203 dpi, 40 mm gives a fitted JAN-13 bars of one dot
    // (1.8 dots a module): refused, as on any stock that narrow; a JAN-8's
    // modules are two dots there.
    void aCustomSizeSetForTheQueueIsTheStock_data()
    {
        QTest::addColumn<QString>("saved"); // the user's lpoptions for the queue; empty: the queue's own default
        QTest::addColumn<QStringList>("values");
        QTest::addColumn<QSize>("dots"); // each label at the device; empty: refused before any
        QTest::addColumn<QString>("said");
        QTest::newRow("Custom.40x30mm, the queue's default")
            << QString() << QStringList{QStringLiteral("4901234"), QStringLiteral("4512345")} << QSize(320, 240) << QString();
        // 406 dots across, sent as whole bytes of dots.
        QTest::newRow("Custom.2x1in, the user's choice")
            << QStringLiteral("PageSize=Custom.2x1in") << QStringList{QStringLiteral("491234500001"), QStringLiteral("4901234")}
            << QSize(408, 203) << QString();
        QTest::newRow("Custom.40x30mm, a JAN-13")
            << QString() << QStringList{QStringLiteral("491234500001")} << QSize()
            << QStringLiteral("の用紙（40 x 30 mm、40.0 x 30.0 mm）: バーコードの細いバーが0.23 mm（203 dpiのプリンターで1ドット）");
        QTest::newRow("Custom.20x15mm, the user's choice")
            << QStringLiteral("PageSize=Custom.20x15mm") << QStringList{QStringLiteral("4901234")} << QSize()
            << QStringLiteral("の用紙（20 x 15 mm、20.0 x 15.0 mm）: バーコードの細いバー");
    }

    void aCustomSizeSetForTheQueueIsTheStock()
    {
        QFETCH(QString, saved);
        QFETCH(QStringList, values);
        QFETCH(QSize, dots);
        QFETCH(QString, said);
        const QString queue = qEnvironmentVariable("ZENLABO_TEST_CUSTOM_QUEUE");
        if (queue.isEmpty())
            QSKIP("the custom size queue is not up (ZENLABO_TEST_CUSTOM_QUEUE): run scripts/test.");
        const QString folder = qEnvironmentVariable("ZENLABO_TEST_SPOOL") + QLatin1Char('/') + queue;
        zltest::TempHome home;
        home.installDefaults();
        home.writeItems(values);
        if (!saved.isEmpty())
            home.writeFile(home.root() + QStringLiteral("/.cups/lpoptions"), "Dest " + queue.toUtf8() + ' ' + saved.toUtf8() + '\n');
        const int before = int(deviceJobs(folder, QStringLiteral("job-*.prn")).size());
        QString output;
        const bool printed = printsFine(home, QStringLiteral("_"), {QStringLiteral("--printer"), queue}, output);
        if (dots.isEmpty()) {
            QVERIFY2(!printed && output.contains(queue + QStringLiteral("」") + said), qPrintable(output));
            QCOMPARE(int(deviceJobs(folder, QStringLiteral("job-*.prn")).size()), before);
            return;
        }
        QVERIFY2(printed, qPrintable(output));
        const QStringList jobs = deviceJobs(folder, QStringLiteral("job-*.prn"), before, 1);
        QCOMPARE(jobs.size(), 1);
        QFile f(jobs.first());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QList<QImage> labels = zltest::decodeLabels(QStringLiteral("zpl"), f.readAll());
        QCOMPARE(labels.size(), values.size());
        for (int i = 0; i < labels.size(); ++i) {
            QCOMPARE(labels[i].size(), dots);
            const QString expected = values[i] + QString::number(zl::label::janCheckDigit(values[i]));
            const QStringList scanned = zltest::decodeBarcodes(labels[i]);
            QVERIFY2(scanned.size() == 1 && scanned.first().endsWith(QLatin1Char(':') + expected),
                     qPrintable(QStringLiteral("label %1: read %2, expected %3").arg(i + 1).arg(scanned.join(QLatin1Char(' ')), expected)));
        }
    }

private:
    QString m_kinds;
};

ZL_TEST(LabelPrinterKindsTest)
#include "LabelPrinterKindsTest.moc"
