#include "TestEnv.h"
#include "TestRegistry.h"

#include "common/Cp932.h"
#include "settings/SettingsTable.h"
#include "settings/SettingsTestHooks.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace zl::settings;

class SettingsTableTest : public QObject {
    Q_OBJECT
private slots:
    void folderFollowsXdgConfigHome()
    {
        zltest::TempHome home;
        QCOMPARE(folderPath(), home.root() + QStringLiteral("/config/tvz_ini2/"));
        QCOMPARE(tablePath(kLayoutTable), home.root() + QStringLiteral("/config/tvz_ini2/vokiconfig4.txt"));
    }

    void writesExactLineFormat()
    {
        zltest::TempHome home;
        QDir().mkpath(home.settingsFolder());
        RewriteSettingsTable(kDataSourceTable, dataSourceColumns(),
                             {QStringLiteral("C:\\Mydata\\"), QStringLiteral("barcodelist.csv")});
        QCOMPARE(home.readFile(kDataSourceTable),
                 QByteArray("\"DB1\",\"DB2\"\r\n\"C:\\Mydata\\\",\"barcodelist.csv\"\r\n"));
    }

    void adjustmentTableHas99Columns()
    {
        const QStringList cols = adjustmentColumns();
        QCOMPARE(cols.size(), 99);
        const QByteArray header = formatTable(cols, QStringList(cols.size(), QStringLiteral("0"))).split('\r').first();
        QVERIFY(header.startsWith("\"DB1\",\"DB2\",\"SIZE1\",\"SIZE2\",\"SIZE3\",\"D1\",\"2\",\"3\","));
        QVERIFY(header.endsWith(",\"89\",\"90\",\"NA\",\"YU\",\"JYU\",\"TEL\""));
        QCOMPARE(header.count(','), 98);
    }

    void japaneseTextRoundTripsInCp932()
    {
        zltest::TempHome home;
        QDir().mkpath(home.settingsFolder());
        // ソ and 表 carry a backslash as second byte; ① and ～ are Windows-only code points.
        const QString title = QStringLiteral("ソ表能①～㈱");
        RewriteSettingsTable(kLayoutTable, layoutColumns(),
                             {title, QStringLiteral("税込, 価格"), QStringLiteral("9"), QStringLiteral("0")});
        const QByteArray bytes = home.readFile(kLayoutTable);
        QVERIFY2(bytes.contains(QByteArray("\x83\x5c\x95\x5c", 4)), "ソ表 must be stored as CP932 bytes");
        QVERIFY2(!bytes.contains(QByteArray("\xe3", 1)), "no UTF-8 may reach the file");

        const SettingsRecord q = QuerySettingsTable(kLayoutTable);
        QCOMPARE(q.value(QStringLiteral("TITLE1")), title);
        QCOMPARE(q.value(QStringLiteral("TITLE2")), QStringLiteral("税込, 価格"));
        const QStringList seq = ReadSettingsRecords(kLayoutTable, 4);
        QCOMPARE(seq, (QStringList{title, QStringLiteral("税込, 価格"), QStringLiteral("9"), QStringLiteral("0")}));
    }

    void readersUseOnlyTheFirstDataLine()
    {
        zltest::TempHome home;
        home.writeFile(kDataSourceTable, "\"DB1\",\"DB2\"\r\n\"/a\",\"b.csv\"\r\n\"/x\",\"y.csv\"\r\n");
        QCOMPARE(QuerySettingsTable(kDataSourceTable).value(QStringLiteral("DB2")), QStringLiteral("b.csv"));
        QCOMPARE(ReadSettingsRecords(kDataSourceTable, 2), (QStringList{QStringLiteral("/a"), QStringLiteral("b.csv")}));
    }

    void queryByColumnList()
    {
        zltest::TempHome home;
        QStringList values(99, QStringLiteral("x"));
        values[2] = QStringLiteral("-5");
        values[4] = QStringLiteral("3");
        home.writeTable(kAdjustmentTable, adjustmentColumns(), values);
        const SettingsRecord r = QuerySettingsTable(kAdjustmentTable, {QStringLiteral("SIZE1"), QStringLiteral("SIZE3")});
        QCOMPARE(r.values(), (QStringList{QStringLiteral("-5"), QStringLiteral("3")}));
        QVERIFY_THROWS_EXCEPTION(zl::Failure, QuerySettingsTable(kAdjustmentTable, {QStringLiteral("SIZE9")}));
    }

    void sequentialReaderTakesFieldsAcrossLines()
    {
        // Fields are counted in file order regardless of lines: a header with
        // one name too many shifts the data record.
        const QStringList r = parseSequentialRecords("\"A\",\"B\",\"C\"\r\n\"1\",\"2\"\r\n", 2, QStringLiteral("t"));
        QCOMPARE(r, (QStringList{QStringLiteral("C"), QStringLiteral("1")}));
        // Unquoted fields are trimmed; LF-only line ends work.
        QCOMPARE(parseSequentialRecords("A,B\n 7 ,x y\n", 2, QStringLiteral("t")),
                 (QStringList{QStringLiteral("7"), QStringLiteral("x y")}));
    }

    // Both readers, and a save that carries unchanged values back as they
    // were read, cut a data line the same way. Only spaces and tabs are blanks
    // around a field: a full-width space is text (other tools write values
    // unquoted), so before a quote it makes the field a plain one.
    void readersCutAFieldTheSameWay()
    {
        struct Case {
            const char *what;
            QByteArray line;
            QStringList values;
        };
        const QString wide(QChar(0x3000));
        const QList<Case> cases{
            {"comma inside quotes", "\"a,b\",\"c\"", {QStringLiteral("a,b"), QStringLiteral("c")}},
            {"blanks around quoted fields", " \"a\" ,\t\"b\"\t", {QStringLiteral("a"), QStringLiteral("b")}},
            {"plain fields lose their spaces and tabs", " a b ,\tc\t", {QStringLiteral("a b"), QStringLiteral("c")}},
            {"doubled quote inside quotes", "\"5\"\" tape\",c", {QStringLiteral("5\" tape"), QStringLiteral("c")}},
            {"text after the closing quote", "\"a\"x,\"c\"", {QStringLiteral("a"), QStringLiteral("c")}},
            {"full-width spaces around a plain field", "\x81\x40\x83\x5c\x81\x40,c",
             {wide + QStringLiteral("ソ") + wide, QStringLiteral("c")}},
            {"full-width space before a quote", "\x81\x40\"a,b\",\"c\"", {wide + QStringLiteral("\"a"), QStringLiteral("b\"")}},
            {"vertical tab before a quote", "\v\"a,b\",\"c\"", {QStringLiteral("\v\"a"), QStringLiteral("b\"")}},
            {"quote that never closes", "\"a,b", {QStringLiteral("a,b"), QString()}},
        };
        for (const Case &c : cases) {
            zltest::TempHome home;
            home.writeFile(kDataSourceTable, "\"DB1\",\"DB2\"\r\n" + c.line + "\r\n\"x\"\r\n");
            QVERIFY2(QuerySettingsTable(kDataSourceTable).values() == c.values, c.what);
            // The sequential reader takes the next line's field for a missing one.
            QStringList sequential = c.values;
            if (sequential.last().isNull())
                sequential.last() = QStringLiteral("x");
            QVERIFY2(ReadSettingsRecords(kDataSourceTable, 2) == sequential, c.what);
            const StoredRecord asRead = readStoredRecord(kDataSourceTable, dataSourceColumns());
            QVERIFY2(asRead.values == c.values, c.what);
            RewriteSettingsTable(kDataSourceTable, dataSourceColumns(), asRead.values, asRead);
            QVERIFY2(QuerySettingsTable(kDataSourceTable).values() == c.values, c.what);
            QVERIFY2(ReadSettingsRecords(kDataSourceTable, 2) == c.values, c.what);
        }
    }

    void shortOrMissingTablesFail()
    {
        zltest::TempHome home;
        QVERIFY_THROWS_EXCEPTION(zl::Failure, ReadSettingsRecords(kDataSourceTable, 2)); // no folder
        home.writeFile(kDataSourceTable, "\"DB1\",\"DB2\"\r\n\"only-one\"\r\n");
        try {
            ReadSettingsRecords(kDataSourceTable, 2);
            QFAIL("a table with three of four fields must not read");
        } catch (const zl::Failure &f) {
            QVERIFY2(f.description().contains(kDataSourceTable), "the message names the table");
        }
        home.writeFile(kLayoutTable, "\"TITLE1\",\"TITLE2\",\"YOSHI\",\"PRINTER\"\r\n");
        QVERIFY_THROWS_EXCEPTION(zl::Failure, QuerySettingsTable(kLayoutTable));
        QVERIFY_THROWS_EXCEPTION(zl::Failure, QuerySettingsTable(kAdjustmentTable));
    }

    void rewriteCreatesAMissingTable()
    {
        zltest::TempHome home;
        QDir().mkpath(home.settingsFolder());
        QVERIFY(!QFile::exists(tablePath(kLayoutTable)));
        RewriteSettingsTable(kLayoutTable, layoutColumns(),
                             {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("_"), QStringLiteral("1")});
        QCOMPARE(ReadSettingsRecords(kLayoutTable, 4).last(), QStringLiteral("1"));
    }

    void failedRewriteLeavesTheOldTable()
    {
        zltest::TempHome home;
        home.installDefaults();
        const QByteArray before = home.readFile(kDataSourceTable);
        testhooks::beforeCommit = [] { throw zl::Failure(QStringLiteral("disk full")); };
        QVERIFY_THROWS_EXCEPTION(zl::Failure,
                                 RewriteSettingsTable(kDataSourceTable, dataSourceColumns(),
                                                      {QStringLiteral("/new"), QStringLiteral("new.csv")}));
        testhooks::beforeCommit = nullptr;
        QCOMPARE(home.readFile(kDataSourceTable), before);
        // Nothing half-written is left beside it either.
        const QStringList entries = QDir(home.settingsFolder()).entryList(QDir::Files);
        QCOMPARE(entries.size(), 4);
    }

    void unstorableValuesAreRefusedAndNothingIsWritten_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("mentioned");
        QTest::newRow("double quote") << QStringLiteral("5\" tape") << QStringLiteral("二重引用符");
        QTest::newRow("line feed") << QStringLiteral("a\nb") << QStringLiteral("改行");
        QTest::newRow("carriage return") << QStringLiteral("a\rb") << QStringLiteral("改行");
        QTest::newRow("euro sign") << QStringLiteral("€100") << QStringLiteral("€");
        QTest::newRow("emoji") << QString::fromUtf8("ok \xF0\x9F\x98\x80") << QString::fromUtf8("\xF0\x9F\x98\x80");
        // Characters CP932 takes but gives back as others: refused, naming
        // the one they would turn into.
        QTest::newRow("yen sign") << QStringLiteral("¥100均一") << QStringLiteral("全角の「￥」");
        QTest::newRow("overline") << QStringLiteral("a‾b") << QStringLiteral("「~」に変わる");
        QTest::newRow("wave dash") << QStringLiteral("1〜3") << QStringLiteral("「～」に変わる");
    }
    void unstorableValuesAreRefusedAndNothingIsWritten()
    {
        QFETCH(QString, value);
        QFETCH(QString, mentioned);
        zltest::TempHome home;
        home.installDefaults();
        const QByteArray before = home.readFile(kLayoutTable);
        try {
            RewriteSettingsTable(kLayoutTable, layoutColumns(),
                                 {value, QStringLiteral("b"), QStringLiteral("9"), QStringLiteral("0")});
            QFAIL("the value must be refused");
        } catch (const zl::Failure &f) {
            QVERIFY2(f.description().contains(mentioned), qPrintable(f.description()));
            // Named as the operator sees the field, not by its column.
            QVERIFY2(f.description().startsWith(QStringLiteral("「タイトル1」の値")), qPrintable(f.description()));
        }
        QCOMPARE(home.readFile(kLayoutTable), before);
    }

    // Everything CP932 can encode either reads back as itself or is refused.
    void everyStoredCharacterReadsBackTheSame()
    {
        int refused = 0, stored = 0;
        for (char32_t c = 0x20; c < 0x10000; ++c) {
            if ((c >= 0xD800 && c <= 0xDFFF) || c == u'"')
                continue;
            const QString one = QString::fromUcs4(&c, 1);
            if (!zl::cp932::encode(one))
                continue;
            QByteArray bytes;
            try {
                bytes = formatTable(dataSourceColumns(), {one, QStringLiteral("x")});
            } catch (const zl::Failure &) {
                ++refused;
                continue;
            }
            ++stored;
            QCOMPARE(parseSequentialRecords(bytes, 2, kDataSourceTable).first(), one);
            QCOMPARE(parseQueryTable(bytes, kDataSourceTable).values().first(), one);
        }
        QVERIFY2(refused > 0 && stored > 7000, qPrintable(QStringLiteral("%1 stored, %2 refused").arg(stored).arg(refused)));
    }

    // The one CP932 decoder, for settings tables and data files alike. Bytes
    // that are not CP932 become U+FFFD and do not swallow the byte after them.
    void codecDecodesWindowsCodePage932()
    {
        struct Case {
            const char *what;
            QByteArray bytes;
            QString text;
            bool valid;
            QByteArray written = {}; // what encoding the text gives, when not the bytes
        };
        const QString bad(QChar(0xFFFD));
        const QList<Case> cases{
            {"NEC extensions and the Windows wave dash", QByteArray("\x87\x40\x81\x60\x87\x8a", 6), QStringLiteral("①～㈱"), true},
            {"NEC-selected IBM extension", QByteArray("\xed\x40", 2), QStringLiteral("纊"), true, QByteArray("\xfa\x5c", 2)},
            {"IBM extension", QByteArray("\xfa\x40\xfa\x55", 4), QStringLiteral("ⅰ￤"), true},
            {"backslash and tilde stay ASCII", QByteArray("\\~", 2), QStringLiteral("\\~"), true},
            {"backslash as a second byte", QByteArray("\x83\x5c\x95\x5c", 4), QStringLiteral("ソ表"), true},
            {"full-width yen, backslash and not sign", QByteArray("\x81\x8f\x81\x5f\x81\xca", 6), QStringLiteral("￥＼￢"), true},
            {"half-width katakana", QByteArray("\xba\xb0\xc4\xde", 4), QStringLiteral("ｺｰﾄﾞ"), true},
            {"user-defined area", QByteArray("\xf0\x40", 2), QString(QChar(0xE000)), true},
            {"bytes that are no character", QByteArray("a\x80\xa0\xfd\xff", 5), QLatin1Char('a') + bad.repeated(4), false},
            {"lead byte at the end", QByteArray("\x83", 1), bad, false},
            {"lead byte before a comma", QByteArray("\x83,x", 3), bad + QStringLiteral(",x"), false},
            {"unassigned pair", QByteArray("\x85\x40", 2), bad + QLatin1Char('@'), false},
        };
        for (const Case &c : cases) {
            QVERIFY2(zl::cp932::decode(c.bytes) == c.text, c.what);
            QVERIFY2(bool(zl::cp932::decodeStrict(c.bytes)) == c.valid, c.what);
            if (c.valid)
                QVERIFY2(zl::cp932::encode(c.text) == (c.written.isEmpty() ? c.bytes : c.written), c.what);
        }
        QCOMPARE(zl::cp932::unencodable(QStringLiteral("a€bé€")), QStringLiteral("€é"));
    }
};

ZL_TEST(SettingsTableTest)
#include "SettingsTableTest.moc"
