#include "TestEnv.h"
#include "TestRegistry.h"

#include "ui/Dialogs.h"
#include "ui/ScreenRegistry.h"
#include "info/WebPages.h"
#include "info/ui/InfoScreens.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace zl::ui;

class InfoScreensTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_opened.clear();
        zl::info::routeWebPagesTo([this](const QString &a) { m_opened << a; return true; });
    }
    void cleanup() { zl::info::routeWebPagesTo(nullptr); }

    void webLinkScreensShowAndOpenTheirAddress_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("notice");
        QTest::addColumn<QString>("address");
        QTest::newRow("help") << QStringLiteral("Form9") << QStringLiteral("オンラインヘルプサイト紹介")
                              << QStringLiteral("ｵﾝﾗｲﾝﾍﾙﾌﾟはｲﾝﾀｰﾈｯﾄへの接続が必要です")
                              << QStringLiteral("https://www.tavizo.example/cs.htm");
        QTest::newRow("support") << QStringLiteral("Form10") << QStringLiteral("ｵﾝﾗｲﾝｻﾎﾟｰﾄ紹介")
                                 << QStringLiteral("ｵﾝﾗｲﾝｻﾎﾟｰﾄはｲﾝﾀｰﾈｯﾄへの接続が必要です")
                                 << QStringLiteral("https://www.tavizo.example/qqq.htm");
    }
    void webLinkScreensShowAndOpenTheirAddress()
    {
        QFETCH(QString, form);
        QFETCH(QString, caption);
        QFETCH(QString, notice);
        QFETCH(QString, address);
        QWidget host;
        ScreenRegistry &r = ScreenRegistry::instance();
        registerInfoScreens(r);
        r.setHost(&host);
        QWidget *w = r.show(form);
        QCOMPARE(w->windowTitle(), caption);
        QCOMPARE(w->findChild<QLabel *>(QStringLiteral("Label1"))->text(), notice);
        QCOMPARE(w->findChild<QLabel *>(QStringLiteral("Label2"))->text(), address);
        auto *open = w->findChild<QPushButton *>(QStringLiteral("Command1"));
        QCOMPARE(open->text(), QStringLiteral("画面を開く"));
        open->click();
        QCOMPARE(m_opened, QStringList{address});
        r.setHost(nullptr);
    }

    void aboutScreen()
    {
        std::unique_ptr<QWidget> w(createAboutScreen(nullptr));
        QCOMPARE(w->windowTitle(), QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報"));
        QCOMPARE(w->findChild<QLabel *>(QStringLiteral("lblTitle"))->text(), QStringLiteral("Zenlabo"));
        QCOMPARE(w->findChild<QLabel *>(QStringLiteral("lblVersion"))->text(), QStringLiteral("ﾊﾞｰｼﾞｮﾝ　2.0.6 2004/11修正"));
        QCOMPARE(w->findChild<QLabel *>(QStringLiteral("Label1"))->text(), QStringLiteral("製造元　Tavizo"));
        QVERIFY(w->findChild<QLabel *>(QStringLiteral("lblDescription"))->text().startsWith(QStringLiteral("このアプリケーションは")));
        QVERIFY(!w->findChild<QLabel *>(QStringLiteral("picIcon"))->pixmap().isNull());
        w->findChild<QPushButton *>(QStringLiteral("Command1"))->click();
        QCOMPARE(m_opened, QStringList{QStringLiteral("https://www.tavizo.example/qforms2/form.html")});
        w->show();
        w->findChild<QPushButton *>(QStringLiteral("cmdOK"))->click();
        QVERIFY(!w->isVisible());
    }

    // No browser: the screen says so, with the address to copy.
    void noBrowserIsSaidWithTheAddress()
    {
        QList<ShownMessage> messages;
        recordMessagesInto(&messages);
        zl::info::routeWebPagesTo([](const QString &) { return false; });
        std::unique_ptr<QWidget> link(createOnlineHelpScreen(nullptr));
        link->show();
        link->findChild<QPushButton *>(QStringLiteral("Command1"))->click();
        const QLabel *said = link->findChild<QLabel *>(QStringLiteral("LabelNoBrowser"));
        QVERIFY(said->isVisible() && said->text().contains(QStringLiteral("上のアドレスをコピーして")));
        std::unique_ptr<QWidget> about(createAboutScreen(nullptr));
        about->findChild<QPushButton *>(QStringLiteral("Command1"))->click();
        QVERIFY(messages.value(0).text.contains(QStringLiteral("https://www.tavizo.example/qforms2/form.html")));
        recordMessagesInto(nullptr);
    }

    void csvSampleScreenShowsAPicture()
    {
        std::unique_ptr<QWidget> w(createCsvSampleScreen(nullptr));
        QCOMPARE(w->windowTitle(), QStringLiteral("CSVファイルサンプル"));
        QCOMPARE(w->findChild<QLabel *>(QStringLiteral("Label1"))->text(), QStringLiteral("CSVデータファイル作成　サンプル"));
        const QPixmap pm = w->findChild<QLabel *>(QStringLiteral("Picture1"))->pixmap();
        QVERIFY(pm.width() > 300 && pm.height() > 150);
        QCOMPARE(w->findChild<QPushButton *>(QStringLiteral("Command1"))->text(), QStringLiteral("閉じる"));
    }

private:
    QStringList m_opened;
};

ZL_TEST(InfoScreensTest)
#include "InfoScreensTest.moc"
