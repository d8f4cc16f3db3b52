// What a printer that keeps its own jobs says of them: which queues lead to
// such a printer, and its count asked from the printer itself (LPrint and a
// driverless printer, started by scripts/test).
#include "common/TestRegistry.h"

#include "cups/platform/PrinterJobReport.h"

#include <QDeadlineTimer>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QUuid>

using namespace zl::printer;

class PrinterJobReportTest : public QObject {
    Q_OBJECT
private slots:
    void reportingPrinters_data()
    {
        QTest::addColumn<QString>("deviceUri");
        QTest::addColumn<bool>("reports");
        QTest::newRow("IPP Everywhere printer") << "ipp://192.0.2.7:631/ipp/print" << true;
        QTest::newRow("printer application") << "ipp://127.0.0.1:8000/ipp/print/Zebra" << true;
        QTest::newRow("another CUPS server") << "ipp://server:631/printers/Label" << false;
        QTest::newRow("socket") << "socket://192.0.2.7:9100" << false;
        QTest::newRow("USB") << "usb://Zebra/ZD420?serial=1" << false;
    }
    void reportingPrinters()
    {
        QFETCH(QString, deviceUri);
        QFETCH(bool, reports);
        QCOMPARE(reportingPrinter(deviceUri).isEmpty(), !reports);
    }

    // A two-label document printed on the printer: the printer's own count
    // of it, asked by the job's name; a name it never printed has none.
    void thePrinterCountsItsOwnJob_data()
    {
        QTest::addColumn<QString>("queueVariable");
        QTest::newRow("LPrint") << "ZENLABO_TEST_LPRINT_QUEUE";
        QTest::newRow("driverless printer") << "ZENLABO_TEST_EVE_ROLL_QUEUE";
    }
    void thePrinterCountsItsOwnJob()
    {
        QFETCH(QString, queueVariable);
        const QString queue = qEnvironmentVariable(qPrintable(queueVariable));
        if (queue.isEmpty())
            QSKIP("the test printers are not up (run scripts/test)");
        QProcess lpstat;
        lpstat.start(QStringLiteral("lpstat"), {QStringLiteral("-v"), queue});
        QVERIFY(lpstat.waitForFinished());
        const QString uri = reportingPrinter(QString::fromUtf8(lpstat.readAllStandardOutput()).section(QStringLiteral(": "), 1).trimmed());
        QVERIFY2(!uri.isEmpty(), qPrintable(queue));
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("two.pdf"));
        {
            QPdfWriter writer(pdf);
            writer.setPageSize(QPageSize(QSizeF(50.8, 31.75), QPageSize::Millimeter));
            QPainter p(&writer);
            p.fillRect(QRect(0, 0, 200, 100), Qt::black);
            writer.newPage();
            p.fillRect(QRect(0, 0, 100, 200), Qt::black);
        }
        const QByteArray name = "ReportTest-" + QUuid::createUuid().toByteArray(QUuid::Id128).left(12);
        QCOMPARE(QProcess::execute(QStringLiteral("lp"), {QStringLiteral("-d"), queue, QStringLiteral("-t"), QString::fromLatin1(name), pdf}), 0);
        PrinterNews news;
        for (QDeadlineTimer deadline(60000); !news.completed && !deadline.hasExpired(); QThread::msleep(200))
            news = askPrinter(uri, name, 2);
        QVERIFY(news.answered);
        QVERIFY(news.completed);
        QCOMPARE(news.pages, 2);
        QCOMPARE(news.pagesBefore, 0);
        const PrinterNews none = askPrinter(uri, "ReportTest-never", 2);
        QVERIFY(none.answered);
        QVERIFY(!none.completed);
        QCOMPARE(none.pages, 0);
    }
};

ZL_TEST(PrinterJobReportTest)
#include "PrinterJobReportTest.moc"
