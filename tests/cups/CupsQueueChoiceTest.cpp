// Choosing a CUPS queue, against a real scheduler: the collection the
// program lists, a queue found by name, the print-setup dialog and the
// paper screen's setup, each choice followed to the job CUPS receives.
#include "CupsQueueFixture.h"
#include "ModalDialogs.h"
#include "common/DeviceOutput.h"
#include "common/FakePrinter.h"
#include "common/TestEnv.h"
#include "common/TestRegistry.h"

#include "common/Failure.h"
#include "paper/PaperSelection.h"
#include "printer/PrinterSetup.h"
#include "cups/platform/CupsPrinter.h"
#include "cups/platform/PrintSetupMapping.h"
#include "cups/platform/QtPrintDialogParts.h"
#include "cups/platform/SystemPrinters.h"

#include "paper/ui/PrinterScreens.h"
#include "cups/ui/SystemPrintSetupDialog.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QDialog>
#include <QFile>
#include <QPainter>
#include <QPicture>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScopeGuard>
#include <QTest>

using namespace zl::printer;

using zltest::whenDialogIsUp;

class CupsQueueChoiceTest : public CupsQueueFixture {
    Q_OBJECT

private slots:
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
};

ZL_TEST(CupsQueueChoiceTest)
#include "CupsQueueChoiceTest.moc"
