// Label sheets on the screens, driven as an operator would: choosing a sheet
// beside the papers, seeing it on the print screen, clicking the first free
// position, and a run that moves it on. The printer records what it is sent.
#include "ScreenRuns.h"
#include "DeviceOutput.h"
#include "FakePrinter.h"
#include "SheetPicking.h"
#include "TestEnv.h"
#include "TestRegistry.h"

#include "paper/PaperSelection.h"
#include "sheets/SheetChoice.h"
#include "printing/ui/SheetBox.h"
#include "settings/SettingsTable.h"
#include "ui/Dialogs.h"
#include "ui/ScreenRegistry.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QCheckBox>
#include <QTest>

using namespace zl;

class SheetScreensTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_home = std::make_unique<zltest::TempHome>();
        m_home->installDefaults();
        std::vector<std::unique_ptr<zltest::FakePrinter>> v;
        v.push_back(std::make_unique<zltest::FakePrinter>(QStringLiteral("Office")));
        v.back()->accept(9, 11906, 16838).accept(256, 2835, 1701);
        v.back()->setPaperSize(256);
        v.push_back(std::make_unique<zltest::FakePrinter>(QStringLiteral("Labels")));
        v.back()->accept(256, 2835, 1701);
        m_printers = zltest::installFakePrinters(std::move(v));
        m_messages.clear();
        ui::recordMessagesInto(&m_messages);
        ui::registerAllScreens(ui::ScreenRegistry::instance());
        ui::ScreenRegistry::instance().setHost(nullptr);
    }
    void cleanup()
    {
        for (const char *form : {"F_CustInput", "Form7"})
            if (QWidget *w = ui::ScreenRegistry::instance().find(QString::fromLatin1(form)))
                delete w;
        ui::recordMessagesInto(nullptr);
        m_home.reset();
    }

    void thePrintScreenShowsTheSheetAndTakesAClickedStart()
    {
        QStringList items;
        for (int i = 1; i <= 5; ++i)
            items << QStringLiteral("49876540000%1").arg(i);
        m_home->writeItems(items);
        printer::saveSheetChoice({QStringLiteral("A4-12"), 3});

        QWidget *screen = ui::ScreenRegistry::instance().show(QStringLiteral("F_CustInput"));
        auto *view = screen->findChild<ui::SheetView *>(QStringLiteral("PictureSheet"));
        QVERIFY(view && view->isVisible());
        QVERIFY2(caption(screen).contains(QStringLiteral("開始位置: 3")), qPrintable(caption(screen)));
        // Used positions grey, the five labels from position 3, then white.
        const QImage picture = view->grab().toImage();
        for (int n = 1; n <= 12; ++n) {
            const QImage area = picture.copy(view->positionArea(n).toRect().adjusted(2, 2, -2, -2));
            const bool inked = !zltest::runsAlong(area, zltest::barRow(area)).isEmpty();
            const QColor centre = area.pixelColor(area.rect().center());
            QVERIFY2(n < 3 ? !inked && centre == QColor(170, 170, 170) : n < 8 ? inked : !inked && centre == Qt::white,
                     qPrintable(QStringLiteral("position %1").arg(n)));
        }

        QTest::mouseClick(view, Qt::LeftButton, {}, view->positionArea(9).center().toPoint());
        QCOMPARE(printer::readSheetChoice().start, 9);
        QVERIFY2(caption(screen).contains(QStringLiteral("開始位置: 9")), qPrintable(caption(screen)));

        // Positions 9 to 12, then 1 on a new sheet: two sheets, and the next
        // run starts at 2.
        // The sheet's A4 is the run's printer's alone: the printer the
        // windows read keeps its paper while the run prints, and after.
        QList<std::optional<int>> windowsPaper;
        m_printers[0]->beforeDocument = [&](int) { windowsPaper << m_printers[0]->paperSize(); };
        zltest::clickStart(screen);
        QCOMPARE(m_printers[0]->documents.size(), 2);
        QCOMPARE(printer::readSheetChoice().start, 2);
        QCOMPARE(windowsPaper, (QList<std::optional<int>>{256, 256}));
        QCOMPARE(m_printers[0]->paperSize(), std::optional<int>(256));
    }

    // A sheet selects A4 among the papers, leaving it for 「シートなし」
    // chooses the paper before it again, another paper is one label a page
    // again, the sheet chosen last is stored with A4 and 「原寸で印刷」 beside
    // it; a printer without A4 cannot take one.
    void theSheetIsChosenBesideThePapers()
    {
        QWidget *screen = ui::ScreenRegistry::instance().show(QStringLiteral("Form7"));
        QCOMPARE(zltest::currentSheetRow(screen), QString()); // no table: no sheet
        auto *paper = screen->findChild<QLineEdit *>(QStringLiteral("Text5"));
        auto *papers = screen->findChildren<QListWidget *>(QStringLiteral("List2")).first();
        // The printer's own paper, shown chosen already: clicked.
        QTest::mouseClick(papers->viewport(), Qt::LeftButton, {},
                          papers->visualItemRect(papers->item(papers->count() - 1)).center());
        QCOMPARE(paper->text(), QStringLiteral("256"));
        QVERIFY(zltest::pickSheet(screen, QStringLiteral("A4-44")));
        QCOMPARE(paper->text(), QStringLiteral("9"));
        QVERIFY(zltest::pickSheet(screen, QString()));
        QCOMPARE(paper->text(), QStringLiteral("256"));
        QVERIFY(zltest::pickSheet(screen, QStringLiteral("A4-44")));
        papers->setCurrentRow(papers->count() - 1);
        QCOMPARE(zltest::currentSheetRow(screen), QString());
        screen->findChild<QCheckBox *>(QStringLiteral("CheckActualSize"))->setChecked(true);
        QVERIFY(zltest::pickSheet(screen, QStringLiteral("A4-12")));
        zltest::clickStart(screen);
        QCOMPARE(printer::readLayoutRow().yoshi, QStringLiteral("9"));
        QCOMPARE(printer::readSheetChoice().sheetId, QStringLiteral("A4-12"));
        QCOMPARE(printer::readLabelScale(), printer::LabelScale::ActualSize);

        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // the saved screen is gone
        printer::printers()->setCurrent(m_printers[1]);
        screen = ui::ScreenRegistry::instance().show(QStringLiteral("Form7"));
        QCOMPARE(zltest::sheetRow(screen, QStringLiteral("A4-12")), 1); // chosen last: on top
        QVERIFY(zltest::pickSheet(screen, QStringLiteral("A4-24")));
        QCOMPARE(zltest::currentSheetRow(screen), QString());
        QVERIFY(m_messages.size() == 2 && m_messages[1].text.contains(QStringLiteral("「Labels」はA4用紙を使えない")));
    }

private:
    static QString caption(QWidget *screen)
    {
        return screen->findChild<QLabel *>(QStringLiteral("LabelSheet"))->text();
    }

    std::unique_ptr<zltest::TempHome> m_home;
    QList<zltest::FakePrinter *> m_printers;
    QList<ui::ShownMessage> m_messages;
};

ZL_TEST(SheetScreensTest)
#include "SheetScreensTest.moc"
