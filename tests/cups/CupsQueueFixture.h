#pragma once
// What the test classes of the printer layer against the real CUPS scheduler
// share: scripts/test (through scripts/cups-up) starts one with a generic
// PostScript queue and a label-printer queue and names them in
// ZENLABO_TEST_QUEUES; each test leaves the printers and saved settings as
// it found them.
#include "printer/Printer.h"
#include "printer/PrinterSetup.h"

#include <QObject>
#include <QPrinterInfo>
#include <QString>
#include <QStringList>
#include <QTest>
#include <optional>

class CupsQueueFixture : public QObject {
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
        zl::printer::installPrinters(nullptr);
        zl::printer::clearSavedPrinterSettings();
    }

protected:
    QString m_generic, m_label, m_spool;
    const char *m_unavailable = nullptr;
    std::optional<zl::printer::WaitingAllowed> m_asARun;
};
