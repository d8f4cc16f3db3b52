// The program run as a shop system would run it: `zenlabo --print …` in a
// fresh home folder, printing to the built-in PDF printer.
#include "CommandLineFixture.h"
#include "PdfPages.h"
#include "TestEnv.h"
#include "TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <functional>

class CommandLineTest : public CommandLineFixture {
    Q_OBJECT
private slots:
    void rangeAndVerboseLines()
    {
        useProducts(10);
        const Outcome r = run({QStringLiteral("--print"), QStringLiteral("--from"), QStringLiteral("3"),
                               QStringLiteral("--to"), QStringLiteral("5"), QStringLiteral("--verbose")});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(pdfPages(pdfFolder()), 3);
        QVERIFY2(r.err.contains(QStringLiteral("3行目: 491234500003")), qPrintable(r.err));
        QVERIFY(!run({QStringLiteral("--print")}).err.contains(QStringLiteral("行目:")));
    }

    // At most 300 labels a run, any range of rows; when the limit stops a
    // run it exits with its own status and names the rows to go on with: a
    // command that prints them, ending at the data's last row, the range's
    // end or one run's labels, whichever comes first.
    void the300LabelLimit_data()
    {
        QTest::addColumn<int>("records");
        QTest::addColumn<QStringList>("range");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("labels");
        QTest::addColumn<QString>("said");
        QTest::newRow("continuous over 350") << 350 << QStringList{} << 3 << 300
                                             << QStringLiteral("--from 301 --to 350 で");
        QTest::newRow("rows 1 to 900 of 1000") << 1000 << QStringList{QStringLiteral("1"), QStringLiteral("900")} << 3
                                               << 300 << QStringLiteral("--from 301 --to 600 で");
        QTest::newRow("rows 301 to 600") << 650 << QStringList{QStringLiteral("301"), QStringLiteral("600")} << 0 << 300
                                         << QStringLiteral("300枚のラベル");
        QTest::newRow("rows 290 to 310") << 400 << QStringList{QStringLiteral("290"), QStringLiteral("310")} << 0 << 21
                                         << QStringLiteral("21枚のラベル");
        QTest::newRow("rows 1 to 400") << 500 << QStringList{QStringLiteral("1"), QStringLiteral("400")} << 3 << 300
                                       << QStringLiteral("301行目の前で止めました。続きは zenlabo --print --from 301 --to 400 で");
        QTest::newRow("rows 1 to 500 of 350") << 350 << QStringList{QStringLiteral("1"), QStringLiteral("500")} << 3
                                              << 300 << QStringLiteral("--from 301 --to 350 で");
    }

    void the300LabelLimit()
    {
        QFETCH(int, records);
        QFETCH(QStringList, range);
        QFETCH(int, exitCode);
        QFETCH(int, labels);
        QFETCH(QString, said);
        useProducts(records);
        QStringList args{QStringLiteral("--print")};
        if (!range.isEmpty())
            args << QStringLiteral("--from") << range[0] << QStringLiteral("--to") << range[1];
        const Outcome r = run(args);
        QCOMPARE(r.exitCode, exitCode);
        QCOMPARE(pdfPages(pdfFolder()), labels);
        QVERIFY2(r.out.contains(said), qPrintable(r.out));
    }

    void defaultsPrintTheirSampleWhenTheOperatorInstalledThem()
    {
        m_home->installDefaults();
        const Outcome r = run({QStringLiteral("--print")});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.contains(QStringLiteral("12枚のラベル")), qPrintable(r.out));
        // One file a run, one page a label, named in what the program says.
        const QStringList files = QDir(pdfFolder()).entryList({QStringLiteral("*.pdf")}, QDir::Files);
        QCOMPARE(files.size(), 1);
        QVERIFY2(r.out.contains(pdfFolder() + QLatin1Char('/') + files.first()), qPrintable(r.out));
        QCOMPARE(pdfPages(pdfFolder()), 12);
        QVERIFY(!r.err.contains(QStringLiteral("初期化")));
    }

    // The manual page in English and in Japanese: each documents every
    // option --help lists, both the same ones, and each reads without a
    // warning from groff at a terminal's width.
    void manualPagesKeepInStep()
    {
        static const QRegularExpression option(QStringLiteral("--[a-z][a-z-]*"));
        auto options = [](const QString &text) {
            QSet<QString> found;
            for (auto it = option.globalMatch(text); it.hasNext();)
                found << it.next().captured();
            return found;
        };
        const QSet<QString> listed = options(run({QStringLiteral("--help")}).out);
        QVERIFY2(listed.size() >= 10, qPrintable(QStringList(listed.values()).join(u' ')));
        QMap<QString, QSet<QString>> documented;
        for (const QString &page : {QStringLiteral("packaging/zenlabo.1"), QStringLiteral("packaging/ja/zenlabo.1")}) {
            const QString path = QStringLiteral(ZENLABO_SOURCE_DIR "/") + page;
            QFile file(path);
            QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
            documented[page] = options(QString::fromUtf8(file.readAll()).replace(QStringLiteral("\\-"), QStringLiteral("-")));
            const QSet<QString> missing = listed - documented[page];
            QVERIFY2(missing.isEmpty(), qPrintable(page + QStringLiteral(" lacks ") + QStringList(missing.values()).join(u' ')));

            QProcess groff;
            groff.setStandardOutputFile(QProcess::nullDevice());
            groff.start(QStringLiteral("groff"), {QStringLiteral("-k"), QStringLiteral("-Tutf8"), QStringLiteral("-mandoc"),
                                                  QStringLiteral("-ww"), QStringLiteral("-rLL=80n"), path});
            QVERIFY2(groff.waitForFinished(30000) && groff.exitCode() == 0, "groff (groff-base) did not run");
            const QString warnings = QString::fromUtf8(groff.readAllStandardError());
            QVERIFY2(warnings.isEmpty(), qPrintable(warnings));
        }
        QCOMPARE(documented[QStringLiteral("packaging/ja/zenlabo.1")], documented[QStringLiteral("packaging/zenlabo.1")]);
    }

    void namedPrinterInAnyLetterCase()
    {
        useProducts(2);
        QCOMPARE(run({QStringLiteral("--print"), QStringLiteral("--printer"), QStringLiteral("zenlabo pdf")}).exitCode, 0);
        QCOMPARE(pdfPages(pdfFolder()), 2);
    }

    void rowsWithoutBarcodeAreWarnedAbout()
    {
        m_home->installDefaults();
        m_home->writeFile(QStringLiteral("items.csv"),
                          zltest::sjis(QStringLiteral("JAN,名,規格,価格\r\n491234500001,a,b,1\r\nABC,b,b,1\r\n")));
        m_home->writeTable(QStringLiteral("vokiconfig2.txt"), {QStringLiteral("DB1"), QStringLiteral("DB2")},
                           {m_home->settingsFolder(), QStringLiteral("items.csv")});
        const Outcome r = run({QStringLiteral("--print")});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(pdfPages(pdfFolder()), 2);
        QVERIFY2(r.err.contains(QStringLiteral("2行目「ABC」")), qPrintable(r.err));
    }

    // A machine where no print system runs (a container, a counter PC
    // where cupsd is not enabled). With no queue or print server named
    // anywhere the labels go to 「Zenlabo PDF」 and the run says why; a
    // default queue or a print server named for the user or the machine is
    // refused, never swapped for the PDF printer; 「Zenlabo PDF」 kept as
    // the operator's choice needs no print system.
    void withoutAPrintSystem_data()
    {
        using Setup = std::function<void(zltest::TempHome &)>;
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<QString>("server"); // CUPS_SERVER; empty: none
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said");
        QTest::addColumn<int>("labels");
        auto file = [](const QString &path, const QByteArray &bytes) {
            return Setup([=](zltest::TempHome &h) { h.writeFile(h.root() + path, bytes); });
        };
        // Nothing listens on port 9 of this machine.
        const QByteArray deadServer = "ServerName 127.0.0.1:9\n";
        const QString refused = QStringLiteral("通常使うプリンターが分からないため印刷しません");
        QTest::newRow("nothing named") << Setup([](zltest::TempHome &) {}) << QString() << 0
                                       << QStringLiteral("CUPS(印刷システム)が動いていないため、「Zenlabo PDF」に印刷します") << 3;
        QTest::newRow("the user's default queue") << file(QStringLiteral("/.cups/lpoptions"), "Default Labels\n")
                                                  << QString() << 1 << refused << 0;
        QTest::newRow("the machine's default queue") << file(QStringLiteral("/etc-cups/lpoptions"), "Default Labels\n")
                                                     << QString() << 1 << refused << 0;
        QTest::newRow("the user's print server") << file(QStringLiteral("/.cups/client.conf"), deadServer) << QString()
                                                 << 1 << QStringLiteral("接続できません（127.0.0.1:9）") << 0;
        QTest::newRow("the machine's print server") << file(QStringLiteral("/etc-cups/client.conf"), deadServer)
                                                    << QString() << 1 << QStringLiteral("接続できません（127.0.0.1:9）") << 0;
        QTest::newRow("CUPS_SERVER") << Setup([](zltest::TempHome &) {}) << QStringLiteral("127.0.0.1:9") << 1
                                     << QStringLiteral("接続できません（127.0.0.1:9）") << 0;
        QTest::newRow("Zenlabo PDF kept, the print server down")
            << Setup([](zltest::TempHome &h) {
                   h.writeTable(QStringLiteral("printer.txt"), {QStringLiteral("DEVICE")}, {QStringLiteral("Zenlabo PDF")});
               })
            << QStringLiteral("127.0.0.1:9") << 0 << QStringLiteral("3枚のラベルを「Zenlabo PDF」に印刷しました") << 3;
        QTest::newRow("a kept printer that is not the program's")
            << Setup([](zltest::TempHome &h) {
                   h.writeTable(QStringLiteral("printer.txt"), {QStringLiteral("DEVICE")}, {QStringLiteral("Office")});
               })
            << QString() << 1 << QStringLiteral("printer.txt のプリンター「Office」が分からない") << 0;
    }

    void withoutAPrintSystem()
    {
        QFETCH(std::function<void(zltest::TempHome &)>, setup);
        QFETCH(QString, server);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        QFETCH(int, labels);
        // Without CUPS_SERVER the program looks where libcups does: this
        // machine's own scheduler.
        for (const QString &local : {QStringLiteral("/run/cups/cups.sock"), QStringLiteral("localhost:631")}) {
            QProcess lpstat;
            lpstat.start(QStringLiteral("lpstat"), {QStringLiteral("-h"), local, QStringLiteral("-r")});
            if (lpstat.waitForFinished(30000) && lpstat.readAllStandardOutput().contains("scheduler is running"))
                QSKIP("A print system runs on this machine: it cannot stand for one without.");
        }
        useProducts(3);
        setup(*m_home);
        const zltest::ProgramOutcome r = zltest::runProgram(
            *m_home, {QStringLiteral("--print")}, server,
            {{QStringLiteral("CUPS_SERVER"), server.isEmpty() ? QString() : server}});
        const QString all = r.out + r.err;
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2(all.contains(said), qPrintable(all));
        QCOMPARE(pdfPages(pdfFolder()), labels);
        // Only the PDF printer standing in for a missing print system says so.
        QCOMPARE(all.contains(QStringLiteral("動いていない")), said.contains(QStringLiteral("動いていない")));
    }

    // A run killed at any point (kill -9: the program cannot tidy up) leaves
    // no file behind, or only one the next run clears away: the folder then
    // holds whole PDFs and nothing else.
    void killedRunsLeaveOnlyWholeFiles_data() { zltest::addTemporaryFileRows(); }

    void killedRunsLeaveOnlyWholeFiles()
    {
        QFETCH(bool, named);
        if (zltest::pdfPageCount(QString()) == -2)
            QSKIP("poppler-utils is not installed");
        useProducts(40);
        const zltest::TemporaryFileNaming naming(named); // the programs started take it from here
        // Killed as it reports row 1, 5, 9 … 37 of 40: before its file is
        // made, while labels are added, and about to finish.
        for (int killAt = 1; killAt <= 37; killAt += 4) {
            QProcess p;
            p.setProcessEnvironment(environment());
            p.setWorkingDirectory(m_home->root());
            p.setReadChannel(QProcess::StandardError);
            p.start(QStringLiteral(ZENLABO_BINARY), {QStringLiteral("--print"), QStringLiteral("--verbose")});
            for (int rows = 0; rows < killAt && p.waitForReadyRead(60000);)
                while (p.canReadLine())
                    rows += p.readLine().contains(QStringLiteral("行目: ").toUtf8());
            p.kill();
            p.waitForFinished();
        }
        const Outcome last = run({QStringLiteral("--print")});
        QVERIFY2(last.exitCode == 0, qPrintable(last.err));
        const QStringList left = QDir(pdfFolder()).entryList(QDir::Files | QDir::Hidden | QDir::System);
        QVERIFY(!left.isEmpty());
        for (const QString &name : left) {
            QVERIFY2(name.startsWith(QStringLiteral("labels-")) && name.endsWith(QStringLiteral(".pdf")), qPrintable(name));
            QCOMPARE(zltest::pdfPageCount(pdfFolder() + QLatin1Char('/') + name), 40);
        }
    }
};

ZL_TEST(CommandLineTest)
#include "CommandLineTest.moc"
