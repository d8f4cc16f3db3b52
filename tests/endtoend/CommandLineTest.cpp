// The program run as a shop system would run it: `zenlabo --print …` in a
// fresh home folder, printing to the built-in PDF printer.
#include "PdfPages.h"
#include "TestEnv.h"
#include "TestRegistry.h"

#include <QDir>
#include <QProcess>
#include <QTest>

namespace {

struct Outcome {
    int exitCode = -1;
    QString out;
    QString err;
};

QByteArray products(int records)
{
    QString text = QStringLiteral("JANコード,商品名,規格,価格\r\n");
    for (int i = 1; i <= records; ++i)
        text += QStringLiteral("4912345%1,商品%2,規格,%3\r\n").arg(i, 5, 10, QLatin1Char('0')).arg(i).arg(100 + i);
    return zltest::sjis(text);
}

} // namespace

class CommandLineTest : public QObject {
    Q_OBJECT
private slots:
    void init() { m_home = std::make_unique<zltest::TempHome>(); }
    void cleanup() { m_home.reset(); }

    void freshMachinePrintsTheSampleAndSaysWhere()
    {
        const Outcome r = run({QStringLiteral("--print")});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.contains(QStringLiteral("12枚のラベル")), qPrintable(r.out));
        QCOMPARE(pdfs().size(), 1); // one file a run, one page a label
        QVERIFY2(r.out.contains(pdfFolder() + QLatin1Char('/') + pdfs().first()), qPrintable(r.out));
        QCOMPARE(pages(), 12);
        QVERIFY(r.err.contains(QStringLiteral("設定ファイルを初期化しました")));
        // A second run keeps the first run's file and writes its own.
        QCOMPARE(run({QStringLiteral("--print")}).exitCode, 0);
        QCOMPARE(pdfs().size(), 2);
        QCOMPARE(pages(), 24);
    }

    void rangeAndVerboseLines()
    {
        useProducts(10);
        const Outcome r = run({QStringLiteral("--print"), QStringLiteral("--from"), QStringLiteral("3"),
                               QStringLiteral("--to"), QStringLiteral("5"), QStringLiteral("--verbose")});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(pages(), 3);
        QVERIFY2(r.err.contains(QStringLiteral("3行目: 491234500003")), qPrintable(r.err));
        QVERIFY(!run({QStringLiteral("--print")}).err.contains(QStringLiteral("行目:")));
    }

    void stopsAtThe300LabelCap()
    {
        useProducts(350);
        const Outcome r = run({QStringLiteral("--print")});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(pages(), 300);
        QVERIFY2(r.out.contains(QStringLiteral("300枚")), qPrintable(r.out));
    }

    void unknownPrinterIsAnErrorNotAnotherPrinter()
    {
        useProducts(2);
        const Outcome r = run({QStringLiteral("--print"), QStringLiteral("--printer"), QStringLiteral("No Such Printer")});
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains(QStringLiteral("No Such Printer")), qPrintable(r.err));
        QVERIFY(r.err.contains(QStringLiteral("Zenlabo PDF")));
        QVERIFY(pdfs().isEmpty());
        // The built-in printer can be named, in any letter case.
        QCOMPARE(run({QStringLiteral("--print"), QStringLiteral("--printer"), QStringLiteral("zenlabo pdf")}).exitCode, 0);
        QCOMPARE(pages(), 2);
    }

    void failuresExitNonZeroWithTheReason()
    {
        m_home->installDefaults();
        m_home->writeTable(QStringLiteral("vokiconfig2.txt"), {QStringLiteral("DB1"), QStringLiteral("DB2")},
                           {m_home->root(), QStringLiteral("gone.csv")});
        Outcome r = run({QStringLiteral("--print")});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("gone.csv")), qPrintable(r.err));
        QVERIFY(pdfs().isEmpty());

        r = run({QStringLiteral("--print"), QStringLiteral("--from"), QStringLiteral("2")});
        QCOMPARE(r.exitCode, 64);
        r = run({QStringLiteral("--prnt")});
        QCOMPARE(r.exitCode, 64);
        QVERIFY(r.err.contains(QStringLiteral("--prnt")));
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
        QCOMPARE(pages(), 2);
        QVERIFY2(r.err.contains(QStringLiteral("2行目「ABC」")), qPrintable(r.err));
    }

private:
    void useProducts(int records)
    {
        m_home->installDefaults();
        m_home->writeFile(QStringLiteral("items.csv"), products(records));
        m_home->writeTable(QStringLiteral("vokiconfig2.txt"), {QStringLiteral("DB1"), QStringLiteral("DB2")},
                           {m_home->settingsFolder(), QStringLiteral("items.csv")});
    }
    QString pdfFolder() const { return m_home->root() + QStringLiteral("/Documents/Zenlabo"); }
    QStringList pdfs() const { return QDir(pdfFolder()).entryList({QStringLiteral("*.pdf")}, QDir::Files, QDir::Name); }
    // Labels printed: the pages of every PDF there.
    int pages() const
    {
        int n = 0;
        for (const QString &name : pdfs())
            n += zltest::pdfPageCount(pdfFolder() + QLatin1Char('/') + name);
        return n;
    }
    Outcome run(const QStringList &args)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), m_home->root());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home->root() + QStringLiteral("/config"));
        env.remove(QStringLiteral("XDG_DOCUMENTS_DIR"));
        // These runs print to the built-in printer: no scheduler to find.
        env.insert(QStringLiteral("CUPS_SERVER"), m_home->root() + QStringLiteral("/no-cups.sock"));
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(m_home->root());
        p.start(QStringLiteral(ZENLABO_BINARY), args);
        if (!p.waitForFinished(120000))
            return {};
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }

    std::unique_ptr<zltest::TempHome> m_home;
};

ZL_TEST(CommandLineTest)
#include "CommandLineTest.moc"
