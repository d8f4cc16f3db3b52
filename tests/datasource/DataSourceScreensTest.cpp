#include "common/TestEnv.h"
#include "common/TestRegistry.h"

#include "ui/Dialogs.h"
#include "app/ui/MainMenu.h"
#include "app/ui/MainWindow.h"
#include "ui/ScreenRegistry.h"
#include "settings/SettingsTable.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using zl::ui::ScreenRegistry;
using zl::ui::ShownMessage;

namespace {

const QString kEmptyRefusal = QStringLiteral("C5255 空欄があります。更新できません");

QString writeData(const QTemporaryDir &dir, const QString &name, int records)
{
    QByteArray bytes = zltest::sjis(QStringLiteral("JAN,品名,規格,価格\r\n"));
    for (int i = 0; i < records; ++i)
        bytes += zltest::sjis(QStringLiteral("49123450%1,ソフト,表,100\r\n").arg(i, 5, 10, QLatin1Char('0')));
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write test data");
    return path;
}

bool sameMessage(const ShownMessage &m, const QString &text, const QString &title, int style)
{
    return m.text == text && m.title == title && m.style == style;
}

QString describe(const QList<ShownMessage> &messages)
{
    QStringList out;
    for (const ShownMessage &m : messages)
        out << QStringLiteral("[%1|%2|%3]").arg(m.text, m.title).arg(m.style);
    return out.join(QLatin1Char(' '));
}

} // namespace

class DataSourceScreensTest : public QObject {
    Q_OBJECT

    std::unique_ptr<zltest::TempHome> home;
    QTemporaryDir data;
    QList<ShownMessage> messages;

    QWidget *openScreen(const QString &form)
    {
        QWidget *w = ScreenRegistry::instance().show(form);
        if (!w)
            qFatal("screen %s did not open", qPrintable(form));
        return w;
    }

    QLineEdit *field(QWidget *w, const char *name) { return w->findChild<QLineEdit *>(QString::fromLatin1(name)); }
    QString labelText(QWidget *w, const char *name)
    {
        auto *l = w->findChild<QLabel *>(QString::fromLatin1(name));
        return l ? l->text() : QStringLiteral("(no %1)").arg(QString::fromLatin1(name));
    }
    void click(QWidget *w, const char *name)
    {
        auto *b = w->findChild<QPushButton *>(QString::fromLatin1(name));
        QVERIFY2(b, name);
        b->click();
    }
    QByteArray storedTable() const { return home->readFile(zl::settings::kDataSourceTable); }
    void storePair(const QString &db1, const QString &db2)
    {
        home->writeTable(zl::settings::kDataSourceTable, zl::settings::dataSourceColumns(), {db1, db2});
    }

private slots:
    void initTestCase()
    {
        zl::ui::registerAllScreens(ScreenRegistry::instance());
        zl::ui::recordMessagesInto(&messages);
    }

    void init()
    {
        home = std::make_unique<zltest::TempHome>();
        home->installDefaults();
        messages.clear();
        zl::ui::answerFileDialogWith({});
    }

    void cleanup()
    {
        for (const char *form : {"setOracle", "Form6", "Form12"})
            ScreenRegistry::instance().close(QString::fromLatin1(form));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        home.reset();
    }

    void menuItemOpensTheScreenWithTheStoredPair()
    {
        zl::ui::MainWindow window(home->root());
        auto *item = window.findChild<QAction *>(QStringLiteral("set2"));
        QVERIFY(item && item->isEnabled());
        item->trigger();
        QWidget *w = ScreenRegistry::instance().find(QStringLiteral("setOracle"));
        QVERIFY(w);
        QCOMPARE(w->windowTitle(), QStringLiteral("データベース設定 CSV"));
        // The stored default is relative to the settings folder; it is shown whole.
        QCOMPARE(field(w, "Text1")->text(), QDir::toNativeSeparators(home->settingsFolder() + QStringLiteral("sample")));
        QCOMPARE(field(w, "Text4")->text(), QStringLiteral("barcodelist.csv"));
        // The example is a folder of this system.
        QCOMPARE(labelText(w, "Label6"),
                 QStringLiteral("(例　%1)").arg(QDir::toNativeSeparators(QDir::homePath() + QStringLiteral("/Mydata/"))));
        w->close();
        ScreenRegistry::instance().setHost(nullptr);
    }

    void typedFolderWithTrailingSeparatorTestsAndSaves()
    {
        writeData(data, QStringLiteral("typed.csv"), 3);
        QDir(home->root()).mkpath(QStringLiteral("labels"));
        QFile::copy(data.filePath(QStringLiteral("typed.csv")), home->root() + QStringLiteral("/labels/typed.csv"));
        QWidget *w = openScreen(QStringLiteral("setOracle"));
        const QList<std::pair<QString, QString>> typedAndShown{
            {data.path() + QLatin1Char('/'), data.path()},
            {data.path() + QLatin1Char('\\'), data.path()},
            {QStringLiteral("~/labels/"), home->root() + QStringLiteral("/labels")},
        };
        for (const auto &[folder, shown] : typedAndShown) {
            messages.clear();
            field(w, "Text1")->setText(folder);
            field(w, "Text4")->setText(QStringLiteral("typed.csv"));
            click(w, "Command2");

            QVERIFY2(messages.size() == 1 &&
                         sameMessage(messages[0], QStringLiteral("接続できました。"), QStringLiteral("ステータス"), 64),
                     qPrintable(folder + describe(messages)));
            QCOMPARE(labelText(w, "Label1"), QStringLiteral("3"));
            QCOMPARE(labelText(w, "Labeldb"), QDir::toNativeSeparators(shown));
            QCOMPARE(labelText(w, "Labelpass"), QStringLiteral("typed.csv"));
            QCOMPARE(storedTable(), zl::settings::formatTable(zl::settings::dataSourceColumns(),
                                                              {folder, QStringLiteral("typed.csv")}));
            QVERIFY(w->isVisible());
        }
    }

    void browsingFillsTheFieldsAndTestsAHeaderOnlyFile()
    {
        const QString path = writeData(data, QStringLiteral("header.csv"), 0);
        QWidget *w = openScreen(QStringLiteral("setOracle"));
        zl::ui::answerFileDialogWith([path]() -> std::optional<QString> { return path; });
        click(w, "Command1");
        QCOMPARE(field(w, "Text1")->text(), QDir::toNativeSeparators(data.path()));
        QCOMPARE(field(w, "Text4")->text(), QStringLiteral("header.csv"));

        click(w, "Command2");
        QVERIFY2(messages.size() == 1 &&
                     sameMessage(messages[0], QStringLiteral("接続できました。"), QStringLiteral("ステータス"), 64),
                 qPrintable(describe(messages)));
        QCOMPARE(labelText(w, "Label1"), QStringLiteral("0"));

        // Cancel leaves both fields as they were.
        zl::ui::answerFileDialogWith([]() -> std::optional<QString> { return std::nullopt; });
        click(w, "Command1");
        QCOMPARE(field(w, "Text1")->text(), QDir::toNativeSeparators(data.path()));
        QCOMPARE(field(w, "Text4")->text(), QStringLiteral("header.csv"));
    }

    void missingFileIsSavedThenReported()
    {
        writeData(data, QStringLiteral("present.csv"), 3);
        QWidget *w = openScreen(QStringLiteral("setOracle"));
        field(w, "Text1")->setText(data.path());
        field(w, "Text4")->setText(QStringLiteral("present.csv"));
        click(w, "Command2");
        QCOMPARE(labelText(w, "Label1"), QStringLiteral("3"));
        messages.clear();
        // The failed test must not leave the last file's count standing.
        field(w, "Text4")->setText(QStringLiteral("absent.csv"));
        click(w, "Command2");

        QCOMPARE(storedTable(), zl::settings::formatTable(zl::settings::dataSourceColumns(),
                                                          {data.path(), QStringLiteral("absent.csv")}));
        const QString expected = QStringLiteral("ファイル %1 が見つかりません。")
                                     .arg(QDir::toNativeSeparators(data.filePath(QStringLiteral("absent.csv"))));
        QVERIFY2(messages.size() == 1 && sameMessage(messages[0], expected, QStringLiteral("設定エラー"), 0),
                 qPrintable(describe(messages)));
        QCOMPARE(labelText(w, "Label1"), QString());
    }

    void bothSaveButtonsRefuseAnEmptyField()
    {
        const QByteArray before = storedTable();
        QWidget *w = openScreen(QStringLiteral("setOracle"));
        field(w, "Text4")->clear();
        click(w, "Command2");
        field(w, "Text4")->setText(QStringLiteral("x.csv"));
        field(w, "Text1")->clear();
        click(w, "Command4");

        QCOMPARE(messages.size(), 2);
        for (const ShownMessage &m : messages)
            QVERIFY2(sameMessage(m, kEmptyRefusal, QStringLiteral("ﾌﾟﾛｸﾞﾗﾑｴﾗｰ"), 48), qPrintable(describe(messages)));
        QCOMPARE(storedTable(), before);
        QVERIFY(w->isVisible());
    }

    void saveAndCloseAsksForARestart()
    {
        QPointer<QWidget> w = openScreen(QStringLiteral("setOracle"));
        auto *text1 = field(w, "Text1");
        auto *text4 = field(w, "Text4");
        text1->setText(QStringLiteral("/srv/labels"));
        text4->setText(QStringLiteral("today.csv"));
        click(w, "Command4");

        QCOMPARE(storedTable(),
                 zl::settings::formatTable(zl::settings::dataSourceColumns(),
                                           {QStringLiteral("/srv/labels"), QStringLiteral("today.csv")}));
        QVERIFY2(messages.size() == 1 &&
                     sameMessage(messages[0],
                                 QStringLiteral("設定が変更されました｡アプリケーションを再起動してください。"),
                                 QStringLiteral("設定変更"), 64),
                 qPrintable(describe(messages)));
        QVERIFY(!w->isVisible());
        QCOMPARE(text1->text(), QString());
        QCOMPARE(text4->text(), QString());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!ScreenRegistry::instance().find(QStringLiteral("setOracle")));
    }

    void saveAndCloseReportsAValueItCannotStore()
    {
        QWidget *w = openScreen(QStringLiteral("setOracle"));
        const QByteArray before = storedTable();
        field(w, "Text1")->setText(QStringLiteral("/data/\"quoted\""));
        click(w, "Command4");
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0].title, QStringLiteral("設定エラー"));
        QCOMPARE(storedTable(), before);
        QVERIFY(w->isVisible());
        QCOMPARE(field(w, "Text1")->text(), QStringLiteral("/data/\"quoted\""));
    }

    // The screen that fixes a broken data-source table must still open.
    void opensWithEmptyFieldsWhenTheTableCannotBeRead()
    {
        QFile::remove(home->settingsFolder() + zl::settings::kDataSourceTable);
        QWidget *w = openScreen(QStringLiteral("setOracle"));
        QCOMPARE(field(w, "Text1")->text(), QString());
        QCOMPARE(field(w, "Text4")->text(), QString());
        QVERIFY2(messages.size() == 1 && messages[0].title == QStringLiteral("設定エラー"),
                 qPrintable(describe(messages)));

        writeData(data, QStringLiteral("fixed.csv"), 2);
        field(w, "Text1")->setText(data.path());
        field(w, "Text4")->setText(QStringLiteral("fixed.csv"));
        click(w, "Command2");
        QCOMPARE(labelText(w, "Label1"), QStringLiteral("2"));
    }

    void sampleButtonOpensTheCsvSample()
    {
        QWidget *w = openScreen(QStringLiteral("setOracle"));
        click(w, "Command3");
        QVERIFY(ScreenRegistry::instance().find(QStringLiteral("Form12")));
        QVERIFY(w->isVisible());
    }

    void recordCountShowsTheCount()
    {
        writeData(data, QStringLiteral("many.csv"), 1200);
        storePair(data.path(), QStringLiteral("many.csv"));
        QWidget *w = openScreen(QStringLiteral("Form6"));
        QCOMPARE(w->windowTitle(), QStringLiteral("データ件数確認"));
        QCOMPARE(labelText(w, "Labeldb"), data.path());
        QCOMPARE(labelText(w, "Labeltb"), QStringLiteral("many.csv"));
        QCOMPARE(labelText(w, "Label1"), QStringLiteral("1200"));
        QCOMPARE(labelText(w, "Label2"), QStringLiteral("件"));
        QVERIFY(messages.isEmpty());
        click(w, "Command1");
        QVERIFY(!w->isVisible());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

        // Counted again on every opening: now a file with its header only.
        writeData(data, QStringLiteral("many.csv"), 0);
        QCOMPARE(labelText(openScreen(QStringLiteral("Form6")), "Label1"), QStringLiteral("0"));
    }

    // From the main menu's button, as the operator reaches it.
    void recordCountFailureLeavesNoScreenAndTellsTheMainMenu()
    {
        zl::ui::MainMenu menu(home->root());
        storePair(data.path(), QStringLiteral("absent.csv"));
        auto *button = menu.findChild<QPushButton *>(QStringLiteral("Command3"));
        QVERIFY(button && button->isEnabled());
        button->click();

        // The fixed request, and under it the reason.
        QVERIFY2(
            messages.size() == 1 &&
                sameMessage(messages[0],
                            QStringLiteral("DBの設定が不正です。設定し直して下さい[設定]-[ﾃﾞｰﾀﾍﾞｰｽ]より設定できます。\n\n"
                                           "ファイル %1 が見つかりません。")
                                .arg(QDir::toNativeSeparators(data.filePath(QStringLiteral("absent.csv")))),
                            QStringLiteral("ERROR"), 48),
            qPrintable(describe(messages)));
        QVERIFY(!ScreenRegistry::instance().find(QStringLiteral("Form6")));
        QCOMPARE(menu.findChild<QLabel *>(QStringLiteral("Label12"))->text(),
                 QStringLiteral("DBの設定が不正です。設定し直して下さい"));
        QCOMPARE(storedTable(), zl::settings::formatTable(zl::settings::dataSourceColumns(),
                                                          {data.path(), QStringLiteral("absent.csv")}));
    }
};

ZL_TEST(DataSourceScreensTest)
#include "DataSourceScreensTest.moc"
