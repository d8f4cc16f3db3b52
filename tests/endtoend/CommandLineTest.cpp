// The program run as a shop system would run it: `zenlabo --print …` in a
// fresh home folder, printing to the built-in PDF printer.
#include "PdfPages.h"
#include "TestEnv.h"
#include "TestRegistry.h"

#include "settings/Defaults.h"
#include "settings/SettingsTable.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <functional>

namespace {

struct Outcome {
    int exitCode = -1;
    QString out;
    QString err;
};

// The program did not end: it opened its windows.
constexpr int kWindowsOpened = -100;

QByteArray products(int records)
{
    QString text = QStringLiteral("JANコード,商品名,規格,価格\r\n");
    for (int i = 1; i <= records; ++i)
        text += QStringLiteral("4912345%1,商品%2,規格,%3\r\n").arg(i, 5, 10, QLatin1Char('0')).arg(i).arg(100 + i);
    return zltest::sjis(text);
}

// A table as another program (or an older copy of this one) left it: the
// bytes are spelled out here, not made by the program's own writer.
QByteArray rawTable(const QList<QByteArray> &columns, const QList<QByteArray> &values)
{
    auto line = [](const QList<QByteArray> &fields) {
        QByteArray l;
        for (const QByteArray &f : fields)
            l += (l.isEmpty() ? "\"" : ",\"") + f + '"';
        return l + "\r\n";
    };
    return line(columns) + line(values);
}

QByteArray adjustmentTable(const QByteArray &size1, const QByteArray &size2 = "0")
{
    QList<QByteArray> columns{"DB1", "DB2", "SIZE1", "SIZE2", "SIZE3", "D1"};
    for (int i = 2; i <= 90; ++i)
        columns << QByteArray::number(i);
    columns << "NA" << "YU" << "JYU" << "TEL";
    QList<QByteArray> values{"_", "_", size1, size2, "0"};
    while (values.size() < columns.size())
        values << "_";
    return rawTable(columns, values);
}

// Pages of every PDF the built-in printer wrote: one page per label here,
// however the printer splits its files.
int pdfPages(const QString &folder)
{
    int pages = 0;
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?!s)"));
    QDirIterator it(folder, {QStringLiteral("*.pdf")}, QDir::Files);
    while (it.hasNext()) {
        QFile f(it.next());
        if (f.open(QIODevice::ReadOnly))
            pages += int(QString::fromLatin1(f.readAll()).count(page));
    }
    return pages;
}

// Every file under the settings folder with its bytes.
QMap<QString, QByteArray> snapshot(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile f(it.next());
        files[f.fileName()] = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
    }
    return files;
}

} // namespace

Q_DECLARE_METATYPE(std::function<void(zltest::TempHome &)>)

class CommandLineTest : public QObject {
    Q_OBJECT
private slots:
    void init() { m_home = std::make_unique<zltest::TempHome>(); }
    void cleanup() { m_home.reset(); }

    // Every way a shop's script can go wrong: the files, the settings
    // tables, the stored values, the arguments, the printers. Each says
    // what happened, exits with its own status, prints only what it says it
    // printed, and leaves the settings as they were.
    void badInputs_data()
    {
        using Setup = std::function<void(zltest::TempHome &)>;
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message"); // looked for in what the program said
        QTest::addColumn<int>("labels");

        const QStringList print{QStringLiteral("--print")};
        auto with = [&print](const QStringList &more) { return print + more; };
        auto withData = [](const QByteArray &data) {
            return Setup([data](zltest::TempHome &h) {
                h.installDefaults();
                h.writeFile(QStringLiteral("items.csv"), data);
                h.writeFile(zl::settings::kDataSourceTable,
                            rawTable({"DB1", "DB2"}, {QFile::encodeName(h.settingsFolder()), "items.csv"}));
            });
        };
        auto withTable = [withData](const QString &table, const QByteArray &bytes) {
            return Setup([=](zltest::TempHome &h) {
                withData(products(3))(h);
                if (bytes.isNull())
                    QFile::remove(h.settingsFolder() + table);
                else
                    h.writeFile(table, bytes);
            });
        };
        const QByteArray utf8Rows = QStringLiteral("JAN,名前,規格,価格\r\n491234500001,りんご,箱,100\r\n"
                                                   "491234500002,みかん,箱,200\r\n491234500003,ぶどう,箱,300\r\n")
                                        .toUtf8();
        QByteArray strayByte = utf8Rows;
        strayByte.insert(strayByte.indexOf("みかん") + 3, '\x81'); // one byte a Windows tool added
        QByteArray shortRow = products(4);
        shortRow.replace("491234500003,", "491234500003\r\n"); // row 3 has one column

        // files
        QTest::newRow("data file missing") << withTable(zl::settings::kDataSourceTable,
                                                        rawTable({"DB1", "DB2"}, {"/nowhere", "gone.csv"}))
                                           << print << 1 << QStringLiteral("フォルダ /nowhere が見つかりません") << 0;
        QTest::newRow("UTF-8 with one stray byte") << withData(strayByte) << print << 1
                                                   << QStringLiteral("3 行目に UTF-8 として読めないバイト") << 0;
        QTest::newRow("UTF-8 with a mark and a stray byte") << withData("\xEF\xBB\xBF" + strayByte) << print << 1
                                                            << QStringLiteral("3 行目") << 0;
        // The refusal above must not catch Shift-JIS, whose half-width
        // katakana pairs now and then look like UTF-8.
        QTest::newRow("control: Shift-JIS half-width katakana prints")
            << withData(zltest::sjis(QStringLiteral("JAN,名,規格,価格\r\n491234500001,ﾃｽﾄｼｮｳﾋﾝ,ﾊｺ,100\r\n"
                                                    "491234500002,ｵﾚﾝｼﾞｼﾞｭｰｽ,ﾋﾞﾝ,200\r\n491234500003,ﾐﾈﾗﾙｳｫｰﾀｰ,ﾎﾞﾄﾙ,300\r\n")))
            << print << 0 << QStringLiteral("3枚のラベル") << 3;
        QTest::newRow("quote left open") << withData(products(2) + "\"49123,x,y,1\r\n") << print << 1
                                         << QStringLiteral("引用符") << 0;
        // Every row the run prints is read before the first label.
        QTest::newRow("short row 3, nothing printed") << withData(shortRow) << print << 1
                                                      << QStringLiteral("3行目: ") << 0;
        // A run reads no further than its range.
        QTest::newRow("short row 3 after the range 1..2") << withData(shortRow)
                                                          << with({QStringLiteral("--from"), QStringLiteral("1"),
                                                                   QStringLiteral("--to"), QStringLiteral("2")})
                                                          << 0 << QStringLiteral("2枚のラベル") << 2;
        QByteArray badPrices = products(5);
        badPrices.replace(",102\r\n", ",tbd\r\n").replace(",104\r\n", ",12a\r\n");
        QTest::newRow("prices not numbers, every one named before printing")
            << withData(badPrices) << print << 1 << QStringLiteral("2行目: 価格「tbd」が数値ではありません\n  4行目: 価格「12a」") << 0;
        QTest::newRow("range past the data") << withData(products(5))
                                             << with({QStringLiteral("--from"), QStringLiteral("300"),
                                                      QStringLiteral("--to"), QStringLiteral("310")})
                                             << 5 << QStringLiteral("データは5行です") << 0;
        QTest::newRow("data without rows") << withData(products(0)) << print << 5 << QStringLiteral("1枚も印刷していません")
                                           << 0;
        // What does not fit its line is dropped, so a runaway first column
        // costs one label without a barcode, not pages of digits.
        QTest::newRow("100 KB first column") << withData("JAN,a,b,c\r\n" + QByteArray(100 * 1024, '7') + ",a,b,1\r\n")
                                             << print << 0 << QStringLiteral("1枚のラベルを") << 1;
        // tables
        QTest::newRow("no settings folder") << Setup([](zltest::TempHome &) {}) << print << 4
                                            << QStringLiteral("設定フォルダ") << 0;
        QTest::newRow("data-source table missing") << withTable(zl::settings::kDataSourceTable, QByteArray()) << print
                                                   << 4 << QStringLiteral("vokiconfig2.txt がありません") << 0;
        QTest::newRow("data-source table empty") << withTable(zl::settings::kDataSourceTable, QByteArray(""))
                                                 << print << 4 << QStringLiteral("vokiconfig2.txt") << 0;
        QTest::newRow("data-source table header only")
            << withTable(zl::settings::kDataSourceTable, QByteArray("\"DB1\",\"DB2\"\r\n")) << print << 4
            << QStringLiteral("vokiconfig2.txt") << 0;
        QTest::newRow("layout table missing") << withTable(zl::settings::kLayoutTable, QByteArray()) << print << 4
                                              << QStringLiteral("vokiconfig4.txt") << 0;
        QTest::newRow("adjustment table cut short")
            << withTable(zl::settings::kAdjustmentTable, adjustmentTable("0").left(700)) << print << 4
            << QStringLiteral("vokiconfig5.txt") << 0;
        // stored values
        // A decimal an older version or a hand stored prints as it stands.
        QTest::newRow("adjustment 1.5") << withTable(zl::settings::kAdjustmentTable, adjustmentTable("1.5", "-0.5"))
                                        << print << 0 << QStringLiteral("3枚のラベル") << 3;
        QTest::newRow("adjustment 500") << withTable(zl::settings::kAdjustmentTable, adjustmentTable("500")) << print
                                        << 1 << QStringLiteral("「500」が -20 から 20 の範囲を外れている") << 0;
        QTest::newRow("adjustment 1e300") << withTable(zl::settings::kAdjustmentTable, adjustmentTable("0", "1e300"))
                                          << print << 1 << QStringLiteral("「1e300」") << 0;
        QTest::newRow("adjustment not a number") << withTable(zl::settings::kAdjustmentTable, adjustmentTable("abc"))
                                                 << print << 1 << QStringLiteral("「abc」が数値ではありません") << 0;
        // A barcode shifted off the label (its left light margin lost) would
        // not scan: nothing prints, the stock is named.
        QTest::newRow("barcode off the label") << withTable(zl::settings::kAdjustmentTable, adjustmentTable("-5"))
                                               << print << 6 << QStringLiteral("用紙（ユーザー定義サイズ、50.0 x 30.0 mm）")
                                               << 0;
        QTest::newRow("a stored scale no one wrote")
            << withTable(QStringLiteral("vokiconfig6.txt"), QByteArray("\"SHEET\",\"START\",\"SCALE\"\r\n\"\",\"1\",\"HUGE\"\r\n"))
            << print << 4 << QStringLiteral("「HUGE」") << 0;
        // arguments
        QTest::newRow("--from without --to") << withData(products(3)) << with({QStringLiteral("--from"), QStringLiteral("2")})
                                             << 64 << QStringLiteral("両方") << 0;
        QTest::newRow("row bound not a number")
            << withData(products(3))
            << with({QStringLiteral("--from"), QStringLiteral("abc"), QStringLiteral("--to"), QStringLiteral("2")})
            << 64 << QStringLiteral("「abc」") << 0;
        QTest::newRow("range the wrong way round")
            << withData(products(3))
            << with({QStringLiteral("--from"), QStringLiteral("3"), QStringLiteral("--to"), QStringLiteral("1")})
            << 64 << QStringLiteral("--from 3 が --to 1 より後ろ") << 0;
        QTest::newRow("row 0") << withData(products(3))
                               << with({QStringLiteral("--from"), QStringLiteral("0"), QStringLiteral("--to"), QStringLiteral("2")})
                               << 64 << QStringLiteral("1以上の整数") << 0;
        QTest::newRow("--fit with --actual-size") << withData(products(3))
                                                  << with({QStringLiteral("--fit"), QStringLiteral("--actual-size")}) << 64
                                                  << QStringLiteral("どちらか一方") << 0;
        QTest::newRow("misspelt option with --print") << withData(products(3)) << with({QStringLiteral("--prnt")})
                                                      << 64 << QStringLiteral("--prnt") << 0;
        QTest::newRow("Qt style option") << withData(products(3)) << QStringList{QStringLiteral("-style"), QStringLiteral("Fusion")}
                                         << kWindowsOpened << QString() << 0;
        QTest::newRow("session manager restart")
            << withData(products(3)) << QStringList{QStringLiteral("-session"), QStringLiteral("1234abcd_5678")}
            << kWindowsOpened << QString() << 0;
        QTest::newRow("a stray word") << withData(products(3)) << QStringList{QStringLiteral("print")} << kWindowsOpened
                                      << QString() << 0;
        QTest::newRow("--help") << withData(products(3)) << QStringList{QStringLiteral("--help")} << 0
                                << QStringLiteral("使い方: zenlabo") << 0;
        QTest::newRow("--version") << withData(products(3)) << QStringList{QStringLiteral("--version")} << 0
                                   << QStringLiteral("zenlabo 2.0.6") << 0;
        // printers
        QTest::newRow("printer not installed")
            << withData(products(3)) << with({QStringLiteral("--printer"), QStringLiteral("No Such Printer")}) << 2
            << QStringLiteral("「No Such Printer」はインストールされていません") << 0;
        QTest::newRow("PDF folder cannot be made") << Setup([withData](zltest::TempHome &h) {
            withData(products(3))(h);
            h.writeFile(h.root() + QStringLiteral("/Documents/Zenlabo"), "a file where the folder goes");
        }) << print << 1 << QStringLiteral("ラベルは1枚も印刷していません") << 0;
    }
    void badInputs()
    {
        using Setup = std::function<void(zltest::TempHome &)>;
        QFETCH(Setup, setup);
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        QFETCH(int, labels);
        setup(*m_home);
        const auto before = snapshot(m_home->root() + QStringLiteral("/config"));
        const Outcome r = run(args, exitCode == kWindowsOpened);
        const QString said = r.out + r.err;
        QVERIFY2(r.exitCode == exitCode, qPrintable(QStringLiteral("exit %1, said: %2").arg(r.exitCode).arg(said)));
        QVERIFY2(said.contains(message), qPrintable(said));
        if (exitCode != 0 && exitCode != kWindowsOpened)
            QVERIFY2(!r.err.isEmpty(), "a failure is said on standard error");
        QCOMPARE(pdfPages(pdfFolder()), labels);
        QVERIFY2(snapshot(m_home->root() + QStringLiteral("/config")) == before, "the settings must stay as they were");
    }

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

private:
    void useProducts(int records)
    {
        m_home->installDefaults();
        m_home->writeFile(QStringLiteral("items.csv"), products(records));
        m_home->writeTable(QStringLiteral("vokiconfig2.txt"), {QStringLiteral("DB1"), QStringLiteral("DB2")},
                           {m_home->settingsFolder(), QStringLiteral("items.csv")});
    }
    QString pdfFolder() const { return m_home->root() + QStringLiteral("/Documents/Zenlabo"); }
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), m_home->root());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home->root() + QStringLiteral("/config"));
        env.remove(QStringLiteral("XDG_DOCUMENTS_DIR"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        // These runs print to the built-in printer: no scheduler to find.
        env.insert(QStringLiteral("CUPS_SERVER"), m_home->root() + QStringLiteral("/no-cups.sock"));
        return env;
    }
    // windows: the program is expected to open its windows and keep running;
    // it is given a moment to print anything it wrongly would, then ended.
    Outcome run(const QStringList &args, bool windows = false)
    {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.setWorkingDirectory(m_home->root());
        p.start(QStringLiteral(ZENLABO_BINARY), args);
        if (windows) {
            if (p.waitForFinished(3000))
                return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                        QString::fromUtf8(p.readAllStandardError())};
            p.kill();
            p.waitForFinished();
            return {kWindowsOpened, QString(), QString()};
        }
        if (!p.waitForFinished(120000))
            return {};
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }

    std::unique_ptr<zltest::TempHome> m_home;
};

ZL_TEST(CommandLineTest)
#include "CommandLineTest.moc"
