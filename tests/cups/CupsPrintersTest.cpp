// The printer layer against a real CUPS scheduler. scripts/test (through
// scripts/cups-up) starts one with a generic PostScript queue and a
// label-printer queue and names them in ZENLABO_TEST_QUEUES.
#include "ModalDialogs.h"
#include "TestScheduler.h"
#include "common/DeviceOutput.h"
#include "common/FakePrinter.h"
#include "common/TestEnv.h"
#include "common/TestRegistry.h"

#include "common/Failure.h"
#include "common/Length.h"
#include "paper/PaperSelection.h"
#include "printer/PrinterSetup.h"
#include "cups/platform/CupsConnection.h"
#include "cups/platform/CupsPrinter.h"
#include "cups/platform/IppMediaDatabase.h"
#include "cups/platform/PrintSetupMapping.h"
#include "cups/platform/QtPrintDialogParts.h"
#include "cups/platform/SystemPrinters.h"

#include "paper/ui/PrinterScreens.h"
#include "cups/ui/SystemPrintSetupDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QDialog>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <cstring>
#include <cups/cups.h>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTest>
#include <optional>
#include <QThread>
#include <QUrl>

using namespace zl::printer;

using zltest::whenDialogIsUp;

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

class CupsPrintersTest : public QObject {
    Q_OBJECT

private slots:
    // Skipping is done per test: a skip in initTestCase would also stop the
    // other test classes of this executable from running.
    void initTestCase()
    {
        const QStringList queues = qEnvironmentVariable("ZENLABO_TEST_QUEUES").split(QLatin1Char(','), Qt::SkipEmptyParts);
        if (queues.size() < 2) {
            m_unavailable = "CUPS is not up for the tests (ZENLABO_TEST_QUEUES not set): run scripts/test, which starts it.";
            return;
        }
        // Once the script says CUPS is up, queues that are not there are a fault.
        const QStringList installed = QPrinterInfo::availablePrinterNames();
        QVERIFY2(installed.contains(queues[0]) && installed.contains(queues[1]),
                 qPrintable(QStringLiteral("the test queues %1 are not listed by CUPS (listed: %2)")
                                .arg(queues.join(QLatin1Char(',')), installed.join(QLatin1Char(',')))));
        m_generic = queues[0];
        m_label = queues[1];
        m_spool = qEnvironmentVariable("ZENLABO_TEST_SPOOL");
    }

    void init()
    {
        if (m_unavailable)
            QSKIP(m_unavailable);
        // Read as a run reads them, waiting for the answers; what the
        // windows show meanwhile is the screens' tests'.
        m_asARun.emplace();
    }

    void cleanup()
    {
        m_asARun.reset();
        installPrinters(nullptr);
        clearSavedPrinterSettings();
    }

    void systemCollectionListsQueuesThenBuiltInPrinter()
    {
        auto pdf = std::make_unique<zltest::FakePrinter>(QStringLiteral("Zenlabo PDF"));
        Printer *pdfRaw = pdf.get();
        installSystemPrinters(std::move(pdf));
        const QList<Printer *> list = printers()->printers();
        QStringList names;
        for (Printer *p : list)
            names << p->deviceName();
        QVERIFY2(names.contains(m_generic) && names.contains(m_label), qPrintable(names.join(QLatin1Char(','))));
        QCOMPARE(list.last(), pdfRaw);
        QCOMPARE(names.mid(0, names.size() - 1), QPrinterInfo::availablePrinterNames());
        // The test scheduler's default queue is the generic one.
        QCOMPARE(currentPrinter()->deviceName(), QPrinterInfo::defaultPrinterName());
    }

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

    void applyFindsQueueByNameInAnotherCase()
    {
        installSystemPrinters(std::make_unique<zltest::FakePrinter>(QStringLiteral("Zenlabo PDF")));
        QVERIFY(ApplyPrinterSettings(m_label.toLower(), 257, 2, 7));
        QCOMPARE(currentPrinter()->deviceName(), m_label);
        QCOMPARE(currentPrinter()->paperSize(), std::optional<int>(257));
        QCOMPARE(currentPrinter()->orientation(), std::optional<int>(2));
        SavePrinterSettings();
        QVERIFY(ApplyPrinterSettings(m_generic.toUpper(), 9, 1, 7));
        QCOMPARE(currentPrinter()->deviceName(), m_generic);
        QVERIFY(RestorePrinterSettings());
        QCOMPARE(currentPrinter()->deviceName(), m_label);
    }

    void uninstalledNameSelectsNothing()
    {
        installSystemPrinters(nullptr);
        Printer *before = currentPrinter();
        QVERIFY(before);
        QVERIFY(!ApplyPrinterSettings(QStringLiteral("NoSuchQueue"), 9, 1, 7));
        QCOMPARE(currentPrinter(), before);

        // The dialog is not handed a queue that is not there either.
        PrintSetupRecords r;
        fillDevNames(r.devNames, QString(), QStringLiteral("NoSuchQueue"), QString());
        QPrinter qprinter;
        qprinter.setPrinterName(m_label);
        configureFromRecords(qprinter, r);
        QCOMPARE(qprinter.printerName(), m_label);

        CupsPrinter gone(QStringLiteral("NoSuchQueue"));
        QPicture page;
        QPainter(&page).drawLine(0, 0, 10, 10);
        QVERIFY_THROWS_EXCEPTION(zl::Failure, gone.printDocument({page}));
    }

    // What the print-setup dialog confirms is what CUPS receives. Each case
    // starts from a printer and paper in force, acts in the real dialog
    // (offscreen) and prints one page; the job's attributes are read back
    // from the scheduler.
    void dialogChoicesReachTheJob_data()
    {
        QTest::addColumn<QString>("startQueue"); // empty: the built-in PDF printer
        QTest::addColumn<QString>("startPaper"); // media keyword in force
        QTest::addColumn<int>("startDpi");
        QTest::addColumn<QString>("chooseQueue"); // empty: keep; "later": a queue added after start
        QTest::addColumn<QString>("choosePaper"); // paper text in the properties; empty: do not open them
        QTest::addColumn<QString>("chooseDpi");
        QTest::addColumn<QString>("expectQueue");
        QTest::addColumn<QString>("expectMedia");
        QTest::addColumn<QString>("expectResolution");
        const QString label = m_label;
        QTest::newRow("unchanged OK keeps printer, paper, resolution")
            << label << "w144h72" << 300 << QString() << QString() << QString() << label << "w144h72" << "300dpi";
        QTest::newRow("unchanged OK on the built-in PDF printer") << QString() << QString() << 0 << QString() << QString()
                                                                 << QString() << QString() << QString() << QString();
        // Listed after the queues, the program's own; no job is sent.
        QTest::newRow("the built-in PDF printer chosen")
            << label << "w144h72" << 203 << QStringLiteral("Zenlabo PDF") << QString() << QString()
            << QStringLiteral("Zenlabo PDF") << QString() << QString();
        QTest::newRow("another queue brings its own paper in force")
            << m_generic << "A4" << 0 << label << QString() << QString() << label << "w288h360" << "203dpi";
        QTest::newRow("queue's own default paper chosen again, and 300 dpi")
            << label << "w144h72" << 203 << QString() << "4.00x5.00\"" << "300dpi" << label << "w288h360" << "300dpi";
        // Its name has a letter Shift-JIS cannot carry: found by its exact name.
        QTest::newRow("a queue added after the program started")
            << label << "w144h72" << 203 << "later" << QString() << QString() << QStringLiteral("ZenlaboÉtiquette")
            << "w288h360" << "203dpi";
    }

    void dialogChoicesReachTheJob()
    {
        QFETCH(QString, startQueue);
        QFETCH(QString, startPaper);
        QFETCH(int, startDpi);
        QFETCH(QString, chooseQueue);
        QFETCH(QString, choosePaper);
        QFETCH(QString, chooseDpi);
        QFETCH(QString, expectQueue);
        QFETCH(QString, expectMedia);
        QFETCH(QString, expectResolution);
        zltest::TempHome home; // no saved options of the machine's user
        auto pdf = std::make_unique<zltest::FakePrinter>(QStringLiteral("Zenlabo PDF"));
        pdf->accept(256, 2835, 1701);
        Printer *pdfPrinter = pdf.get();
        installSystemPrinters(std::move(pdf));
        if (startQueue.isEmpty()) {
            printers()->setCurrent(pdfPrinter);
        } else {
            auto *queue = dynamic_cast<CupsPrinter *>(findPrinter(startQueue));
            QVERIFY(queue);
            printers()->setCurrent(queue);
            QVERIFY(queue->setPaperSize(queue->paperCodeForMedia(startPaper)));
            if (startDpi)
                QVERIFY(queue->setPrintQuality(startDpi));
        }
        const std::optional<int> paperBefore = currentPrinter()->paperSize();

        QString addedQueue;
        if (chooseQueue == QLatin1String("later")) {
            // Added while the program runs: after the collection was made.
            addedQueue = expectQueue;
            QVERIFY(QProcess::execute(QStringLiteral("lpadmin"),
                                      {QStringLiteral("-p"), addedQueue, QStringLiteral("-E"), QStringLiteral("-v"),
                                       QStringLiteral("file:/dev/null"), QStringLiteral("-m"),
                                       QStringLiteral("drv:///sample.drv/zebra.ppd")})
                    == 0);
            chooseQueue = addedQueue;
        }
        auto removeAdded = qScopeGuard([&] {
            if (!addedQueue.isEmpty())
                QProcess::execute(QStringLiteral("lpadmin"), {QStringLiteral("-x"), addedQueue});
        });

        installPrintSetupDialog(std::make_unique<zl::ui::SystemPrintSetupDialog>());
        bool answered = false;
        // The parts of Qt's dialogs the form reaches by name: a Qt that renamed one fails here, by name.
        QStringList missingInQt;
        auto accept = [&answered](QDialog *dialog) {
            answered = true;
            dialog->accept();
        };
        whenDialogIsUp(this, [](QDialog *d) { return d->inherits("QPrintDialog"); }, [&](QDialog *dialog) {
            missingInQt << qtdialog::missingInPrintDialog(*dialog);
            // What the print-setup form does not offer.
            for (const char *name : {"copies", "gbPrintRange", "filename"}) {
                const auto *w = dialog->findChild<QWidget *>(QLatin1String(name));
                QVERIFY2(!w || !w->isVisibleTo(dialog), name);
            }
            auto *printerBox = dialog->findChild<QComboBox *>(QStringLiteral("printers"));
            QVERIFY(printerBox);
            if (!chooseQueue.isEmpty()) {
                const int i = printerBox->findText(chooseQueue);
                QVERIFY2(i >= 0, qPrintable(chooseQueue + QStringLiteral(" is not offered")));
                printerBox->setCurrentIndex(i);
            }
            if (choosePaper.isEmpty()) {
                accept(dialog);
                return;
            }
            whenDialogIsUp(this, [dialog](QDialog *d) { return d != dialog; }, [&, dialog](QDialog *properties) {
                missingInQt << qtdialog::missingInPropertiesDialog(*properties, true);
                auto *paper = properties->findChild<QComboBox *>(QStringLiteral("pageSizeCombo"));
                QVERIFY(paper);
                // The properties open on what is in force.
                QCOMPARE(paper->currentText(), QStringLiteral("2.00x1.00\""));
                paper->setCurrentIndex(paper->findText(choosePaper));
                // Resolution and the driver's darkness, among its options.
                for (QComboBox *box : properties->findChildren<QComboBox *>()) {
                    if (!qtdialog::driverOptionOf(box))
                        continue;
                    if (const int i = box->findText(chooseDpi); !chooseDpi.isEmpty() && i >= 0)
                        box->setCurrentIndex(i);
                    else if (box->count() == 31 && box->findText(QStringLiteral("10")) >= 0) // Darkness: default, 1..30
                        box->setCurrentIndex(box->findText(QStringLiteral("10")));
                }
                properties->accept();
                // The print dialog takes the properties once they have closed.
                whenDialogIsUp(this, [dialog](QDialog *d) { return d == dialog; }, accept);
            });
            QMetaObject::invokeMethod(dialog->findChild<QPushButton *>(QStringLiteral("properties")), "click",
                                      Qt::QueuedConnection);
        });
        QCOMPARE(runPrinterSetup(PD_PRINTSETUP, nullptr), SetupResult::Confirmed);
        QVERIFY(answered);
        QVERIFY2(missingInQt.isEmpty(), qPrintable(missingInQt.join(QStringLiteral(", "))));

        if (expectQueue.isEmpty()) { // nothing changed
            QCOMPARE(currentPrinter(), pdfPrinter);
            QCOMPARE(currentPrinter()->paperSize(), paperBefore);
            return;
        }
        QCOMPARE(currentPrinter()->deviceName(), expectQueue);
        if (currentPrinter() == pdfPrinter)
            return;
        QPicture page;
        QPainter(&page).drawRect(QRectF(2, 2, 20, 10));
        currentPrinter()->printDocument({page});
        const QMap<QString, QString> job =
            zltest::jobAttributes(qEnvironmentVariable("CUPS_SERVER"), 0, expectQueue);
        QCOMPARE(job.value(QStringLiteral("media")), expectMedia);
        QCOMPARE(job.value(QStringLiteral("Resolution")), expectResolution);
        QCOMPARE(job.value(QStringLiteral("copies"), QStringLiteral("1")), QStringLiteral("1"));
        if (!choosePaper.isEmpty())
            QCOMPARE(job.value(QStringLiteral("Darkness")), QStringLiteral("10"));
    }

    // A queue that will not print gets nothing and says why; a job CUPS
    // aborts is a failure of the run.
    void queueThatCannotPrintIsReported_data()
    {
        QTest::addColumn<QStringList>("breakIt"); // lpadmin-like command and arguments
        QTest::addColumn<QStringList>("mendIt");
        QTest::addColumn<QString>("message");
        QTest::newRow("stopped") << QStringList{QStringLiteral("cupsdisable"), m_generic}
                                 << QStringList{QStringLiteral("cupsenable"), m_generic} << QStringLiteral("停止しています");
        QTest::newRow("refusing jobs") << QStringList{QStringLiteral("cupsreject"), m_generic}
                                       << QStringList{QStringLiteral("cupsaccept"), m_generic}
                                       << QStringLiteral("受け付けていません");
        // The backend fails on a folder that is not there; the queue aborts the job.
        QTest::newRow("job aborted")
            << QStringList{QStringLiteral("lpadmin"), QStringLiteral("-p"), QStringLiteral("ZenlaboBroken"), QStringLiteral("-E"),
                           QStringLiteral("-v"), QStringLiteral("zenlabo-copy:/nonexistent/folder"), QStringLiteral("-m"),
                           QStringLiteral("raw"), QStringLiteral("-o"), QStringLiteral("printer-error-policy=abort-job")}
            << QStringList{QStringLiteral("lpadmin"), QStringLiteral("-x"), QStringLiteral("ZenlaboBroken")}
            << QStringLiteral("中止しました");
    }

    void queueThatCannotPrintIsReported()
    {
        QFETCH(QStringList, breakIt);
        QFETCH(QStringList, mendIt);
        QFETCH(QString, message);
        QCOMPARE(QProcess::execute(breakIt.first(), breakIt.mid(1)), 0);
        auto mend = qScopeGuard([&] { QProcess::execute(mendIt.first(), mendIt.mid(1)); });
        const QString queue = breakIt.first() == QLatin1String("lpadmin") ? breakIt[2] : breakIt[1];
        const int jobsBefore = zltest::jobAttributes(qEnvironmentVariable("CUPS_SERVER"), 0, queue)
                                   .value(QStringLiteral("job-id"))
                                   .toInt();
        CupsPrinter printer(queue);
        QPicture page;
        QPainter(&page).drawRect(QRectF(2, 2, 20, 10));
        QString said;
        printer.beginRun();
        try {
            printer.printDocument({page});
            said = printer.finishDocuments({}).problem;
        } catch (const zl::Failure &f) {
            said = f.description();
        }
        printer.endRun(said.isEmpty());
        QVERIFY2(said.contains(message) && said.contains(queue), qPrintable(said));
        if (breakIt.first() != QLatin1String("lpadmin")) // nothing was sent to a queue that would not print it
            QCOMPARE(zltest::jobAttributes(qEnvironmentVariable("CUPS_SERVER"), 0, queue).value(QStringLiteral("job-id")).toInt(),
                     jobsBefore);
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

    void printedDocumentReachesTheQueue()
    {
        if (m_spool.isEmpty())
            QSKIP("ZENLABO_TEST_SPOOL is not set: the queue's output cannot be seen.");
        const QDir out(m_spool + QLatin1Char('/') + m_generic);
        const QStringList before = out.entryList({QStringLiteral("job-*.prn")}, QDir::Files);

        CupsPrinter printer(m_generic);
        QVERIFY(printer.setPaperSize(9));
        const PageGeometry g = printer.pageGeometry();
        QVERIFY(qAbs(g.paperMm.width() - 210) < 0.5 && qAbs(g.paperMm.height() - 297) < 0.5);
        QVERIFY(g.printableMm.width() > 100 && g.printableMm.width() <= 210);
        QPicture page;
        {
            QPainter p(&page);
            p.drawRect(QRectF(10, 10, 50, 30));
        }
        printer.printDocument({page, page});

        QStringList added;
        for (int i = 0; i < 150 && added.isEmpty(); ++i) {
            QThread::msleep(100);
            added = out.entryList({QStringLiteral("job-*.prn")}, QDir::Files);
            for (const QString &f : before)
                added.removeAll(f);
        }
        QVERIFY2(!added.isEmpty(), "no job arrived at the generic queue's output within 15 s");
        QFile job(out.filePath(added.first()));
        QVERIFY(job.open(QIODevice::ReadOnly));
        const QByteArray data = job.readAll();
        QVERIFY2(data.startsWith("%!PS"), data.left(40).constData());
        QVERIFY(data.contains("%%Pages: 2"));
    }

    // Form7's print setup makes the choice the user's own CUPS default (the
    // user's lpoptions, never the system's), and the current printer and
    // every later start follow it.
    void form7SetupBecomesTheUsersDefault()
    {
        zltest::TempHome home;
        home.installDefaults();
        const QByteArray systemOptions = [] {
            QFile f(QStringLiteral("/etc/cups/lpoptions"));
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
        }();
        installSystemPrinters(nullptr);
        printers()->setCurrent(findPrinter(m_generic));
        const int stock = CupsPrinter(m_label).paperCodeForMedia(QStringLiteral("w144h72"));
        QVERIFY(stock >= 257);
        zltest::installScriptedDialog([this, stock](PrintSetupRecords &r) {
            fillDevNames(r.devNames, QString(), m_label, QString());
            r.deviceName = m_label;
            r.devMode.dmPaperSize = int16_t(stock);
            r.devMode.dmPrintQuality = 300;
            r.driverOptions = QStringList{QStringLiteral("Darkness=10")};
            return true;
        });
        zl::ui::PaperSelectionScreen form7(nullptr);
        form7.findChild<QPushButton *>(QStringLiteral("Command2"))->click();
        installPrintSetupDialog(nullptr);
        QCOMPARE(currentPrinter()->deviceName(), m_label);
        // The paper list is now the label printer's, whose driver needs no notice.
        QVERIFY(form7.findChild<QLabel *>(QStringLiteral("LabelNotice"))->text().isEmpty());
        const auto lists = form7.findChildren<QListWidget *>(QStringLiteral("List2"));
        QVERIFY(!lists[1]->findItems(QString::number(stock), Qt::MatchExactly).isEmpty());

        const QString saved = QString::fromUtf8(home.readFile(home.root() + QStringLiteral("/.cups/lpoptions")));
        for (const QString &part : {QStringLiteral("Default %1 ").arg(m_label), QStringLiteral("media=w144h72"),
                                    QStringLiteral("Resolution=300dpi"), QStringLiteral("Darkness=10")})
            QVERIFY2(saved.contains(part), qPrintable(saved));
        QFile system(QStringLiteral("/etc/cups/lpoptions"));
        QCOMPARE(system.open(QIODevice::ReadOnly) ? system.readAll() : QByteArray("<none>"), systemOptions);

        // A later start: the user's default queue is current, with that paper and resolution.
        installSystemPrinters(nullptr);
        QCOMPARE(currentPrinter()->deviceName(), m_label);
        QCOMPARE(currentPrinter()->paperSize(), std::optional<int>(stock));
        QCOMPARE(currentPrinter()->printQuality(), std::optional<int>(300));
    }

    // A raw queue has no paper list: the screens open and work, and a page
    // goes out on the label stock in force.
    void rawQueueWorksWithTheScreens()
    {
        const QString raw = qEnvironmentVariable("ZENLABO_TEST_RAW_QUEUE");
        if (raw.isEmpty() || m_spool.isEmpty())
            QSKIP("no raw test queue");
        zltest::TempHome home;
        home.installDefaults();
        installSystemPrinters(nullptr);
        printers()->setCurrent(findPrinter(raw));
        QCOMPARE(currentPrinter()->deviceName(), raw);
        zl::ui::ConnectionTypeScreen form17(nullptr); // saves the printer settings as it opens
        QCOMPARE(savedPrinterSettings().deviceName, raw);
        zl::ui::PaperSelectionScreen form7(nullptr);
        const auto lists = form7.findChildren<QListWidget *>(QStringLiteral("List2"));
        QCOMPARE(lists.size(), 2);
        QCOMPARE(lists[0]->count(), 1);
        QCOMPARE(lists[0]->item(0)->text(), QStringLiteral("ユーザー定義サイズ\t50 x 30 mm\t256"));
        // Before any label: the PDF goes to the device unchanged.
        const QString notice = form7.findChild<QLabel *>(QStringLiteral("LabelNotice"))->text();
        QVERIFY2(notice.contains(QStringLiteral("raw キュー")) && notice.contains(QStringLiteral("LPrint")), qPrintable(notice));
        QVERIFY(zl::printer::printerInForceText().contains(QStringLiteral("注意: ") + notice));
        QVERIFY(RestorePrinterSettings());

        const QString folder = m_spool + QLatin1Char('/') + raw;
        const int before = int(zltest::jobFiles(folder).size());
        QPicture page;
        QPainter(&page).drawRect(QRectF(2, 2, 20, 10));
        currentPrinter()->printDocument({page});
        const QStringList jobs = zltest::waitForJobs(folder, before, 1, 15000);
        QCOMPARE(jobs.size(), 1);
        QFile f(jobs.first());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray pdf = f.readAll();
        QVERIFY(pdf.startsWith("%PDF"));
        // 50 x 30 mm to the twip, not in whole points.
        QVERIFY2(pdf.contains("/MediaBox [0 0 141.7500 85.0500"), pdf.mid(pdf.indexOf("/MediaBox"), 40).constData());
    }

    // A scheduler that stops answering (frozen) costs seconds, not the
    // program: the list still offers the built-in printer and printing ends
    // with a message.
    void frozenSchedulerEndsInSeconds()
    {
        const QString pid = zltest::schedulerPid();
        if (pid.isEmpty())
            QSKIP("the test scheduler's process id is not known");
        auto pdf = std::make_unique<zltest::FakePrinter>(QStringLiteral("Zenlabo PDF"));
        Printer *pdfPrinter = pdf.get();
        installSystemPrinters(std::move(pdf));
        CupsPrinter label(m_label);
        QVERIFY(label.paperSize()); // what the queue offers is known before it freezes
        setCupsTimeLimitSeconds(2);
        zltest::FrozenScheduler frozen(pid);
        QVERIFY(frozen.frozen());
        auto thaw = qScopeGuard([&frozen] {
            frozen.thaw();
            setCupsTimeLimitSeconds(8);
            cupsAnswered();
        });
        QElapsedTimer t;
        t.start();
        QVERIFY(printers()->printers().contains(pdfPrinter));
        QCOMPARE(findPrinter(QStringLiteral("Zenlabo PDF")), pdfPrinter);
        QVERIFY2(t.elapsed() < 5000, qPrintable(QString::number(t.elapsed())));
        QPicture page;
        QPainter(&page).drawRect(QRectF(2, 2, 20, 10));
        QString said;
        t.restart();
        try {
            label.printDocument({page});
        } catch (const zl::Failure &f) {
            said = f.description();
        }
        QVERIFY2(said.contains(QStringLiteral("応答しませんでした")) && said.contains(m_label), qPrintable(said));
        QVERIFY2(t.elapsed() < 8000, qPrintable(QString::number(t.elapsed())));

        // The printer screens still open at once on a queue nothing is known of.
        zltest::TempHome home;
        home.installDefaults();
        printers()->setCurrent(findPrinter(m_generic) ? findPrinter(m_generic) : &label);
        t.restart();
        zl::ui::ConnectionTypeScreen form17(nullptr);
        zl::ui::PaperSelectionScreen form7(nullptr);
        QVERIFY2(t.elapsed() < 1000, qPrintable(QString::number(t.elapsed())));
    }

private:
    QString m_generic, m_label, m_spool;
    const char *m_unavailable = nullptr;
    std::optional<WaitingAllowed> m_asARun;
};

ZL_TEST(CupsPrintersTest)
#include "CupsPrintersTest.moc"
