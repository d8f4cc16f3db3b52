// Label sheets on the screens, driven as an operator would: choosing a sheet
// beside the papers, seeing it on the print screen, clicking the first free
// position, and a run that moves it on. The printer records what it is sent.
// A sheet run to the built-in PDF printer leaves what the main menu shows
// as it was, however often the menu looks during the run (under
// ThreadSanitizer, scripts/tsan, that look is also a race check).
#include "ScreenRuns.h"
#include "DeviceOutput.h"
#include "FakePrinter.h"
#include "PdfPages.h"
#include "SheetPicking.h"
#include "TestEnv.h"
#include "TestRegistry.h"

#include "app/ui/MainMenu.h"
#include "paper/PaperSelection.h"
#include "pdf/PdfPrinter.h"
#include "printer/PrinterNews.h"
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
#include <QDir>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>
#include <atomic>
#include <functional>

using namespace zl;

namespace {
// Calls `look` at every turn of the windows' event loop until stopped.
class Looks : public QObject {
public:
    explicit Looks(std::function<void()> look) : m_look(std::move(look)), m_timer(startTimer(0)) {}
    void stop()
    {
        if (m_timer)
            killTimer(std::exchange(m_timer, 0));
    }

protected:
    void timerEvent(QTimerEvent *) override { m_look(); }

private:
    std::function<void()> m_look;
    int m_timer;
};
} // namespace

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

    // The main menu's printer line looks at the printer in force again and
    // again from the windows' thread while a sheet run prints to the PDF
    // printer. The run holds still in the middle (with the sheet's A4 taken
    // and its file begun) until the line has been shown a few times, so the
    // looks fall within the run whatever the machine's speed; the run's
    // paper is its own, and the line shows the paper in force throughout.
    void theMainMenuLineLooksOnWhileASheetRunPrints()
    {
        QStringList items;
        for (int i = 1; i <= 14; ++i)
            items << QStringLiteral("4987654%1").arg(i, 5, 10, QLatin1Char('0'));
        m_home->writeItems(items);
        const QString folder = m_home->root() + QStringLiteral("/pdf");
        std::vector<std::unique_ptr<printer::Printer>> pdfOnly;
        pdfOnly.push_back(std::make_unique<printer::PdfPrinter>(folder));
        auto *pdf = static_cast<printer::PdfPrinter *>(pdfOnly.front().get());
        printer::installPrinters(std::make_unique<printer::OwnedPrinterCollection>(std::move(pdfOnly)));
        // No paper stored ("_"): the line shows the printer's own.
        printer::LayoutRow layout = printer::readLayoutRow();
        layout.yoshi.clear();
        layout.printer = QStringLiteral("0");
        printer::savePaperChoice(layout);
        printer::saveSheetChoice({QStringLiteral("A4-12"), 1});

        ui::MainMenu menu(m_home->root());
        auto *line = menu.findChild<QLabel *>(QStringLiteral("Label9"));
        QVERIFY(line);
        QTRY_VERIFY(!line->text().contains(QStringLiteral("確認しています")));
        const QString before = line->text();
        QVERIFY2(before.contains(QStringLiteral("Zenlabo PDF")) && before.contains(QStringLiteral("シート:")), qPrintable(before));

        // Counted with relaxed atomics, which order nothing between the two
        // threads: ThreadSanitizer is left to judge the looks on its own.
        std::atomic<bool> runWaits{false};
        std::atomic<int> looksInRun{0};
        pdf->setClock([&] {
            runWaits.store(true, std::memory_order_relaxed);
            // Bounded only so that a run that no longer asks the windows to
            // look cannot hang the test; the looks come within milliseconds.
            QElapsedTimer waited;
            waited.start();
            while (looksInRun.load(std::memory_order_relaxed) < 5 && waited.elapsed() < 60000)
                QThread::msleep(1);
            runWaits.store(false, std::memory_order_relaxed);
            return QDateTime(QDate(2026, 12, 8), QTime(9, 30));
        });
        // Each look reads what the line shows straight from a timer event
        // (no Qt functor in between, whose frames scripts/tsan.supp leaves
        // unreported), then has the menu refresh the line itself.
        QStringList shownInRun;
        Looks looks([&] {
            const bool inRun = runWaits.load(std::memory_order_relaxed);
            QString read;
            {
                const printer::WithoutWaiting withoutWaiting;
                read = printer::printerInForceText();
            }
            printer::PrinterInForceNews::instance().tell();
            if (inRun) {
                shownInRun << read << line->text();
                looksInRun.fetch_add(1, std::memory_order_relaxed);
            }
        });

        ui::answerQuestionsWith([](const ui::ShownMessage &) { return true; });
        zltest::clickStart(ui::ScreenRegistry::instance().show(QStringLiteral("F_CustInput")));
        looks.stop();
        ui::answerQuestionsWith({});

        // Fourteen labels, twelve a sheet: two A4 pages.
        QCOMPARE(zltest::pdfPageCount(folder + QStringLiteral("/labels-20261208-093000.pdf")), 2);
        QVERIFY2(shownInRun.size() >= 10, qPrintable(QString::number(shownInRun.size())));
        QStringList otherwise;
        for (const QString &shown : shownInRun)
            if (shown != before && !otherwise.contains(shown))
                otherwise << shown;
        QVERIFY2(otherwise.isEmpty(), qPrintable(before + QStringLiteral(" // ") + otherwise.join(QStringLiteral(" | "))));
        QCOMPARE(line->text(), before);
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
