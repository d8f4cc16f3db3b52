#include "LayoutScreenTestSupport.h"
#include "common/TestEnv.h"
#include "common/TestRegistry.h"

#include "common/Failure.h"
#include "info/WebPages.h"
#include "layout/LayoutSelection.h"
#include "layout/Titles.h"
#include "settings/Defaults.h"
#include "settings/SettingsTable.h"
#include "settings/SettingsTestHooks.h"

#include <QButtonGroup>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <memory>

using zl::ui::ShownMessage;

class LayoutSelectionTest : public QObject {
    Q_OBJECT

    std::unique_ptr<zltest::TempHome> home;
    QList<ShownMessage> messages;

    void writeLayout(const QString &t1, const QString &t2, const QString &yoshi = QStringLiteral("9"),
                     const QString &printer = QStringLiteral("1"))
    {
        home->writeTable(zl::settings::kLayoutTable, zl::settings::layoutColumns(), {t1, t2, yoshi, printer});
    }
    QByteArray layoutBytes() const { return home->readFile(zl::settings::kLayoutTable); }
    static QByteArray expected(const QStringList &values)
    {
        return zl::settings::formatTable(zl::settings::layoutColumns(), values);
    }
    template <typename T> static T *child(QWidget *w, const char *name)
    {
        T *c = w->findChild<T *>(QString::fromLatin1(name));
        if (!c)
            qFatal("control %s missing", name);
        return c;
    }
    static QString text(QWidget *w, const char *name) { return child<QLineEdit>(w, name)->text(); }

private slots:
    void init()
    {
        home = std::make_unique<zltest::TempHome>();
        QDir().mkpath(home->settingsFolder());
        messages.clear();
        zl::ui::recordMessagesInto(&messages);
    }
    void cleanup()
    {
        zltest::closeScreens({QStringLiteral("Form3")});
        zl::ui::recordMessagesInto(nullptr);
        zl::settings::testhooks::beforeCommit = nullptr;
        zl::info::routeWebPagesTo(nullptr);
        home.reset();
    }

    void opensInItsStartingState()
    {
        writeLayout(QStringLiteral("品名ラベル"), QStringLiteral("特価品"));
        QWidget *w = zltest::openScreen(QStringLiteral("Form3"));
        QVERIFY(w);
        QCOMPARE(w->windowTitle(), QStringLiteral("設定　出力レイアウト選択"));
        for (const char *name : {"Option1_0", "Option1_1", "Option1_2", "Option1_3"})
            QVERIFY2(!child<QRadioButton>(w, name)->isChecked(), name);
        QVERIFY(child<QRadioButton>(w, "Option1_0")->isEnabled());
        QVERIFY(child<QRadioButton>(w, "Option1_1")->isEnabled());
        QVERIFY(!child<QRadioButton>(w, "Option1_2")->isEnabled());
        QVERIFY(!child<QRadioButton>(w, "Option1_3")->isEnabled());
        QVERIFY(!child<QLineEdit>(w, "Text3")->isEnabled());
        QVERIFY(!child<QLineEdit>(w, "Text4")->isEnabled());
        QCOMPARE(w->focusWidget(), child<QPushButton>(w, "Command4"));

        QCOMPARE(text(w, "Text1"), QStringLiteral("品名ラベル"));
        QCOMPARE(text(w, "Text2"), QStringLiteral("特価品"));
        QCOMPARE(text(w, "Text3"), QString());
        QCOMPARE(text(w, "Text5"), QStringLiteral("9"));
        QCOMPARE(text(w, "Text6"), QStringLiteral("1"));
        QCOMPARE(child<QLabel>(w, "Label3")->text(), QStringLiteral("標準ﾀｲﾌﾟ"));
        QVERIFY(messages.isEmpty());
    }

    // The frame's options and the window's options do not clear each other.
    void optionGroupsAreSeparate()
    {
        writeLayout(QStringLiteral("a"), QStringLiteral("b"));
        QWidget *w = zltest::openScreen(QStringLiteral("Form3"));
        auto *label = child<QRadioButton>(w, "Option1_0");
        auto *slip = child<QRadioButton>(w, "Option1_1");
        label->click();
        slip->click();
        QVERIFY(label->isChecked());
        QVERIFY(slip->isChecked());
    }

    void opensTheSlipLayout()
    {
        writeLayout(QStringLiteral("株式会社ぜんらぼ"), zl::settings::kC5255Marker, QStringLiteral("_"),
                    QStringLiteral("0"));
        QWidget *w = zltest::openScreen(QStringLiteral("Form3"));
        QVERIFY(w);
        QCOMPARE(text(w, "Text1"), QString());
        QCOMPARE(text(w, "Text2"), QString());
        QCOMPARE(text(w, "Text3"), QStringLiteral("株式会社ぜんらぼ"));
        QCOMPARE(text(w, "Text5"), QStringLiteral("_"));
        QCOMPARE(text(w, "Text6"), QStringLiteral("0"));
        QCOMPARE(child<QLabel>(w, "Label3")->text(), QStringLiteral("C5255 家具統一伝票"));
        const zl::layout::Titles t = zl::layout::currentTitles();
        QVERIFY(t.title1.isEmpty() && t.title2.isEmpty());
    }

    void savingUnchangedTitlesWritesThemBack()
    {
        writeLayout(QStringLiteral("品名ラベル①"), QStringLiteral("特価,お買得"), QStringLiteral("257"),
                    QStringLiteral("0"));
        const QByteArray before = layoutBytes();
        QPointer<QWidget> w = zltest::openScreen(QStringLiteral("Form3"));
        child<QRadioButton>(w, "Option1_0")->click();
        child<QPushButton>(w, "Command4")->click();
        QCOMPARE(layoutBytes(), before);
        QVERIFY(!w->isVisible());
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0].text, QStringLiteral("設定が変更されました｡"));
        QCOMPARE(messages[0].title, QStringLiteral("設定変更"));
        QCOMPARE(messages[0].style, int(zl::ui::Information));
        zltest::flushDeletes();
        QVERIFY(!w);
    }

    // Paper and connection type are carried, not shown: whatever bytes
    // another program left there go back as they were.
    void carriedColumnsGoBackByteForByte()
    {
        const QByteArray header = "\"TITLE1\",\"TITLE2\",\"YOSHI\",\"PRINTER\"\r\n";
        home->writeFile(zl::settings::kLayoutTable,
                        header + "\"a\",\"b\",\"\xE7\x94\xA8\xE7\xB4\x99\",\"1\"\"x\"\r\n"); // UTF-8 paper, doubled quote
        QPointer<QWidget> w = zltest::openScreen(QStringLiteral("Form3"));
        child<QLineEdit>(w, "Text1")->setText(QStringLiteral("新しい題"));
        child<QRadioButton>(w, "Option1_0")->click();
        child<QPushButton>(w, "Command4")->click();
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0].text, QStringLiteral("設定が変更されました｡"));
        QCOMPARE(layoutBytes(), header + "\"" + zltest::sjis(QStringLiteral("新しい題"))
                                    + "\",\"b\",\"\xE7\x94\xA8\xE7\xB4\x99\",\"1\"\"x\"\r\n");
    }

    void emptyTitleIsStoredAsUnderscore()
    {
        writeLayout(QStringLiteral("品名"), QStringLiteral("特価"));
        QPointer<QWidget> w = zltest::openScreen(QStringLiteral("Form3"));
        child<QLineEdit>(w, "Text2")->clear();
        child<QRadioButton>(w, "Option1_0")->click();
        child<QPushButton>(w, "Command4")->click();
        QCOMPARE(text(w, "Text2"), QStringLiteral("_"));
        QCOMPARE(layoutBytes(),
                 expected({QStringLiteral("品名"), QStringLiteral("_"), QStringLiteral("9"), QStringLiteral("1")}));
    }

    // Saving the label layout over the slip layout ends the slip layout.
    void savingOverTheSlipLayoutEndsIt()
    {
        writeLayout(QStringLiteral("株式会社ぜんらぼ"), zl::settings::kC5255Marker);
        QWidget *w = zltest::openScreen(QStringLiteral("Form3"));
        child<QRadioButton>(w, "Option1_0")->click();
        child<QPushButton>(w, "Command4")->click();
        QCOMPARE(layoutBytes(),
                 expected({QStringLiteral("_"), QStringLiteral("_"), QStringLiteral("9"), QStringLiteral("1")}));
    }

    void savingWithoutTheLabelLayoutIsRefused_data()
    {
        QTest::addColumn<QString>("option");
        QTest::newRow("no option") << QString();
        QTest::newRow("only the slip option") << QStringLiteral("Option1_1");
    }
    void savingWithoutTheLabelLayoutIsRefused()
    {
        QFETCH(QString, option);
        writeLayout(QStringLiteral("品名"), QStringLiteral("特価"));
        const QByteArray before = layoutBytes();
        QWidget *w = zltest::openScreen(QStringLiteral("Form3"));
        if (!option.isEmpty())
            child<QRadioButton>(w, option.toLatin1().constData())->click();
        child<QLineEdit>(w, "Text1")->clear();
        child<QPushButton>(w, "Command4")->click();
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0].text, QStringLiteral("設定項目が選択されていません。"));
        QCOMPARE(messages[0].title, QStringLiteral("設定変更エラー"));
        QCOMPARE(messages[0].style, int(zl::ui::Critical));
        QCOMPARE(layoutBytes(), before);
        QVERIFY(w->isVisible());
        QCOMPARE(text(w, "Text1"), QStringLiteral("_"));
        QCOMPARE(text(w, "Text2"), QStringLiteral("特価"));
        QCOMPARE(text(w, "Text3"), QStringLiteral("_"));
        QCOMPARE(text(w, "Text4"), QString());
    }

    void orderButtonOpensTheOrderForm()
    {
        writeLayout(QStringLiteral("a"), QStringLiteral("b"));
        QStringList opened;
        zl::info::routeWebPagesTo([&](const QString &address) { opened << address; return true; });
        QWidget *w = zltest::openScreen(QStringLiteral("Form3"));
        child<QPushButton>(w, "Command1")->click();
        QCOMPARE(opened, QStringList{zl::info::makerAddress(QStringLiteral("qforms2/form.html"))});
        QVERIFY(opened[0].endsWith(QStringLiteral("/qforms2/form.html")));
    }

    void titlesFollowTheOpenScreenThenTheTable()
    {
        writeLayout(QStringLiteral("保存済み1"), QStringLiteral("保存済み2"));
        QCOMPARE(zl::layout::currentTitles().title1, QStringLiteral("保存済み1"));

        QWidget *w = zltest::openScreen(QStringLiteral("Form3"));
        child<QLineEdit>(w, "Text1")->setText(QStringLiteral("編集中"));
        zl::layout::Titles t = zl::layout::currentTitles();
        QCOMPARE(t.title1, QStringLiteral("編集中"));
        QCOMPARE(t.title2, QStringLiteral("保存済み2"));

        // Closed without saving: the edit is gone, the table's titles print.
        w->close();
        t = zl::layout::currentTitles();
        QCOMPARE(t.title1, QStringLiteral("保存済み1"));
        zltest::flushDeletes();
        QCOMPARE(zl::layout::currentTitles().title1, QStringLiteral("保存済み1"));
    }

    void titlesOfAMissingTableAreAFailure() { QVERIFY_THROWS_EXCEPTION(zl::Failure, zl::layout::currentTitles()); }

    void unreadableTableOpensNoScreen_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("missing") << QByteArray();
        QTest::newRow("header only") << QByteArray("\"TITLE1\",\"TITLE2\",\"YOSHI\",\"PRINTER\"\r\n");
        QTest::newRow("no PRINTER column") << QByteArray("\"TITLE1\",\"TITLE2\",\"YOSHI\"\r\n\"a\",\"b\",\"9\"\r\n");
    }
    void unreadableTableOpensNoScreen()
    {
        QFETCH(QByteArray, bytes);
        if (!bytes.isEmpty())
            home->writeFile(zl::settings::kLayoutTable, bytes);
        QCOMPARE(zltest::openScreen(QStringLiteral("Form3")), nullptr);
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0].style, int(zl::ui::Critical));
        QVERIFY2(messages[0].text.contains(zl::settings::kLayoutTable) ||
                     messages[0].text.contains(QStringLiteral("「プリンター接続タイプ」")),
                 qPrintable(messages[0].text));
        QCOMPARE(layoutBytes(), bytes);
    }

    void failedSaveKeepsTheScreenAndTheTable_data()
    {
        QTest::addColumn<QString>("title1");
        QTest::addColumn<bool>("diskFails");
        QTest::newRow("disk fails") << QStringLiteral("新しい題") << true;
        QTest::newRow("double quote") << QStringLiteral("12\"インチ") << false;
        QTest::newRow("not CP932") << QStringLiteral("価格😀") << false;
    }
    void failedSaveKeepsTheScreenAndTheTable()
    {
        QFETCH(QString, title1);
        QFETCH(bool, diskFails);
        writeLayout(QStringLiteral("品名"), QStringLiteral("特価"));
        const QByteArray before = layoutBytes();
        if (diskFails)
            zl::settings::testhooks::beforeCommit = [] {
                throw zl::Failure(QStringLiteral("ディスクがいっぱいです。"));
            };
        QWidget *w = zltest::openScreen(QStringLiteral("Form3"));
        child<QLineEdit>(w, "Text1")->setText(title1);
        child<QLineEdit>(w, "Text2")->clear();
        child<QRadioButton>(w, "Option1_0")->click();
        child<QPushButton>(w, "Command4")->click();
        QCOMPARE(layoutBytes(), before);
        QVERIFY(w->isVisible());
        QCOMPARE(text(w, "Text1"), title1);
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0].title, QStringLiteral("設定変更エラー"));
        QCOMPARE(messages[0].style, int(zl::ui::Critical));
        QVERIFY(messages[0].text.contains(QStringLiteral("保存できません")));
        QCOMPARE(zl::layout::currentTitles().title1, title1);
    }
};

ZL_TEST(LayoutSelectionTest)
#include "LayoutSelectionTest.moc"
