#pragma once
// What the test classes of print runs into CUPS share: the test scheduler's
// printers that take their time, cancel or fail (scripts/cups-up names them
// in ZENLABO_TEST_OUTCOME_QUEUES), the print screens set up on one queue,
// and what a queue, its printer and the program's messages say.
#include "DeviceOutput.h"
#include "TestEnv.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTest>

#include "printer/PrinterSetup.h"
#include "cups/platform/SystemPrinters.h"
#include "ui/Dialogs.h"
#include "ui/ScreenRegistry.h"

class CupsRunFixture : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        m_spool = qEnvironmentVariable("ZENLABO_TEST_SPOOL");
        const QStringList outcomes = qEnvironmentVariable("ZENLABO_TEST_OUTCOME_QUEUES").split(QLatin1Char(','));
        if (outcomes.size() == 3) {
            m_slow = outcomes[0];
            m_cancel = outcomes[1];
            m_fail = outcomes[2];
        }
        if (m_spool.isEmpty())
            QSKIP("CUPS is not up for the tests (ZENLABO_TEST_SPOOL not set): run scripts/test.");
    }

protected:
    // The print screens printing on `queue`, what the queue offers asked
    // already (so that a run's first question is its first label's),
    // message boxes recorded and questions answered yes; all put back after.
    struct ScreensOnQueue {
        QList<zl::ui::ShownMessage> messages;
        zl::printer::Printer *printer = nullptr;
        explicit ScreensOnQueue(const QString &queue)
        {
            zl::printer::installSystemPrinters(nullptr);
            // Asked as a run asks: waiting for the answers.
            const zl::printer::WaitingAllowed asARun;
            printer = zl::printer::findPrinter(queue);
            if (printer) {
                zl::printer::printers()->setCurrent(printer);
                printer->pageGeometry();
            }
            zl::ui::recordMessagesInto(&messages);
            zl::ui::answerQuestionsWith([](const zl::ui::ShownMessage &) { return true; });
            zl::ui::registerAllScreens(zl::ui::ScreenRegistry::instance());
            zl::ui::ScreenRegistry::instance().setHost(nullptr);
        }
        ~ScreensOnQueue()
        {
            zl::ui::recordMessagesInto(nullptr);
            zl::ui::answerQuestionsWith({});
            zl::ui::ScreenRegistry::instance().setHost(nullptr);
            zl::printer::installPrinters(nullptr);
        }
    };

    // Thirty records with barcodes that name their rows (…0001 to …0030).
    static void writeThirtyItems(zltest::TempHome &home)
    {
        home.installDefaults();
        QStringList values;
        for (int i = 1; i <= 30; ++i)
            values << QStringLiteral("49123450%1").arg(i, 4, 10, QLatin1Char('0'));
        home.writeItems(values);
    }

    // The labels a message says are printed.
    static int countedPrinted(const QString &said)
    {
        static const QRegularExpression count(QStringLiteral("印刷が確かなラベルは(\\d+)枚|(\\d+)枚のラベルを"));
        const QRegularExpressionMatch m = count.match(said);
        return m.hasMatch() ? (m.captured(1) + m.captured(2)).toInt() : 0;
    }

    // A slow raw queue of the test's own, with `options` and its device
    // URI's `query`, gone with it.
    struct TestQueue {
        QString name;
        TestQueue(const QString &queue, const QString &folder, const QStringList &options, const QString &query = QString())
            : name(queue)
        {
            QDir().mkpath(folder);
            QFile(folder).setPermissions(QFileDevice::Permissions(0x7777));
            QProcess::execute(QStringLiteral("lpadmin"), QStringList{QStringLiteral("-p"), queue, QStringLiteral("-E"),
                                                                     QStringLiteral("-v"), QStringLiteral("zenlabo-slow:") + folder + query,
                                                                     QStringLiteral("-m"), QStringLiteral("raw")}
                                                             + options);
        }
        ~TestQueue() { QProcess::execute(QStringLiteral("lpadmin"), {QStringLiteral("-x"), name}); }
    };

    // The labels of a ZPL job that reached the printer whole: a graphic
    // printed by the format after it. A job cut short and printed again
    // holds a graphic cut short, with no format, before the next one.
    static QList<QImage> completeZplLabels(const QByteArray &job)
    {
        QList<QImage> labels;
        for (qsizetype at = job.indexOf("~DG"); at >= 0;) {
            const qsizetype next = job.indexOf("~DG", at + 3);
            const QByteArray one = job.mid(at, next < 0 ? -1 : next - at);
            const qsizetype format = one.indexOf("^XG");
            if (format >= 0 && one.indexOf("^XZ", format) >= 0)
                labels << zltest::decodeZplGraphic(one);
            at = next;
        }
        return labels;
    }

    // The queue's printer has a job in hand.
    static bool printing(const QString &queue)
    {
        QProcess lpstat;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
        lpstat.setProcessEnvironment(env);
        lpstat.start(QStringLiteral("lpstat"), {QStringLiteral("-p"), queue});
        lpstat.waitForFinished();
        return lpstat.readAllStandardOutput().contains(" now printing ");
    }

    // The ids of the queue's jobs not yet ended.
    static QStringList jobsOf(const QString &queue)
    {
        QProcess lpstat;
        lpstat.start(QStringLiteral("lpstat"), {QStringLiteral("-o"), queue});
        lpstat.waitForFinished();
        QStringList ids;
        for (const QString &line : QString::fromUtf8(lpstat.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            ids << line.section(QLatin1Char(' '), 0, 0).section(QLatin1Char('-'), -1);
        return ids;
    }

    QString m_spool;
    QString m_slow, m_cancel, m_fail;
};
