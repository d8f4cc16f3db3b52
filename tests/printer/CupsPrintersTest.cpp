// The printer layer against a real CUPS scheduler. scripts/test (through
// scripts/cups-up) starts one with a generic PostScript queue and a
// label-printer queue and names them in ZENLABO_TEST_QUEUES.
#include "common/FakePrinter.h"
#include "common/TestRegistry.h"

#include "common/Failure.h"
#include "printer/PaperSelection.h"
#include "printer/PrinterSetup.h"
#include "printer/platform/CupsPrinter.h"
#include "printer/platform/PrintSetupMapping.h"
#include "printer/platform/SystemPrinters.h"

#include "printer/ui/SystemPrintSetupDialog.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QTimer>
#include <cstring>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTest>
#include <QThread>

using namespace zl::printer;

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
    }

    void cleanup()
    {
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

    void dialogRecordsRoundTripThroughQPrinter()
    {
        installSystemPrinters(nullptr);
        QVERIFY(ApplyPrinterSettings(m_label, 258, 1, 7));
        PrintSetupRecords r = buildPrintSetupRecords(currentPrinter());
        QCOMPARE(r.devMode.dmPaperSize, int16_t(258));
        QPrinter qprinter(QPrinter::HighResolution);
        configureFromRecords(qprinter, r);
        QCOMPARE(qprinter.printerName(), m_label);
        r.devMode.dmPaperSize = 0;
        readBackIntoRecords(qprinter, r);
        QCOMPARE(r.devMode.dmPaperSize, int16_t(258));
        QCOMPARE(devNamesEntry(r.devNames, r.devNames.wDeviceOffset), m_label);

        // The label queue lists A5 twice (11 and its own 257): the code handed in stays.
        QVERIFY(ApplyPrinterSettings(m_label, 257, 1, 7));
        PrintSetupRecords a5 = buildPrintSetupRecords(currentPrinter());
        QPrinter a5printer(QPrinter::HighResolution);
        configureFromRecords(a5printer, a5);
        readBackIntoRecords(a5printer, a5);
        QCOMPARE(a5.devMode.dmPaperSize, int16_t(257));

        // Another queue chosen with A4: the paper comes back as code 9.
        qprinter.setPrinterName(m_generic);
        qprinter.setPageSize(QPageSize(QPageSize::A4));
        readBackIntoRecords(qprinter, r);
        QCOMPARE(devModeDeviceName(r.devMode), m_generic);
        QCOMPARE(r.devMode.dmPaperSize, int16_t(9));
    }

    void systemDialogAnswersConfirmAndCancel()
    {
        installSystemPrinters(nullptr);
        QVERIFY(ApplyPrinterSettings(m_label, 258, 1, 7));
        zl::ui::SystemPrintSetupDialog dialog;
        for (const bool confirm : {false, true}) {
            PrintSetupRecords r = buildPrintSetupRecords(currentPrinter());
            const PrintSetupRecords handedIn = r;
            bool answered = false;
            QTimer::singleShot(0, this, [&] {
                auto *d = qobject_cast<QDialog *>(QApplication::activeModalWidget());
                QVERIFY(d);
                answered = true;
                confirm ? d->accept() : d->reject();
            });
            QCOMPARE(dialog.run(r, PD_PRINTSETUP | PD_NOPAGENUMS | PD_NOSELECTION | PD_HIDEPRINTTOFILE, nullptr), confirm);
            QVERIFY(answered);
            if (!confirm)
                QVERIFY(std::memcmp(&r, &handedIn, sizeof r) == 0);
            // Confirmed without touching the paper: the paper handed in stands.
            QCOMPARE(r.devMode.dmPaperSize, int16_t(258));
            QCOMPARE(devNamesEntry(r.devNames, r.devNames.wDeviceOffset), m_label);
        }
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

private:
    QString m_generic, m_label, m_spool;
    const char *m_unavailable = nullptr;
};

ZL_TEST(CupsPrintersTest)
#include "CupsPrintersTest.moc"
