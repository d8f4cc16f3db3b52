#include "common/TestEnv.h"
#include "common/TestRegistry.h"

#include "datasource/DataSource.h"
#include "settings/SettingsTable.h"

#include "common/SystemErrors.h"

#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <sys/fsuid.h>
#include <cerrno>
#include <cstring>
#include <functional>
#include <unistd.h>

using zl::Failure;
using zl::datasource::DataSource;
using zl::datasource::TextEncoding;
using Rows = QList<QStringList>;

namespace {

QString writeTemp(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// The description of the failure fn throws, or a note that it did not throw.
template <typename F> QString failureOf(F &&fn)
{
    try {
        fn();
    } catch (const Failure &f) {
        return f.description();
    }
    return QStringLiteral("(no failure)");
}

// Text as UTF-16 with its byte-order mark, as Excel's "Unicode text" saves it.
QByteArray utf16(const QString &text, QStringConverter::Encoding order)
{
    QStringEncoder encoder(order);
    return (order == QStringConverter::Utf16LE ? QByteArray("\xFF\xFE") : QByteArray("\xFE\xFF")) + encoder(text);
}

QStringList row(std::initializer_list<const char16_t *> values)
{
    QStringList r;
    for (const char16_t *v : values)
        r << QString::fromUtf16(v);
    return r;
}

} // namespace

class CsvReaderTest : public QObject {
    Q_OBJECT

private slots:
    void reads_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("header");
        QTest::addColumn<Rows>("records");
        QTest::addColumn<int>("encoding");

        const QStringList ab{QStringLiteral("a"), QStringLiteral("b")};
        const int utf8 = int(TextEncoding::Utf8), cp932 = int(TextEncoding::Cp932);
        const Rows twoRows{row({u"1", u"2"}), row({u"3", u"4"})};

        QTest::newRow("LF") << QByteArray("a,b\n1,2\n3,4\n") << ab << twoRows << utf8;
        QTest::newRow("CR LF") << QByteArray("a,b\r\n1,2\r\n3,4\r\n") << ab << twoRows << utf8;
        QTest::newRow("CR alone") << QByteArray("a,b\r1,2\r3,4\r") << ab << twoRows << utf8;
        QTest::newRow("no final line end") << QByteArray("a,b\r\n1,2\r\n3,4") << ab << twoRows << utf8;
        QTest::newRow("mixed line ends") << QByteArray("a,b\r1,2\r\n3,4\n") << ab << twoRows << utf8;
        QTest::newRow("blank lines at the end are not records")
            << QByteArray("a,b\n1,2\n3,4\n\n\r\n\r") << ab << twoRows << utf8;
        QTest::newRow("a blank line between records stays a (short) record")
            << QByteArray("a,b\n1,2\n\n3,4\n") << ab << Rows{row({u"1", u"2"}), row({u""}), row({u"3", u"4"})} << utf8;
        QTest::newRow("quoted comma") << QByteArray("a,b\n\"1,5\",x\n") << ab << Rows{row({u"1,5", u"x"})} << utf8;
        QTest::newRow("doubled quotes") << QByteArray("a,b\n\"say \"\"hi\"\"\",\"\"\"\"\n") << ab
                                        << Rows{row({u"say \"hi\"", u"\""})} << utf8;
        QTest::newRow("line breaks inside quotes")
            << QByteArray("a,b\n\"two\nlines\",\"cr\r\nlf\"\n5,6\n") << ab
            << Rows{row({u"two\nlines", u"cr\r\nlf"}), row({u"5", u"6"})} << utf8;
        QTest::newRow("empty fields and empty quotes")
            << QByteArray("a,b,c\n,,\n\"\",x,\n")
            << QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}
            << Rows{row({u"", u"", u""}), row({u"", u"x", u""})} << utf8;
        QTest::newRow("values stay text as written")
            << QByteArray("code,price\n0123456789012,1.50\n 4901, 007 \n")
            << QStringList{QStringLiteral("code"), QStringLiteral("price")}
            << Rows{row({u"0123456789012", u"1.50"}), row({u" 4901", u" 007 "})} << utf8;
        QTest::newRow("a quote inside an unquoted value is a character")
            << QByteArray("a,b\n3\" floppy,x\n5,6\n") << ab << Rows{row({u"3\" floppy", u"x"}), row({u"5", u"6"})}
            << utf8;
        QTest::newRow("text after a closing quote is kept")
            << QByteArray("a,b\n\"12\"cm,x\n") << ab << Rows{row({u"12cm", u"x"})} << utf8;
        QTest::newRow("UTF-8 with byte-order mark") << QByteArray("\xEF\xBB\xBF"
                                                                  "JAN,名前\n4901234567894,緑茶\n")
                                                    << QStringList{QStringLiteral("JAN"), QStringLiteral("名前")}
                                                    << Rows{row({u"4901234567894", u"緑茶"})} << utf8;
        QTest::newRow("UTF-8 without byte-order mark") << QByteArray("JAN,名前\n4901234567894,\"ソ表,能\"\n")
                                                       << QStringList{QStringLiteral("JAN"), QStringLiteral("名前")}
                                                       << Rows{row({u"4901234567894", u"ソ表,能"})} << utf8;
        for (auto [name, order] : {std::pair{"UTF-16 LE with byte-order mark", QStringConverter::Utf16LE},
                                   std::pair{"UTF-16 BE with byte-order mark", QStringConverter::Utf16BE}})
            QTest::newRow(name) << utf16(QStringLiteral("JAN,名前\r\n4901234567894,\"緑茶,𠮷\"\r\n"), order)
                                << QStringList{QStringLiteral("JAN"), QStringLiteral("名前")}
                                << Rows{row({u"4901234567894", u"緑茶,𠮷"})} << utf8;
        QTest::newRow("UTF-16 tab-separated, as Excel saves Unicode text")
            << utf16(QStringLiteral("JAN\t名前\t価格\r\n4901234567894\t\"緑茶 \"\"特\"\"\t大\"\t1,200\r\n0001\t\t\r\n"),
                     QStringConverter::Utf16LE)
            << QStringList{QStringLiteral("JAN"), QStringLiteral("名前"), QStringLiteral("価格")}
            << Rows{row({u"4901234567894", u"緑茶 \"特\"\t大", u"1,200"}), row({u"0001", u"", u""})} << utf8;
        // 0x5C trail bytes right before a comma, a quote and a line end.
        QTest::newRow("CP932 with backslash trail bytes and extension characters")
            << zltest::sjis(QStringLiteral("JAN,品名,規格\r\n4901234567894,ソ,\"表\"\r\n0001,①～㈱,能\r\n"))
            << QStringList{QStringLiteral("JAN"), QStringLiteral("品名"), QStringLiteral("規格")}
            << Rows{row({u"4901234567894", u"ソ", u"表"}), row({u"0001", u"①～㈱", u"能"})} << cp932;
        QTest::newRow("CP932 half-width katakana")
            << zltest::sjis(QStringLiteral("ｺｰﾄﾞ,名\nﾃﾞｰﾀ,ｶﾅ\n"))
            << QStringList{QStringLiteral("ｺｰﾄﾞ"), QStringLiteral("名")} << Rows{row({u"ﾃﾞｰﾀ", u"ｶﾅ"})} << cp932;
        QTest::newRow("header only") << QByteArray("a,b\r\n") << ab << Rows{} << utf8;
        QTest::newRow("header only, no line end") << QByteArray("a,b") << ab << Rows{} << utf8;
        QTest::newRow("header only, then blank lines") << QByteArray("a,b\n\n\n") << ab << Rows{} << utf8;
        QTest::newRow("fewer and more values than columns")
            << QByteArray("a,b,c,d\n1,2\n1,2,3,4,5\n")
            << QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")}
            << Rows{row({u"1", u"2"}), row({u"1", u"2", u"3", u"4", u"5"})} << utf8;
    }

    // Every case is read twice: through the index (grid and print runs) and
    // through the streaming counter; both must see the same records.
    void reads()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, header);
        QFETCH(Rows, records);
        QFETCH(int, encoding);

        const DataSource source = DataSource::fromBytes(bytes, QStringLiteral("case.csv"));
        QCOMPARE(source.columnNames(), header);
        QCOMPARE(int(source.encoding()), encoding);
        QCOMPARE(source.recordCount(), records.size());
        for (qsizetype r = 0; r < records.size(); ++r) {
            QCOMPARE(source.fields(r), records.at(r));
            QCOMPARE(source.fieldCount(r), records.at(r).size());
            QCOMPARE(source.fields(r, 1), records.at(r).mid(0, 1));
        }

        QTemporaryDir dir;
        const QString path = writeTemp(dir, QStringLiteral("case.csv"), bytes);
        QCOMPARE(zl::datasource::countRecordsInFile(path), records.size());
        QCOMPARE(DataSource::openFile(path).recordCount(), records.size());
    }

    void refuses_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");

        QTest::newRow("empty file") << QByteArray() << QStringLiteral("bad.csv は空です。");
        QTest::newRow("byte-order mark only") << QByteArray("\xEF\xBB\xBF") << QStringLiteral("bad.csv は空です。");
        QTest::newRow("blank lines only") << QByteArray("\r\n\r\n") << QStringLiteral("bad.csv は空です。");
        QTest::newRow("NUL bytes without a byte-order mark")
            << QByteArray("a\0,\0b\0\n\0", 9) << QStringLiteral("bad.csv はテキストファイルではありません");
        QTest::newRow("NUL inside a quoted value")
            << QByteArray("a,b\n\"x\0y\",1\n", 12) << QStringLiteral("bad.csv はテキストファイルではありません");
        QTest::newRow("unterminated quote, line 3")
            << QByteArray("a,b\n1,2\n3,\"open\n4,5\n6,7\n") << QStringLiteral("bad.csv の 3 行目で始まる引用符");
        QTest::newRow("unterminated after a doubled quote, CR LF lines")
            << QByteArray("a,b\r\n\"x\"\"\r\n\r\n") << QStringLiteral("bad.csv の 2 行目で始まる引用符");
        // UTF-8 that a Windows tool damaged: read as Shift-JIS, every row
        // would turn to nonsense without a word.
        const QByteArray utf8Rows = QStringLiteral("JAN,名前\n4901,りんご\n4902,みかん\n4903,ぶどう\n").toUtf8();
        QByteArray stray = utf8Rows;
        stray.insert(stray.indexOf("みかん") + 3, '\x81');
        const QString strayOnLine3 = QStringLiteral("bad.csv は UTF-8 で書かれていますが、3 行目に UTF-8 として読めないバイト");
        QTest::newRow("UTF-8 with a stray byte") << stray << strayOnLine3;
        QTest::newRow("UTF-8 with a byte-order mark and a stray byte") << "\xEF\xBB\xBF" + stray << strayOnLine3;
        QTest::newRow("marked UTF-8 cut inside its last character")
            << QByteArray("\xEF\xBB\xBF" + utf8Rows.chopped(2)) << QStringLiteral("bad.csv は UTF-8 で書かれていますが、4 行目");
        // The counter reads in 1 MiB pieces: a stray byte in a later one.
        QByteArray late = utf8Rows;
        while (late.size() < (3 << 20))
            late += QStringLiteral("4904,なし\n").toUtf8();
        const qsizetype lines = late.count('\n');
        late += "4905,\xE3\x81\n";
        QTest::newRow("UTF-8 with a stray byte 3 MiB in")
            << late << QStringLiteral("bad.csv は UTF-8 で書かれていますが、%1 行目").arg(lines + 1);
    }

    void refuses()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);

        const QString viaIndex = failureOf([&] { DataSource::fromBytes(bytes, QStringLiteral("bad.csv")); });
        QVERIFY2(viaIndex.startsWith(expected), qPrintable(viaIndex));

        QTemporaryDir dir;
        const QString path = writeTemp(dir, QStringLiteral("bad.csv"), bytes);
        const QString viaCount = failureOf([&] { zl::datasource::countRecordsInFile(path); });
        QVERIFY2(viaCount.contains(expected.mid(7)), qPrintable(viaCount));
        QVERIFY2(viaCount.contains(QDir::toNativeSeparators(path)), qPrintable(viaCount));
    }

    void reportsShortRecordsWithTheirLine()
    {
        const DataSource source =
            DataSource::fromBytes(QByteArray("a,b,c,d\n1,2,3,4\n\"x\ny\",2\n"), QStringLiteral("d.csv"));
        QCOMPARE(source.requireFields(0, 4), row({u"1", u"2", u"3", u"4"}));
        QCOMPARE(source.fields(1, 4).size(), 2);
        QCOMPARE(source.lineNumber(1), 3);
        const QString why = failureOf([&] { source.requireFields(1, 4); });
        QCOMPARE(why, QStringLiteral("d.csv の 2 件目（3 行目）のデータは 2 列しかありません。4 列必要です。"));
        QCOMPARE(source.field(1, 3), QString());
        QCOMPARE(source.fields(5), QStringList());
    }

    void counts1200Records()
    {
        QByteArray bytes = zltest::sjis(QStringLiteral("JAN,品名,規格,価格\r\n"));
        for (int i = 0; i < 1200; ++i)
            bytes += zltest::sjis(QStringLiteral("49%1,ソフト表示 %2,\"能,力\",%3\r\n")
                                      .arg(i, 11, 10, QLatin1Char('0'))
                                      .arg(i)
                                      .arg(i * 10));
        QTemporaryDir dir;
        QCOMPARE(zl::datasource::countRecordsInFile(writeTemp(dir, QStringLiteral("n.csv"), bytes)), 1200);
        const DataSource source = DataSource::fromBytes(bytes, QStringLiteral("n.csv"));
        QCOMPARE(source.recordCount(), 1200);
        QCOMPARE(source.fields(1199), row({u"4900000001199", u"ソフト表示 1199", u"能,力", u"11990"}));
    }

    // The counter reads in 1 MiB pieces: a CR LF, a doubled quote, a quoted
    // line break or a UTF-8 character split between two pieces must not
    // change the count, nor make a stray byte.
    void countsAcrossReadPieces()
    {
        const QByteArray tail = QStringLiteral("\"緑\"\"b\",\"c\r\nd\"\r\n").toUtf8();
        QTemporaryDir dir;
        for (int shift = 0; shift < int(tail.size()) + 2; ++shift) {
            QByteArray bytes("h1,h2\r\n");
            const int target = (1 << 20) - shift;
            while (bytes.size() + 24 < target)
                bytes += QStringLiteral("茶1234567\r\n").toUtf8();
            bytes += QByteArray(target - bytes.size() - 2, 'x') + "\r\n";
            const qsizetype before = bytes.count('\n') - 1;
            bytes += tail + tail + "9,9";
            const QString path = writeTemp(dir, QStringLiteral("big%1.csv").arg(shift), bytes);
            QCOMPARE(zl::datasource::countRecordsInFile(path), before + 3);
            const DataSource source = DataSource::fromBytes(bytes, QStringLiteral("big"));
            QCOMPARE(source.recordCount(), before + 3);
            QCOMPARE(source.fields(before), row({u"緑\"b", u"c\r\nd"}));
        }
    }

    void locatesTheFileFromTheTableValues()
    {
        zltest::TempHome home;
        home.installDefaults();
        // The shipped sample: a folder relative to the settings folder.
        QVERIFY(zl::datasource::countRecords(QStringLiteral("sample"), QStringLiteral("barcodelist.csv")) > 0);

        QTemporaryDir dir;
        writeTemp(dir, QStringLiteral("data.csv"), QByteArray("a\n1\n"));
        QCOMPARE(zl::datasource::countRecords(dir.path(), QStringLiteral("data.csv")), 1);
        QCOMPARE(zl::datasource::countRecords(dir.path() + QLatin1Char('/'), QStringLiteral("data.csv")), 1);
        QCOMPARE(DataSource::open(dir.path() + QLatin1Char('/'), QStringLiteral("data.csv")).fields(0), row({u"1"}));

        const QString missingFolder = dir.filePath(QStringLiteral("nowhere"));
        QCOMPARE(failureOf([&] { zl::datasource::countRecords(missingFolder, QStringLiteral("data.csv")); }),
                 QStringLiteral("フォルダ %1 が見つかりません。").arg(QDir::toNativeSeparators(missingFolder)));
        QCOMPARE(failureOf([&] { DataSource::open(dir.path(), QStringLiteral("other.csv")); }),
                 QStringLiteral("ファイル %1 が見つかりません。")
                     .arg(QDir::toNativeSeparators(dir.filePath(QStringLiteral("other.csv")))));
        QDir(dir.path()).mkdir(QStringLiteral("sub.csv"));
        QVERIFY(failureOf([&] {
                    zl::datasource::countRecords(dir.path(), QStringLiteral("sub.csv"));
                }).contains(QStringLiteral("はフォルダです")));
        QCOMPARE(failureOf([&] { zl::datasource::countRecords(dir.path(), QString()); }),
                 QStringLiteral("データファイル名（データテーブル名）が設定されていません。"));

        // The folder as an operator may write it: home-relative, with a
        // Windows-style trailing backslash; shown resolved and whole.
        QDir(home.root()).mkpath(QStringLiteral("labels/today"));
        QFile::copy(dir.filePath(QStringLiteral("data.csv")), home.root() + QStringLiteral("/labels/today/data.csv"));
        const QString today = home.root() + QStringLiteral("/labels/today");
        const QList<std::pair<QString, QString>> folders{
            {QStringLiteral("~/labels/today"), today},
            {QStringLiteral("~/labels/today/"), today},
            {today + QLatin1Char('\\'), today},
            {QStringLiteral("~"), home.root()},
            {QStringLiteral("sample/"), home.settingsFolder() + QStringLiteral("sample")},
        };
        for (const auto &[typed, resolved] : folders)
            QCOMPARE(zl::datasource::dataFolderPath(typed), QDir::cleanPath(resolved));
        QCOMPARE(zl::datasource::countRecords(QStringLiteral("~/labels/today\\"), QStringLiteral("data.csv")), 1);
    }

    // The reasons the system gives, in the operator's words; the English
    // system text never stands alone.
    void namesCommonFileProblemsInJapanese()
    {
        QTemporaryDir dir;
        struct Case {
            const char *what;
            std::function<QString()> message;
            QString expected;
        };
        const QString full = QStringLiteral("ディスクの空き容量が足りません。不要なファイルを削除して空きを作ってください。");
        const QString denied = QStringLiteral("アクセスする権限がありません。ファイルとフォルダの権限を確かめてください。");
        const QString notFound = QStringLiteral("ファイルまたはフォルダが見つかりません。");
        const QString diskError = QStringLiteral("ディスクの読み書きでエラーが起きました。ディスクやその接続を確かめてください。");
        const QString tooMany = QStringLiteral("開いているファイルが多すぎます。使っていないソフトを閉じてください。");
        // What `words` makes of a write that /dev/full refused.
        auto onFullDisk = [](const std::function<QString(const QFile &)> &words) {
            QFile full(QStringLiteral("/dev/full"));
            if (!full.open(QIODevice::WriteOnly) || (full.write("label", 5) == 5 && full.flush()))
                return QStringLiteral("(/dev/full accepted the write)");
            return words(full);
        };
        auto errnoCase = [](const char *what, int error, const QString &expected) {
            return Case{what, [error] { return zl::errnoProblemText(error); }, expected};
        };
        const QList<Case> cases{
            {"disk full", [&] { return onFullDisk([](const QFile &f) { return zl::fileProblemText(f); }); }, full},
            {"no permission", [&] {
                 QFile locked(writeTemp(dir, QStringLiteral("locked.csv"), "a"));
                 locked.setPermissions(QFileDevice::ReadOwner);
                 // Root may write anywhere: the open is checked as another user.
                 ::setfsuid(65534);
                 const bool opened = locked.open(QIODevice::WriteOnly);
                 ::setfsuid(::geteuid());
                 return opened ? QStringLiteral("(opened for writing)") : zl::fileProblemText(locked);
             }, denied},
            {"not found", [&] {
                 QFile absent(dir.filePath(QStringLiteral("none/x.csv")));
                 absent.open(QIODevice::ReadOnly);
                 return zl::fileProblemText(absent);
             }, notFound},
            {"a folder", [&] {
                 QFile folder(dir.path());
                 folder.open(QIODevice::ReadOnly);
                 return zl::fileProblemText(folder);
             }, QStringLiteral("ファイルではなくフォルダです。")},
            {"unusual errno keeps the system text as a detail", [] { return zl::errnoProblemText(EBADF); },
             QStringLiteral("システムのエラーです（%1）。").arg(QString::fromLocal8Bit(strerror(EBADF)))},
            // One wording for each errno, whoever reports it.
            errnoCase("ENOSPC", ENOSPC, full),
            errnoCase("EDQUOT", EDQUOT, full),
            errnoCase("EACCES", EACCES, denied),
            errnoCase("EPERM", EPERM, denied),
            errnoCase("ENOENT", ENOENT, notFound),
            errnoCase("ENOTDIR", ENOTDIR, QStringLiteral("途中のフォルダがファイルになっています。")),
            errnoCase("EROFS", EROFS, QStringLiteral("読み取り専用のディスクのため書き込めません。")),
            errnoCase("EEXIST", EEXIST, QStringLiteral("同じ名前のファイルがあります。")),
            errnoCase("EMFILE", EMFILE, tooMany),
            errnoCase("ENFILE", ENFILE, tooMany),
            errnoCase("EIO", EIO, diskError),
            // A write the system named no reason for: the file, then the folder says why.
            {"a write that found the disk full",
             [&] { return onFullDisk([](const QFile &f) { return zl::writeProblemText(&f, 0, QStringLiteral("/dev")); }); },
             full},
            {"a write into a folder that is gone",
             [&] { return zl::writeProblemText(nullptr, 0, dir.filePath(QStringLiteral("gone"))); }, notFound},
            {"a write into a folder that is there",
             [&] { return zl::writeProblemText(nullptr, 0, dir.path()); }, diskError},
        };
        for (const Case &c : cases)
            QVERIFY2(c.message() == c.expected, qPrintable(QStringLiteral("%1: %2").arg(QLatin1String(c.what), c.message())));
    }

    void refusesAnUnreadableFile()
    {
        QTemporaryDir dir;
        const QString path = writeTemp(dir, QStringLiteral("locked.csv"), QByteArray("a\n1\n"));
        QFile::setPermissions(path, QFileDevice::WriteOwner);
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                              | QFileDevice::ExeOther);
        // Root reads any file: the file is read as another user.
        struct AsAnotherUser {
            AsAnotherUser() { ::setfsuid(65534); }
            ~AsAnotherUser() { ::setfsuid(::geteuid()); }
        } asAnotherUser;
        QFile probe(path);
        if (probe.open(QIODevice::ReadOnly))
            QSKIP("this user can read any file; permissions cannot be tested here");
        QCOMPARE(failureOf([&] { zl::datasource::countRecords(dir.path(), QStringLiteral("locked.csv")); }),
                 QStringLiteral("ファイル %1 を読み込む権限がありません。").arg(QDir::toNativeSeparators(path)));
        QVERIFY(failureOf([&] { DataSource::openFile(path); }).contains(QStringLiteral("権限")));
    }
};

ZL_TEST(CsvReaderTest)
#include "CsvReaderTest.moc"
