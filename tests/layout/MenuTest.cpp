#include "LayoutScreenTestSupport.h"
#include "common/TestEnv.h"
#include "common/TestRegistry.h"

#include "app/ui/MainWindow.h"

#include <QAction>
#include <QTest>

// The settings menu offers the two layout screens and opens them.
class MenuTest : public QObject {
    Q_OBJECT
private slots:
    void settingsMenuOpensTheLayoutScreens()
    {
        zltest::TempHome home;
        home.installDefaults();
        QList<zl::ui::ShownMessage> messages;
        zl::ui::recordMessagesInto(&messages);
        auto &registry = zl::ui::ScreenRegistry::instance();
        zl::ui::registerAllScreens(registry);
        {
            zl::ui::MainWindow window(home.root());
            registry.setHost(&window);
            const QList<QPair<QString, QString>> items{{QStringLiteral("set1"), QStringLiteral("Form3")},
                                                       {QStringLiteral("印刷位置調整"), QStringLiteral("Form13")}};
            for (const auto &[action, form] : items) {
                QAction *a = window.findChild<QAction *>(action);
                QVERIFY2(a, qPrintable(action));
                QVERIFY2(a->isEnabled(), qPrintable(a->text()));
                a->trigger();
                QWidget *screen = registry.find(form);
                QVERIFY2(screen && screen->isVisible(), qPrintable(form));
            }
            zltest::closeScreens({QStringLiteral("Form3"), QStringLiteral("Form13")});
            registry.setHost(nullptr);
        }
        zl::ui::recordMessagesInto(nullptr);
    }
};

ZL_TEST(MenuTest)
#include "MenuTest.moc"
