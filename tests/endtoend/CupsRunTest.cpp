// Print runs of the program itself into real CUPS queues with CUPS' own
// Zebra ZPL label driver (the schedulers scripts/test starts): what reaches
// the device is decoded back to printer dots and must be the label paper at
// the queue's resolution, scan at that resolution, and have every bar and
// space a whole number of equal modules.
#include "DeviceOutput.h"
#include "TestEnv.h"
#include "TestRegistry.h"
#include "TestScheduler.h"
#include "Zbar.h"

#include "cups/platform/CupsPrinter.h"
#include "label/Barcode.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <cups/cups.h>
#include <QFileInfo>
#include <QRegularExpression>

#include "cups/platform/CupsConnection.h"

class CupsRunTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        m_queues = qEnvironmentVariable("ZENLABO_TEST_QUEUES").split(QLatin1Char(','), Qt::SkipEmptyParts);
        m_spool = qEnvironmentVariable("ZENLABO_TEST_SPOOL");
        if (m_queues.size() < 3 || m_spool.isEmpty())
            QSKIP("CUPS is not up for the tests (ZENLABO_TEST_QUEUES/ZENLABO_TEST_SPOOL not set): run scripts/test.");
    }

    void labelsReachTheDeviceOnItsDotGrid_data()
    {
        QTest::addColumn<QString>("server");   // CUPS_SERVER for the program
        QTest::addColumn<QString>("queue");
        QTest::addColumn<QString>("spool");
        QTest::addColumn<QString>("lpoptions"); // the user's saved options
        QTest::addColumn<QString>("yoshi");     // paper chosen on the paper screen
        QTest::addColumn<int>("dpi");
        const QString local = qEnvironmentVariable("CUPS_SERVER");
        const QString label = m_queues.value(1), label300 = m_queues.value(2);
        // The PPD's own default, 203 dpi, on 2 x 1 inch stock chosen on the paper screen.
        QTest::newRow("ZPL 203 dpi") << local << label << m_spool << QString() << QStringLiteral("w144h72") << 203;
        // The queue set to 300 dpi and 2 x 1 inch by its administrator; nothing chosen.
        QTest::newRow("ZPL 300 dpi, queue default") << local << label300 << m_spool << QString() << QStringLiteral("_")
                                                    << 300;
        // The user's own saved options win over the PPD's 203 dpi.
        QTest::newRow("ZPL 300 dpi from lpoptions")
            << local << label << m_spool << QStringLiteral("Dest %1 Resolution=300dpi media=w144h72").arg(label)
            << QStringLiteral("_") << 300;
        // A print server shared by several counters, reached over IPP.
        const QString server = qEnvironmentVariable("ZENLABO_TEST_PRINT_SERVER");
        if (!server.isEmpty())
            QTest::newRow("print server over TCP")
                << server << qEnvironmentVariable("ZENLABO_TEST_SERVER_QUEUE")
                << qEnvironmentVariable("ZENLABO_TEST_SERVER_SPOOL") << QString() << QStringLiteral("_") << 203;
    }

    void labelsReachTheDeviceOnItsDotGrid()
    {
        QFETCH(QString, server);
        QFETCH(QString, queue);
        QFETCH(QString, spool);
        QFETCH(QString, lpoptions);
        QFETCH(QString, yoshi);
        QFETCH(int, dpi);

        zltest::TempHome home;
        home.installDefaults();
        if (!lpoptions.isEmpty())
            home.writeFile(home.root() + QStringLiteral("/.cups/lpoptions"), lpoptions.toUtf8() + '\n');
        QByteArray oldServer = qgetenv("CUPS_SERVER");
        qputenv("CUPS_SERVER", server.toUtf8());
        cupsSetServer(nullptr);
        QString paperCode = yoshi;
        if (yoshi.startsWith(QLatin1Char('w'))) {
            const zl::printer::WaitingAllowed asARun; // the queue's answer, as a run waits for it
            paperCode = QString::number(zl::printer::CupsPrinter(queue).paperCodeForMedia(yoshi));
        }
        qputenv("CUPS_SERVER", oldServer);
        cupsSetServer(nullptr);
        QVERIFY2(paperCode != QStringLiteral("0"), qPrintable(QStringLiteral("%1 does not list %2").arg(queue, yoshi)));
        home.writeTable(QStringLiteral("vokiconfig4.txt"),
                        {QStringLiteral("TITLE1"), QStringLiteral("TITLE2"), QStringLiteral("YOSHI"), QStringLiteral("PRINTER")},
                        {QStringLiteral("ゼンラボ"), QStringLiteral("税込"), paperCode, QStringLiteral("0")});

        // A leading zero, JAN-13 and a JAN-8.
        const QStringList values{QStringLiteral("001234500001"), QStringLiteral("4901234"),
                                 QStringLiteral("491234500003"), QStringLiteral("491234500004")};
        home.writeItems(values);

        const QString folder = spool + QLatin1Char('/') + queue;
        const int before = int(zltest::jobFiles(folder).size());
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home.root());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.root() + QStringLiteral("/config"));
        env.insert(QStringLiteral("CUPS_SERVER"), server);
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(ZENLABO_BINARY), {QStringLiteral("--print"), QStringLiteral("--printer"), queue});
        QVERIFY(p.waitForFinished(120000));
        QVERIFY2(p.exitCode() == 0, qPrintable(QString::fromUtf8(p.readAllStandardError())));

        // One job for the run, a label a record.
        const QStringList jobs = zltest::waitForJobs(folder, before, 1);
        QCOMPARE(jobs.size(), 1);
        QFile f(jobs.first());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QList<QImage> labels = zltest::decodeLabels(QStringLiteral("zpl"), f.readAll());
        QCOMPARE(labels.size(), values.size());
        for (int i = 0; i < labels.size(); ++i) {
            const QImage &dots = labels[i];
            QVERIFY2(!dots.isNull(), qPrintable(jobs.first() + QStringLiteral(" holds a broken ZPL graphic")));
            // 2 x 1 inch stock at the queue's resolution, dot for dot.
            QCOMPARE(dots.width(), ((2 * dpi + 7) / 8) * 8);
            QCOMPARE(dots.height(), dpi);
            const QString v = values[i];
            const QString expected = v.size() == 7 || v.size() == 12 ? v + QString::number(zl::label::janCheckDigit(v)) : v;
            const QStringList scanned = zltest::decodeBarcodes(dots);
            QVERIFY2(scanned.size() == 1 && scanned.first().endsWith(QLatin1Char(':') + expected),
                     qPrintable(QStringLiteral("%1: read %2, expected %3").arg(QStringLiteral("%1, label %2").arg(jobs.first()).arg(i + 1), scanned.join(QLatin1Char(' ')), expected)));
            // Every bar and space a whole number of modules of the same dots.
            const QList<int> runs = zltest::runsAlong(dots, zltest::barRow(dots));
            QCOMPARE(runs.size(), expected.size() == 8 ? 43 : 59);
            const int module = *std::min_element(runs.begin(), runs.end());
            QVERIFY(module >= 1);
            for (int r : runs)
                QVERIFY2(r % module == 0 && r <= 4 * module,
                         qPrintable(QStringLiteral("%1: a run of %2 dots with %3-dot modules").arg(QStringLiteral("%1, label %2").arg(jobs.first()).arg(i + 1)).arg(r).arg(module)));
            // What CUPS received for the job.
            const QMap<QString, QString> attrs = zltest::jobAttributes(server, zltest::jobIdOf(jobs.first()));
            QCOMPARE(attrs.value(QStringLiteral("Resolution")), QStringLiteral("%1dpi").arg(dpi));
            QCOMPARE(attrs.value(QStringLiteral("media")), QStringLiteral("w144h72"));
            QCOMPARE(attrs.value(QStringLiteral("copies"), QStringLiteral("1")), QStringLiteral("1"));
        }
    }

    // A scheduler that has stopped answering, or a print server that is
    // down: printing to the built-in PDF printer named on the command line
    // goes ahead; printing to a queue, named or stored as the default, ends
    // with a message naming the print system; nothing hangs, and nothing
    // goes silently to another printer.
    void unansweringPrintSystemNeitherHangsNorPrintsSilently_data()
    {
        QTest::addColumn<QString>("printer"); // empty: the stored default
        QTest::addColumn<QString>("server");  // empty: the test scheduler, frozen
        QTest::addColumn<int>("exitZero");
        QTest::addColumn<QString>("message");
        QTest::newRow("frozen, built-in PDF printer") << QStringLiteral("Zenlabo PDF") << QString() << 1
                                                      << QStringLiteral("印刷しました");
        QTest::newRow("frozen, label queue") << m_queues.value(1) << QString() << 0 << QStringLiteral("応答しな");
        QTest::newRow("frozen, stored default queue") << QString() << QString() << 0 << QStringLiteral("8秒以内に応答しません");
        // Nothing listens on port 9 of this machine.
        QTest::newRow("print server down, stored default") << QString() << QStringLiteral("127.0.0.1:9") << 0
                                                           << QStringLiteral("CUPS)に接続できません");
        QTest::newRow("print server down, named queue") << m_queues.value(1) << QStringLiteral("127.0.0.1:9") << 0
                                                        << QStringLiteral("CUPS)に接続できません");
    }

    void unansweringPrintSystemNeitherHangsNorPrintsSilently()
    {
        QFETCH(QString, printer);
        QFETCH(QString, server);
        QFETCH(int, exitZero);
        QFETCH(QString, message);
        const QString pid = server.isEmpty() ? zltest::schedulerPid() : QString();
        if (server.isEmpty() && pid.isEmpty())
            QSKIP("the test scheduler's process id is not known");
        zltest::TempHome home;
        home.installDefaults();
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home.root());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.root() + QStringLiteral("/config"));
        if (!server.isEmpty())
            env.insert(QStringLiteral("CUPS_SERVER"), server);
        p.setProcessEnvironment(env);
        zltest::FrozenScheduler frozen(pid);
        QVERIFY(frozen.frozen() == !pid.isEmpty());
        QElapsedTimer t;
        t.start();
        QStringList args{QStringLiteral("--print")};
        if (!printer.isEmpty())
            args << QStringLiteral("--printer") << printer;
        p.start(QStringLiteral(ZENLABO_BINARY), args);
        const bool ended = p.waitForFinished(60000);
        if (!ended)
            p.kill();
        QVERIFY2(ended, "the program still waits for the scheduler after 60 s");
        const QString said = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
        QCOMPARE(p.exitCode() == 0, exitZero == 1);
        QVERIFY2(said.contains(message), qPrintable(said));
        if (!exitZero)
            QVERIFY2(!said.contains(QStringLiteral("Zenlabo PDF」に印刷しました")), qPrintable(said));
        qInfo("%s: ended after %lld ms", qPrintable(printer), t.elapsed());
    }

private:
    QStringList m_queues;
    QString m_spool;
};

ZL_TEST(CupsRunTest)
#include "CupsRunTest.moc"
