// Every window on a real X desktop with a real window manager, at the sizes
// shops' screens have: its frame (title bar and borders) inside the desktop,
// its buttons whole on it. tests/desktop/on-desktops runs this program on
// each desktop size; run otherwise, it skips. With ZENLABO_SCREENSHOTS set to
// a folder, the whole desktop with each window open is saved there, as
// <width>x<height>/<window>.png.
#include "TestEnv.h"
#include "TestRegistry.h"

#include "app/ui/MainWindow.h"
#include "label/ui/LabelPreviewView.h"
#include "pdf/PdfPrinter.h"
#include "printer/Printer.h"
#include "ui/Dialogs.h"
#include "ui/ScreenPlacement.h"
#include "ui/ScreenRegistry.h"

#include <QApplication>
#include <QDir>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTextEdit>
#include <QVBoxLayout>

using namespace zl::ui;

namespace {

// Generous: a shared 2-core machine may take long to map a window.
constexpr int kDeadlineMs = 30000;

bool decorated(const QWidget *w)
{
    return w->isVisible() && w->frameGeometry() != w->geometry();
}

QString where(const QWidget *w)
{
    const QRect f = w->frameGeometry();
    const QRect c = w->geometry();
    return QStringLiteral("%1: frame %2,%3 %4x%5, client %6,%7 %8x%9 on %10x%11")
        .arg(w->objectName())
        .arg(f.x()).arg(f.y()).arg(f.width()).arg(f.height())
        .arg(c.x()).arg(c.y()).arg(c.width()).arg(c.height())
        .arg(w->screen()->availableGeometry().width()).arg(w->screen()->availableGeometry().height());
}

} // namespace

class DesktopFitTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        const QString desktop = qEnvironmentVariable("ZENLABO_DESKTOP");
        if (QGuiApplication::platformName() != QLatin1String("xcb") || desktop.isEmpty())
            QSKIP("needs an X desktop with a window manager (tests/desktop/on-desktops: Xvfb and openbox)");
        const QSize size = QGuiApplication::primaryScreen()->size();
        QCOMPARE(QStringLiteral("%1x%2").arg(size.width()).arg(size.height()), desktop);
        QApplication::setFont(QFont(QStringLiteral("IPAPGothic"), 9));
        m_home = std::make_unique<zltest::TempHome>();
        m_home->installDefaults();
        recordMessagesInto(&m_messages);
        // The program's own PDF printer, as on a desktop without a print system.
        std::vector<std::unique_ptr<zl::printer::Printer>> printers;
        printers.push_back(std::make_unique<zl::printer::PdfPrinter>(m_home->root()));
        zl::printer::installPrinters(std::make_unique<zl::printer::OwnedPrinterCollection>(std::move(printers), 0));
        registerAllScreens(ScreenRegistry::instance());
        m_main = std::make_unique<MainWindow>(m_home->root());
        m_main->setObjectName(QStringLiteral("main"));
        m_main->show();
        QTRY_VERIFY_WITH_TIMEOUT(decorated(m_main.get()), kDeadlineMs);
    }
    void cleanupTestCase()
    {
        recordMessagesInto(nullptr);
        m_main.reset();
        zl::printer::installPrinters(nullptr);
    }

    // Each window alone over the main window, as the operator opens it;
    // "main" is the main window itself, "F_CustInput-and-F_CustInput2" the
    // second print screen opened over the first, "label-preview-window" the
    // label enlarged from the continuous print screen.
    void everyWindowIsWholeOnTheDesktop_data()
    {
        QTest::addColumn<QStringList>("forms");
        QTest::newRow("main") << QStringList();
        const QStringList forms = ScreenRegistry::instance().names();
        QVERIFY(forms.contains(QStringLiteral("F_CustInput")) && forms.contains(QStringLiteral("F_CustInput2")));
        for (const QString &form : forms)
            QTest::newRow(qPrintable(form)) << QStringList{form};
        QTest::newRow("F_CustInput-and-F_CustInput2")
            << QStringList{QStringLiteral("F_CustInput"), QStringLiteral("F_CustInput2")};
        QTest::newRow("label-preview-window") << QStringList{QStringLiteral("F_CustInput"), QString()};
    }
    void everyWindowIsWholeOnTheDesktop()
    {
        QFETCH(QStringList, forms);
        QList<QPointer<QWidget>> windows{m_main.get()};
        for (const QString &form : std::as_const(forms)) {
            QWidget *w = nullptr;
            if (form.isEmpty()) {
                auto *preview = windows.last()->findChild<LabelPreviewView *>(QStringLiteral("LabelPreview"));
                QVERIFY(preview);
                w = preview->openLargeWindow();
            } else {
                w = ScreenRegistry::instance().show(form);
            }
            QVERIFY2(w, qPrintable(form));
            windows << w;
            QTRY_VERIFY_WITH_TIMEOUT(decorated(w), kDeadlineMs);
        }
        auto closeAll = qScopeGuard([&] {
            for (QPointer<QWidget> &w : windows)
                if (w && w != m_main.get())
                    w->close();
        });
        const QRect desktop = QGuiApplication::primaryScreen()->availableGeometry();
        for (const QPointer<QWidget> &w : std::as_const(windows)) {
            QTRY_VERIFY2_WITH_TIMEOUT(desktop.contains(w->frameGeometry()), qPrintable(where(w)), kDeadlineMs);
            // The buttons (the default one above all: start, save, OK) are
            // whole inside the window and so on the desktop.
            const QList<QPushButton *> buttons = w->findChildren<QPushButton *>();
            for (QPushButton *b : buttons) {
                if (b->window() != w || !b->isVisibleTo(w))
                    continue;
                const QRect inWindow(b->mapTo(w, QPoint(0, 0)), b->size());
                QVERIFY2(w->rect().contains(inWindow) && b->height() >= b->minimumSizeHint().height(),
                         qPrintable(QStringLiteral("%1 「%2」 at %3,%4 %5x%6")
                                        .arg(where(w), b->text())
                                        .arg(inWindow.x()).arg(inWindow.y()).arg(inWindow.width()).arg(inWindow.height())));
            }
        }
        if (const QString folder = qEnvironmentVariable("ZENLABO_SCREENSHOTS"); !folder.isEmpty()) {
            const QString dir = QStringLiteral("%1/%2").arg(folder, qEnvironmentVariable("ZENLABO_DESKTOP"));
            QDir().mkpath(dir);
            // Only the figure waits, for the frames and contents to be drawn.
            QTest::qWait(500);
            QVERIFY(QGuiApplication::primaryScreen()->grabWindow(0).save(
                QStringLiteral("%1/%2.png").arg(dir, QString::fromLatin1(QTest::currentDataTag()))));
        }
    }

    // A screen whose place was reckoned with too small a frame (a window
    // manager drawing a heavier one than the main window has, a screen
    // opened before the main window had its frame) comes inside the desktop
    // once its real frame is drawn, smaller where it must be.
    void aScreenPlacedWithTooSmallAFrameComesInside_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QPointF>("corner"); // where its frame starts, in parts of the desktop
        QTest::newRow("taller than the desktop") << QSize(400, 4000) << QPointF(0.1, 0.1);
    }
    void aScreenPlacedWithTooSmallAFrameComesInside()
    {
        QFETCH(QSize, size);
        QFETCH(QPointF, corner);
        QWidget screen(m_main.get(), Qt::Window);
        screen.setObjectName(QStringLiteral("screen"));
        auto *layout = new QVBoxLayout(&screen);
        layout->addWidget(new QTextEdit(&screen), 1);
        auto *ok = new QPushButton(QStringLiteral("OK"), &screen);
        layout->addWidget(ok);
        placeScreen(&screen, m_main.get(), {});
        // Then the place turns out wrong before the window manager shows it.
        const QRect desktop = QGuiApplication::primaryScreen()->availableGeometry();
        screen.resize(size);
        screen.move(qRound(desktop.width() * corner.x()), qRound(desktop.height() * corner.y()));
        screen.show();
        QTRY_VERIFY_WITH_TIMEOUT(decorated(&screen), kDeadlineMs);
        QTRY_VERIFY2_WITH_TIMEOUT(desktop.contains(screen.frameGeometry()), qPrintable(where(&screen)), kDeadlineMs);
        QVERIFY(screen.rect().contains(QRect(ok->mapTo(&screen, QPoint(0, 0)), ok->size())));
    }

private:
    std::unique_ptr<zltest::TempHome> m_home;
    std::unique_ptr<MainWindow> m_main;
    QList<ShownMessage> m_messages;
};

ZL_TEST(DesktopFitTest)
#include "DesktopFitTest.moc"
