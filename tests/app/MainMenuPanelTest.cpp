// The main menu's 「発行前確認」 panel names what the next run takes: a data
// source or layout saved on its screen shows there at once, the menu open
// all along.
#include "TestEnv.h"
#include "TestRegistry.h"

#include "app/ui/MainMenu.h"
#include "app/ui/MainWindow.h"
#include "ui/Dialogs.h"
#include "ui/ScreenRegistry.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <functional>

using namespace zl;

namespace {

QWidget *screen(const char *form)
{
    return ui::ScreenRegistry::instance().show(QString::fromLatin1(form));
}

template <typename W>
W *child(QWidget *parent, const char *name)
{
    return parent ? parent->findChild<W *>(QString::fromLatin1(name)) : nullptr;
}

} // namespace

using Change = std::function<void(zltest::TempHome &)>;
Q_DECLARE_METATYPE(Change)

class MainMenuPanelTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_messages.clear();
        ui::recordMessagesInto(&m_messages);
        ui::registerAllScreens(ui::ScreenRegistry::instance());
    }
    void cleanup()
    {
        ui::recordMessagesInto(nullptr);
        ui::answerFileDialogWith({});
    }

    void panelFollowsSettingsSavedOnTheirScreens_data()
    {
        QTest::addColumn<Change>("change");
        QTest::addColumn<QString>("folder"); // under the temporary home; empty: the sample's
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("layout");
        QTest::newRow("another file chosen with 参照, saved with 設定変更")
            << Change([](zltest::TempHome &home) {
                   ui::answerFileDialogWith([&home] { return std::optional<QString>(home.root() + QStringLiteral("/shop/items.csv")); });
                   QWidget *form = screen("setOracle");
                   child<QPushButton>(form, "Command1")->click();
                   child<QPushButton>(form, "Command4")->click();
               })
            << QStringLiteral("shop") << QStringLiteral("items.csv") << QStringLiteral("税込価格");
        QTest::newRow("a folder and file typed, saved by the connection test")
            << Change([](zltest::TempHome &home) {
                   QWidget *form = screen("setOracle");
                   child<QLineEdit>(form, "Text1")->setText(QDir::toNativeSeparators(home.root() + QStringLiteral("/shop")));
                   child<QLineEdit>(form, "Text4")->setText(QStringLiteral("items.csv"));
                   child<QPushButton>(form, "Command2")->click();
                   form->close();
               })
            << QStringLiteral("shop") << QStringLiteral("items.csv") << QStringLiteral("税込価格");
        QTest::newRow("the label layout's second title saved")
            << Change([](zltest::TempHome &) {
                   QWidget *form = screen("Form3");
                   child<QRadioButton>(form, "Option1_0")->setChecked(true);
                   child<QLineEdit>(form, "Text2")->setText(QStringLiteral("本日特価"));
                   child<QPushButton>(form, "Command4")->click();
               })
            << QString() << QStringLiteral("barcodelist.csv") << QStringLiteral("本日特価");
    }

    void panelFollowsSettingsSavedOnTheirScreens()
    {
        QFETCH(Change, change);
        QFETCH(QString, folder);
        QFETCH(QString, file);
        QFETCH(QString, layout);
        zltest::TempHome home;
        home.installDefaults();
        home.writeFile(home.root() + QStringLiteral("/shop/items.csv"), zltest::sjis(QStringLiteral(
                                                                        "JAN,商品名,規格,価格\r\n4912345000019,ボールペン,黒,100\r\n")));
        ui::MainWindow w(home.root());
        ui::MainMenu *menu = w.startupMenu();
        QCOMPARE(child<QLabel>(menu, "Label15")->text(), QStringLiteral("barcodelist.csv"));

        change(home);

        QVERIFY(!m_messages.isEmpty());
        const QString said = m_messages.last().text;
        QVERIFY2(said.contains(QStringLiteral("設定が変更されました")) || said.contains(QStringLiteral("接続できました")),
                 qPrintable(said));
        const QString shown = folder.isEmpty() ? home.settingsFolder() + QStringLiteral("sample")
                                               : home.root() + QLatin1Char('/') + folder;
        QCOMPARE(child<QLabel>(menu, "Label7")->text(), QDir::toNativeSeparators(shown));
        QCOMPARE(child<QLabel>(menu, "Label15")->text(), file);
        QCOMPARE(child<QLabel>(menu, "Label4")->text(), layout);
        // The panel is what a menu loaded now would show.
        ui::MainMenu fresh(home.root());
        for (const char *name : {"Label4", "Label7", "Label15"})
            QCOMPARE(child<QLabel>(menu, name)->text(), child<QLabel>(&fresh, name)->text());
    }

private:
    QList<ui::ShownMessage> m_messages;
};

ZL_TEST(MainMenuPanelTest)
#include "MainMenuPanelTest.moc"
