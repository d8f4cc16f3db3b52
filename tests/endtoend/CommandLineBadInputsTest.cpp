// The program run as a shop system would run it, `zenlabo --print …`,
// given what a shop's script can get wrong: each refusal says what
// happened, exits with its own status and leaves the settings as they were.
#include "CommandLineFixture.h"
#include "TestEnv.h"
#include "TestRegistry.h"

#include "settings/Defaults.h"
#include "settings/SettingsTable.h"

#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QTest>
#include <functional>

namespace {

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

class CommandLineBadInputsTest : public CommandLineFixture {
    Q_OBJECT
private slots:
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
};

ZL_TEST(CommandLineBadInputsTest)
#include "CommandLineBadInputsTest.moc"
