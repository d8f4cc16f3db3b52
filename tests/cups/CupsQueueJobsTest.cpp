// Printing to CUPS queues, against a real scheduler: a document reaching
// the queue, a raw queue with the screens, queues that will not print, and
// a scheduler that stops answering.
#include "CupsQueueFixture.h"
#include "TestScheduler.h"
#include "common/DeviceOutput.h"
#include "common/FakePrinter.h"
#include "common/TestEnv.h"
#include "common/TestRegistry.h"

#include "common/Failure.h"
#include "paper/PaperSelection.h"
#include "printer/PrinterSetup.h"
#include "cups/platform/CupsConnection.h"
#include "cups/platform/CupsPrinter.h"
#include "cups/platform/SystemPrinters.h"

#include "paper/ui/PrinterScreens.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPicture>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>
#include <QThread>

using namespace zl::printer;

class CupsQueueJobsTest : public CupsQueueFixture {
    Q_OBJECT

private slots:
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
};

ZL_TEST(CupsQueueJobsTest)
#include "CupsQueueJobsTest.moc"
