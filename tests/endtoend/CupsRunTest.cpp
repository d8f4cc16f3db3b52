// A print run into a real CUPS queue (the scheduler scripts/test starts):
// one job per label, and every job, rasterised as a printer would, scans
// back to the record's JAN digits.
#include "TestEnv.h"
#include "Zbar.h"
#include "TestRegistry.h"

#include "printer/platform/SystemPrinters.h"
#include "printing/Barcode.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QImageReader>
#include <QProcess>
#include <QTest>
#include <QThread>

namespace {

QStringList jobsIn(const QString &folder)
{
    QStringList jobs = QDir(folder).entryList({QStringLiteral("job-*.prn")}, QDir::Files);
    std::sort(jobs.begin(), jobs.end(), [](const QString &a, const QString &b) {
        return a.mid(4).chopped(4).toInt() < b.mid(4).chopped(4).toInt();
    });
    return jobs;
}

// What zbar reads off the job when it is rasterised at `dpi`: the digits of
// the one barcode in the label's corner of the page, or what went wrong.
QString scan(const QString &job, int dpi, const QString &workDir)
{
    const QString png = workDir + QStringLiteral("/page-%1.png").arg(dpi);
    QFile::remove(png);
    QProcess gs;
    gs.start(QStringLiteral("gs"), {QStringLiteral("-q"), QStringLiteral("-dNOPAUSE"), QStringLiteral("-dBATCH"),
                                    QStringLiteral("-dSAFER"), QStringLiteral("-sDEVICE=pnggray"),
                                    QStringLiteral("-r%1").arg(dpi), QStringLiteral("-dFirstPage=1"),
                                    QStringLiteral("-dLastPage=1"), QStringLiteral("-sOutputFile=") + png, job});
    if (!gs.waitForFinished(120000) || gs.exitCode() != 0)
        return QStringLiteral("<gs failed: %1>").arg(QString::fromUtf8(gs.readAllStandardError()));
    QImageReader reader(png);
    reader.setAllocationLimit(1024); // a Letter page at 1200 dpi
    const QImage page = reader.read();
    if (page.isNull())
        return QStringLiteral("<no image>");
    // The label sits in the page's top-left corner; zbar wants no more than that.
    const int px = int(dpi * 80 / 25.4);
    const QStringList found = zltest::decodeBarcodes(page.copy(0, 0, px, px));
    if (found.size() > 1)
        return QStringLiteral("<several: %1>").arg(found.join(QLatin1Char(' ')));
    return found.isEmpty() ? QString() : found.first().section(QLatin1Char(':'), 1);
}

} // namespace

class CupsRunTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        const QStringList queues =
            qEnvironmentVariable("ZENLABO_TEST_QUEUES").split(QLatin1Char(','), Qt::SkipEmptyParts);
        m_spool = qEnvironmentVariable("ZENLABO_TEST_SPOOL");
        if (queues.isEmpty() || m_spool.isEmpty())
            QSKIP("CUPS is not up for the tests (ZENLABO_TEST_QUEUES/ZENLABO_TEST_SPOOL not set): run scripts/test.");
        m_queue = queues.first(); // the generic PostScript queue
        // The resolution the program draws for on that queue, which is the
        // one its dot-aligned bars are made for.
        auto all = zl::printer::systemPrinters(nullptr);
        for (zl::printer::Printer *p : all->printers())
            if (p->deviceName() == m_queue)
                m_dpi = p->pageGeometry().dpi;
        QVERIFY2(m_dpi > 0, qPrintable(QStringLiteral("queue %1 is not listed").arg(m_queue)));
        qInfo("queue %s draws at %d dpi", qPrintable(m_queue), m_dpi);
    }

    void everyRecordBecomesOneJobThatScans()
    {
        zltest::TempHome home;
        home.installDefaults();
        QStringList values;
        QString csv = QStringLiteral("JANコード,商品名,規格,価格\r\n");
        for (int i = 1; i <= 12; ++i) {
            // Leading zeros, 12 and 13 digits, and one JAN-8.
            QString v = i == 1   ? QStringLiteral("001234500001%1").arg(zl::printing::janCheckDigit(QStringLiteral("001234500001")))
                        : i == 2 ? QStringLiteral("4901234")
                                 : QStringLiteral("49123450%1").arg(i, 4, 10, QLatin1Char('0'));
            values << v;
            csv += QStringLiteral("%1,商品%2,規格,%3\r\n").arg(v).arg(i).arg(i * 100);
        }
        csv += QStringLiteral("49123X,読めない,規格,500\r\n");
        home.writeFile(QStringLiteral("items.csv"), zltest::sjis(csv));
        home.writeTable(QStringLiteral("vokiconfig2.txt"), {QStringLiteral("DB1"), QStringLiteral("DB2")},
                        {home.settingsFolder(), QStringLiteral("items.csv")});

        const QString folder = m_spool + QLatin1Char('/') + m_queue;
        const int before = jobsIn(folder).size();

        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home.root());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.root() + QStringLiteral("/config"));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(ZENLABO_BINARY), {QStringLiteral("--print"), QStringLiteral("--printer"), m_queue});
        QVERIFY(p.waitForFinished(120000));
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QVERIFY2(p.exitCode() == 0, qPrintable(err));
        QVERIFY2(err.contains(QStringLiteral("13行目「49123X」")), qPrintable(err));

        // The scheduler hands the jobs to the backend in its own time.
        QDeadlineTimer deadline(90000);
        while (jobsIn(folder).size() < before + 13 && !deadline.hasExpired())
            QThread::msleep(200);
        const QStringList jobs = jobsIn(folder).mid(before);
        QCOMPARE(jobs.size(), 13);

        for (int i = 0; i < 12; ++i) {
            const QString v = values[i];
            const QString expected =
                (v.size() == 12 || v.size() == 7) ? v + QString::number(zl::printing::janCheckDigit(v)) : v;
            QCOMPARE(scan(folder + QLatin1Char('/') + jobs[i], m_dpi, home.root()), expected);
        }
        // The record without a usable code came out without a barcode.
        QCOMPARE(scan(folder + QLatin1Char('/') + jobs[12], m_dpi, home.root()), QString());
    }

private:
    QString m_queue;
    QString m_spool;
    int m_dpi = 0;
};

ZL_TEST(CupsRunTest)
#include "CupsRunTest.moc"
