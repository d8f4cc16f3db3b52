// The print screens driven as an operator would: real settings files, a real
// data file, the real progress window; the printer records what it is sent.
#include "ScreenRuns.h"
#include "FakePrinter.h"
#include "PdfPages.h"
#include "TestEnv.h"
#include "TestRegistry.h"

#include "ui/Dialogs.h"
#include "ui/ScreenPlacement.h"
#include "ui/ScreenRegistry.h"
#include "printing/ui/PrintScreenBase.h"
#include "label/LabelFields.h"
#include "layout/Titles.h"
#include "pdf/PdfPrinter.h"
#include "printing/PrintRun.h"
#include "settings/Defaults.h"
#include "settings/SettingsTable.h"

#include <QApplication>
#include <QDir>
#include <QScrollBar>
#include <QElapsedTimer>
#include <QLabel>
#include <QRandomGenerator>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QItemSelectionModel>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QDeadlineTimer>
#include <atomic>
#include <QThread>

using namespace zl;

namespace {

QByteArray csv(int records, const std::function<QString(int)> &price = {})
{
    QString text = QStringLiteral("JANコード,商品名,規格,価格\r\n");
    for (int i = 1; i <= records; ++i)
        text += QStringLiteral("4912345%1,商品%2,規格,%3\r\n")
                    .arg(i, 5, 10, QLatin1Char('0'))
                    .arg(i)
                    .arg(price ? price(i) : QStringLiteral("1200"));
    return zltest::sjis(text);
}

} // namespace

class PrintScreensTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_home = std::make_unique<zltest::TempHome>();
        m_home->installDefaults();
        auto printers = zltest::installFakePrinters([] {
            std::vector<std::unique_ptr<zltest::FakePrinter>> v;
            auto p = std::make_unique<zltest::FakePrinter>(QStringLiteral("Label Printer"));
            p->accept(256, 2835, 1701);
            p->setPaperSize(256);
            v.push_back(std::move(p));
            return v;
        }());
        m_printer = printers.first();
        m_messages.clear();
        ui::recordMessagesInto(&m_messages);
        ui::registerAllScreens(ui::ScreenRegistry::instance());
        ui::ScreenRegistry::instance().setHost(nullptr);
    }
    void cleanup()
    {
        for (const char *form : {"F_CustInput", "F_CustInput2"})
            if (QWidget *w = ui::ScreenRegistry::instance().find(QString::fromLatin1(form)))
                delete w;
        ui::recordMessagesInto(nullptr);
        ui::answerQuestionsWith({});
        m_barWatch.reset();
        m_home.reset();
    }

    void threeRecordsPrintThreeLabelsThenTheScreenCloses()
    {
        useData(csv(3));
        QPointer<QWidget> screen = openScreen("F_CustInput");
        QCOMPARE(text(screen, "Label_PP"), QString());
        QCOMPARE(screen->findChild<QTableView *>(QStringLiteral("DataGrid1"))->model()->rowCount(), 3);
        click(screen, "Command3");
        QCOMPARE(m_printer->documents.size(), 3);
        QCOMPARE(text(screen, "Label_PP"), QStringLiteral("297"));
        QCOMPARE(text(screen, "Label1"), QStringLiteral("※印刷処理終了!!"));
        QCOMPARE(m_messages.size(), 1);
        QCOMPARE(m_messages[0].text, QStringLiteral("印刷終了。ﾃﾞｰﾀﾍﾞｰｽと接続解除しました。\n3枚のラベルを「Label Printer」に印刷しました。"));
        QCOMPARE(m_messages[0].title, QStringLiteral("処理終了"));
        QCOMPARE(m_messages[0].style, int(ui::Information));
        QVERIFY(!screen->isVisible());
    }

    // The limit stops the run without a message box, but the screen says
    // where: 残り 0, the status line with the row to go on from, and a start
    // button that is off (its tip says why) until the screen opens again.
    void the300LabelCapStopsSilentlyAndHoldsForTheOpening()
    {
        useData(csv(350));
        QPointer<QWidget> screen = openScreen("F_CustInput");
        click(screen, "Command3");
        QCOMPARE(m_printer->documents.size(), 300);
        QCOMPARE(text(screen, "Label_PP"), QStringLiteral("0"));
        QCOMPARE(text(screen, "Label1"), QStringLiteral("※1回300枚の上限で止めました!!（300枚印刷、続きは301行目から）"));
        auto *start = screen->findChild<QPushButton *>(QStringLiteral("Command3"));
        QVERIFY(!start->isEnabled() && start->toolTip().contains(QStringLiteral("開き直す")));
        QVERIFY(m_messages.isEmpty());
        QVERIFY(screen->isVisible());
        QCOMPARE(text(screen, "Text1"), QStringLiteral("491234500300"));
        screen->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        screen = openScreen("F_CustInput");
        QVERIFY(screen->findChild<QPushButton *>(QStringLiteral("Command3"))->isEnabled());
    }

    // When the cap stop has something to tell (here a row without a
    // barcode), it says how far the run got, never "印刷終了".
    void theCapStopWithSomethingToTellSaysHowFarItGot()
    {
        QByteArray data = csv(350);
        data.replace("491234500002,", "ABC,");
        useData(data);
        ui::answerQuestionsWith([](const ui::ShownMessage &) { return true; });
        QPointer<QWidget> screen = openScreen("F_CustInput");
        click(screen, "Command3");
        QCOMPARE(m_printer->documents.size(), 300);
        QCOMPARE(m_messages.size(), 2); // the check before the first label, then the end
        const QString said = m_messages[1].text;
        QVERIFY2(said.contains(QStringLiteral("301行目の前で止めました")) && said.contains(QStringLiteral("2行目「ABC」"))
                     && !said.contains(QStringLiteral("印刷終了")),
                 qPrintable(said));
    }

    void headerOnlyEndsAtOnce()
    {
        useData(csv(0));
        QPointer<QWidget> screen = openScreen("F_CustInput");
        click(screen, "Command3");
        QVERIFY(m_printer->documents.isEmpty());
        QCOMPARE(m_messages.size(), 1);
        QCOMPARE(m_messages[0].title, QStringLiteral("処理終了"));
    }

    void declinedPrintSetupPrintsNothing()
    {
        useData(csv(3));
        m_home->writeTable(settings::kLayoutTable, settings::layoutColumns(),
                           {QStringLiteral("店"), QStringLiteral("税込"), QStringLiteral("999"), QStringLiteral("1")});
        auto *dialog = zltest::installScriptedDialog([](printer::PrintSetupRecords &) { return false; });
        QPointer<QWidget> screen = openScreen("F_CustInput");
        click(screen, "Command3");
        QCOMPARE(dialog->runs, 1);
        QCOMPARE(dialog->lastFlags, 0x40u);
        QVERIFY(m_printer->documents.isEmpty());
        QCOMPARE(text(screen, "Label1"), QString());
        QCOMPARE(text(screen, "Text999"), QStringLiteral("1"));
        QVERIFY(m_messages.isEmpty());
    }

    void confirmedPrintSetupPrintsEveryRecord()
    {
        useData(csv(2));
        m_home->writeTable(settings::kLayoutTable, settings::layoutColumns(),
                           {QStringLiteral("店"), QStringLiteral("税込"), QStringLiteral("999"), QStringLiteral("1")});
        auto *dialog = zltest::installScriptedDialog([](printer::PrintSetupRecords &) { return true; });
        QPointer<QWidget> screen = openScreen("F_CustInput");
        click(screen, "Command3");
        QCOMPARE(dialog->runs, 1);
        QCOMPARE(m_printer->documents.size(), 2);
    }

    void missingDataFolderIsReportedOnOpening()
    {
        m_home->writeTable(settings::kDataSourceTable, settings::dataSourceColumns(),
                           {m_home->root() + QStringLiteral("/nowhere"), QStringLiteral("items.csv")});
        QPointer<QWidget> screen = openScreen("F_CustInput");
        QVERIFY(screen && screen->isVisible());
        QCOMPARE(m_messages.size(), 1);
        QCOMPARE(m_messages[0].title, QStringLiteral("設定エラー。データベースに接続できません。"));
        QVERIFY2(m_messages[0].text.startsWith(QStringLiteral("ﾃﾞｰﾀﾍﾞｰｽまたは読み取りﾌｧｲﾙのﾊﾟｽが無効です。")),
                 qPrintable(m_messages[0].text));
        QVERIFY(m_messages[0].text.contains(QStringLiteral("nowhere")));
    }

    void unreadableAdjustmentsAreReportedOnOpeningAndAgainOnARun()
    {
        useData(csv(2));
        QFile::remove(settings::tablePath(settings::kAdjustmentTable));
        QPointer<QWidget> screen = openScreen("F_CustInput");
        QCOMPARE(m_messages.size(), 1);
        QCOMPARE(m_messages[0].title, QStringLiteral("設定エラー。データベースに接続できません。"));
        click(screen, "Command3");
        QVERIFY(m_printer->documents.isEmpty());
        QCOMPARE(m_messages.size(), 2);
        QVERIFY(m_messages[1].text.startsWith(printing::kRunErrorPrefix));
        // Once the table is back, the same screen prints.
        m_home->writeFile(settings::kAdjustmentTable, settings::builtInDefault(settings::kAdjustmentTable));
        click(screen, "Command3");
        QCOMPARE(m_printer->documents.size(), 2);
    }

    // The check before the first label names the price that would stop the
    // run; stopping there prints nothing, printing anyway stops at that row.
    void runErrorsAreReportedAndTheScreenStaysUsable()
    {
        useData(csv(3, [](int i) { return i == 2 ? QStringLiteral("未定") : QStringLiteral("100"); }));
        QPointer<QWidget> screen = openScreen("F_CustInput");
        click(screen, "Command3");
        QVERIFY(m_printer->documents.isEmpty());
        QCOMPARE(m_messages.size(), 1);
        QVERIFY2(m_messages[0].text.contains(QStringLiteral("2行目: 価格「未定」")), qPrintable(m_messages[0].text));
        QCOMPARE(m_messages[0].title, QStringLiteral("印刷の前の確認"));
        QVERIFY(screen->isVisible());

        m_messages.clear();
        ui::answerQuestionsWith([](const ui::ShownMessage &) { return true; });
        click(screen, "Command3");
        QCOMPARE(m_printer->documents.size(), 1); // the second record's price is not a number
        QCOMPARE(m_messages.size(), 2);
        m_messages.removeFirst();
        QVERIFY2(m_messages[0].text.startsWith(printing::kRunErrorPrefix), qPrintable(m_messages[0].text));
        QVERIFY2(m_messages[0].text.contains(QStringLiteral("2行目: 価格「未定」")), qPrintable(m_messages[0].text));
        QCOMPARE(m_messages[0].title, QStringLiteral("ERROR"));
        QVERIFY(text(screen, "Label1") != printing::kStatusPrinting);
        QVERIFY(screen->isVisible());
        QVERIFY(screen->findChild<QPushButton *>(QStringLiteral("Command3"))->isEnabled());

        // A data file gone by the time of the run is reported the same way.
        m_messages.clear();
        QFile::remove(m_home->settingsFolder() + QStringLiteral("items.csv"));
        click(screen, "Command3");
        QCOMPARE(m_messages.size(), 1);
        QVERIFY(m_messages[0].text.startsWith(printing::kRunErrorPrefix));
    }

    // Odd second rows as shops' files hold them, through the real reader:
    // the record count, the grid's mark, the check before the first label
    // (an operator who prints anyway gets the first row and a stop), the
    // command line, and what the PDF shows. A row the reader cannot take as
    // it stands never prints a misread value.
    void oddRowsAreNamedBeforeAnyLabel_data()
    {
        QTest::addColumn<QString>("header");
        QTest::addColumn<QString>("odd");
        QTest::addColumn<QString>("problem"); // empty: the row prints
        QTest::addColumn<QString>("printed"); // on its label
        const QString header = QStringLiteral("JANコード,商品名,規格,価格");
        const QString splitPrice = QStringLiteral("価格「1,099」が「,」で2つの列に分かれています。"
                                                  "価格に「,」があるときは \"1,099\" のように引用符で囲んでください。");
        QTest::newRow("price with an unquoted thousands comma")
            << header << QStringLiteral("491234500002,ボールペン 黒,109ml,1,099") << splitPrice << QString();
        QTest::newRow("the same under a spreadsheet's empty header names")
            << header + QStringLiteral(",,") << QStringLiteral("491234500002,ボールペン 黒,109ml,1,099,") << splitPrice
            << QString();
        QTest::newRow("comma in the product name")
            << header << QStringLiteral("491234500002,ボールペン,黒,109ml,120")
            << QStringLiteral("データの列は4列ですが、5列目にも値「120」があります。") << QString();
        QTest::newRow("a value past a six-column header")
            << header + QStringLiteral(",仕入先,棚") << QStringLiteral("491234500002,ボールペン 黒,109ml,150,文具堂,3,予備")
            << QStringLiteral("データの列は6列ですが、7列目にも値「予備」があります。") << QString();
        QTest::newRow("empty trailing fields are fine")
            << header << QStringLiteral("491234500002,ボールペン 黒,109ml,180,,") << QString() << QStringLiteral("￥180");
        QTest::newRow("quoted thousands comma is fine")
            << header << QStringLiteral("491234500002,ボールペン 黒,109ml,\"1,099\"") << QString()
            << QStringLiteral("￥1,099");
        QTest::newRow("six-column header, its first four printed")
            << header + QStringLiteral(",仕入先,棚") << QStringLiteral("491234500002,ボールペン 黒,109ml,150,文具堂,3")
            << QString() << QStringLiteral("￥150");
        QTest::newRow("wrong check digit prints as it stands")
            << header << QStringLiteral("4912345000072,ボールペン 黒,109ml,150") << QString()
            << QStringLiteral("4912345000072");
    }
    void oddRowsAreNamedBeforeAnyLabel()
    {
        QFETCH(QString, header);
        QFETCH(QString, odd);
        QFETCH(QString, problem);
        QFETCH(QString, printed);
        useData(zltest::sjis(header + QStringLiteral("\r\n491234500001,ノート,A5,120\r\n") + odd +
                             QStringLiteral("\r\n491234500003,消しゴム,小,80\r\n")));
        std::vector<std::unique_ptr<printer::Printer>> pdfOnly;
        pdfOnly.push_back(std::make_unique<printer::PdfPrinter>(m_home->root() + QStringLiteral("/pdf")));
        auto *pdf = static_cast<printer::PdfPrinter *>(pdfOnly.front().get());
        printer::installPrinters(std::make_unique<printer::OwnedPrinterCollection>(std::move(pdfOnly)));

        std::unique_ptr<QWidget> count(openScreen("Form6"));
        QCOMPARE(text(count.get(), "Label1"), QStringLiteral("3"));
        QPointer<QWidget> screen = openScreen("F_CustInput");
        const auto *grid = screen->findChild<QTableView *>(QStringLiteral("DataGrid1"))->model();
        QCOMPARE(grid->rowCount(), 3);
        for (int row = 0; row < 3; ++row) {
            const QString tip = grid->index(row, 3).data(Qt::ToolTipRole).toString();
            const bool marked = row == 1 && !problem.isEmpty();
            QVERIFY2(marked ? tip.contains(problem) : tip.isEmpty(), qPrintable(QStringLiteral("row %1: %2").arg(row + 1).arg(tip)));
            QCOMPARE(grid->headerData(row, Qt::Vertical, Qt::BackgroundRole).isValid(), marked);
        }

        ui::answerQuestionsWith([](const ui::ShownMessage &) { return true; });
        click(screen, "Command3");
        const QString labels = zltest::pdfText(pdf->lastDocumentPath());
        if (labels.isNull())
            QSKIP("poppler-utils is not installed");
        const QString said = m_messages.isEmpty() ? QString() : m_messages.first().text;
        if (problem.isEmpty()) {
            QVERIFY2(!said.contains(QStringLiteral("止まります")), qPrintable(said));
            QCOMPARE(zltest::pdfPageCount(pdf->lastDocumentPath()), 3);
            QVERIFY2(labels.contains(printed), qPrintable(labels));
        } else {
            // Printed anyway: the first row, then the run stops at the second.
            QVERIFY2(said.contains(QStringLiteral("2行目: ") + problem), qPrintable(said));
            QCOMPARE(zltest::pdfPageCount(pdf->lastDocumentPath()), 1);
            QCOMPARE(m_messages.last().title, QStringLiteral("ERROR"));
            QVERIFY2(m_messages.last().text.contains(QStringLiteral("2行目: ") + problem), qPrintable(m_messages.last().text));
        }
        // Digits are grouped only under a barcode's bars.
        QVERIFY2(!labels.contains(QStringLiteral("4 912345 000072")), qPrintable(labels));

        const zltest::ProgramOutcome cli = zltest::runProgram(*m_home, {QStringLiteral("--print")});
        const QStringList files = QDir(m_home->root() + QStringLiteral("/Documents/Zenlabo")).entryList({QStringLiteral("*.pdf")});
        if (problem.isEmpty()) {
            QVERIFY2(cli.exitCode == 0 && files.size() == 1, qPrintable(cli.err));
            const QString pdfText = zltest::pdfText(m_home->root() + QStringLiteral("/Documents/Zenlabo/") + files.first());
            QVERIFY2(pdfText.contains(printed), qPrintable(pdfText));
        } else {
            QCOMPARE(cli.exitCode, 1);
            QVERIFY2(cli.err.contains(QStringLiteral("2行目: ") + problem) &&
                         cli.err.contains(QStringLiteral("ラベルは1枚も印刷していません")),
                     qPrintable(cli.err));
            QVERIFY2(files.isEmpty(), qPrintable(files.join(u' ')));
        }
    }

    // A barcode that would not scan is refused before anything prints, even
    // by an operator who would print anyway: the question offers only to stop.
    void aBarcodeThatWouldNotScanIsRefused()
    {
        useData(csv(2));
        QStringList adjustments(99, QStringLiteral("0"));
        adjustments[2] = QStringLiteral("-5");
        m_home->writeTable(settings::kAdjustmentTable, settings::adjustmentColumns(), adjustments);
        ui::answerQuestionsWith([](const ui::ShownMessage &) { return true; });
        QPointer<QWidget> screen = openScreen("F_CustInput");
        click(screen, "Command3");
        QVERIFY(m_printer->documents.isEmpty());
        QCOMPARE(m_messages.size(), 1);
        QCOMPARE(m_messages[0].title, QStringLiteral("印刷の前の確認"));
        QVERIFY2(m_messages[0].text.contains(QStringLiteral("印刷しません")) && m_messages[0].text.contains(QStringLiteral("収まらず")),
                 qPrintable(m_messages[0].text));
        QVERIFY(screen->findChild<QPushButton *>(QStringLiteral("Command3"))->isEnabled());
    }

    // Every run shows the data file afresh in the grid; the grid's old
    // model and selection model must go with it, whether the file opens or not.
    void reloadingTheGridLeavesOneModelAndOneSelection()
    {
        useData(csv(3, [](int i) { return i == 2 ? QStringLiteral("未定") : QStringLiteral("100"); }));
        QPointer<QWidget> screen = openScreen("F_CustInput");
        auto *grid = screen->findChild<QTableView *>(QStringLiteral("DataGrid1"));
        QPointer<QItemSelectionModel> first = grid->selectionModel();
        auto count = [grid](const char *className) {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            int n = 0;
            for (const QObject *child : grid->children())
                n += child->inherits(className) ? 1 : 0;
            return n;
        };
        for (int run = 0; run < 4; ++run)
            click(screen, "Command3"); // declined at the check: the screen stays open
        QCOMPARE(m_messages.size(), 4);
        QVERIFY(!first);
        QCOMPARE(count("QItemSelectionModel"), 1);
        QCOMPARE(count("QAbstractItemModel"), 1);
        // The grid follows the selection of the model it shows now.
        grid->selectRow(2);
        QCOMPARE(grid->selectionModel()->currentIndex().row(), 2);

        QFile::remove(m_home->settingsFolder() + QStringLiteral("items.csv"));
        click(screen, "Command3");
        click(screen, "Command3");
        QCOMPARE(count("QItemSelectionModel"), 1);
        QCOMPARE(count("QAbstractItemModel"), 0);
    }

    void recordsWithoutABarcodeAreNamedAndNeverBorrowOne()
    {
        QString text = QStringLiteral("JAN,名,規格,価格\r\n491234500001,a,b,1\r\n12345,b,b,1\r\n491234500003,c,b,1\r\n");
        useData(zltest::sjis(text));
        ui::answerQuestionsWith([](const ui::ShownMessage &asked) { return asked.text.contains(QStringLiteral("2行目: バーコードなし")); });
        QPointer<QWidget> screen = openScreen("F_CustInput");
        click(screen, "Command3");
        QCOMPARE(m_printer->documents.size(), 3);
        QCOMPARE(m_messages.size(), 2);
        QVERIFY2(m_messages[1].text.contains(QStringLiteral("2行目「12345」")), qPrintable(m_messages[1].text));
    }

    // While the rows are read and checked, before the first label, the
    // progress window already holds the rest of the program off, and its
    // cancel ends the run with nothing printed.
    void theProgressWindowIsModalFromTheStartOfARun()
    {
        useData(zltest::sjis(QStringLiteral("JAN,名,規格,価格\r\n491234500001,a,b,1\r\n12345,b,b,1\r\n")));
        QString modalAtTheCheck;
        ui::answerQuestionsWith([&](const ui::ShownMessage &) {
            QWidget *modal = QApplication::activeModalWidget();
            modalAtTheCheck = modal ? modal->objectName() : QStringLiteral("none");
            if (modal && modalAtTheCheck == QStringLiteral("frmprinting"))
                QTest::mouseClick(modal->findChild<QPushButton *>(QStringLiteral("comcancel1")), Qt::LeftButton);
            return true;
        });
        QPointer<QWidget> screen = openScreen("F_CustInput");
        click(screen, "Command3");
        QCOMPARE(modalAtTheCheck, QStringLiteral("frmprinting"));
        QVERIFY(m_printer->documents.isEmpty());
        QCOMPARE(m_messages.size(), 2); // the check's question, then the end
        QVERIFY2(m_messages[1].text.startsWith(QStringLiteral("印刷をキャンセルしました。ラベルは1枚も印刷していません")),
                 qPrintable(m_messages[1].text));
    }

    void secondClickAndCloseDuringALabelDoNotStartOrBreakARun()
    {
        useData(csv(6));
        QPointer<QWidget> screen = openScreen("F_CustInput");
        // The printer holds the second and third labels until the operator's
        // hand has acted on the screen.
        std::atomic<bool> acted{false};
        m_printer->beforeDocument = [&](int n) {
            if (n != 2 && n != 3)
                return;
            acted = false;
            QMetaObject::invokeMethod(screen, [&, n] {
                if (n == 2) // a second click, straight on the button, mid-run
                    screen->findChild<QPushButton *>(QStringLiteral("Command3"))->click();
                else
                    screen->close();
                acted = true;
            });
            holdUntil([&] { return acted.load(); });
        };
        click(screen, "Command3");
        // The close asked for during the third label stops the run after it.
        QCOMPARE(m_printer->documents.size(), 3);
        QVERIFY(!screen || !screen->isVisible());
    }

    // Titles typed on the open output-layout screen and not saved are the
    // ones printed, read from its fields on the windows' thread when the run
    // starts, never from the thread the run prints on.
    void unsavedTitlesOfTheOpenLayoutScreenPrint()
    {
        useData(csv(3));
        std::vector<std::unique_ptr<printer::Printer>> pdfOnly;
        pdfOnly.push_back(std::make_unique<printer::PdfPrinter>(m_home->root() + QStringLiteral("/pdf")));
        auto *pdf = static_cast<printer::PdfPrinter *>(pdfOnly.front().get());
        printer::installPrinters(std::make_unique<printer::OwnedPrinterCollection>(std::move(pdfOnly)));
        QPointer<QWidget> layoutScreen = openScreen("Form3");
        layoutScreen->findChild<QLineEdit *>(QStringLiteral("Text1"))->setText(QStringLiteral("未保存の見出し"));
        layoutScreen->findChild<QLineEdit *>(QStringLiteral("Text2"))->setText(QStringLiteral("本日限定"));
        std::atomic<int> readOffTheWindowsThread{0};
        const std::function<layout::Titles()> fields = layout::liveTitlesSource();
        layout::setLiveTitlesSource([&, fields] {
            if (QThread::currentThread() != qApp->thread())
                ++readOffTheWindowsThread;
            return fields();
        });
        QPointer<QWidget> screen = openScreen("F_CustInput");
        click(screen, "Command3");
        delete layoutScreen;
        QCOMPARE(readOffTheWindowsThread.load(), 0);
        const QString printed = zltest::pdfText(pdf->lastDocumentPath());
        QCOMPARE(printed.count(QStringLiteral("未保存の見出し")), 3);
        QCOMPARE(printed.count(QStringLiteral("本日限定")), 3);
    }

    void partialRunPrintsItsRange()
    {
        useData(csv(10));
        QPointer<QWidget> screen = openScreen("F_CustInput2");
        QCOMPARE(screen->windowTitle(), QStringLiteral("Zenlabo　for CSV 部分印刷"));
        screen->findChild<QLineEdit *>(QStringLiteral("TextPP1"))->setText(QStringLiteral("3"));
        screen->findChild<QLineEdit *>(QStringLiteral("TextPP2"))->setText(QStringLiteral("5"));
        click(screen, "Command3");
        QCOMPARE(m_printer->documents.size(), 3);
        QCOMPARE(m_messages.size(), 1);
        QCOMPARE(m_messages[0].title, QStringLiteral("処理終了"));
        QVERIFY(!screen->isVisible());
    }

    // Any range can be printed, 300 labels a run; the limit stopping a run
    // inside its range is said, with the row to go on from.
    void partialRunBeyondRow300AndTheLimit()
    {
        useData(csv(700));
        QPointer<QWidget> screen = openScreen("F_CustInput2");
        auto range = [&](const QString &from, const QString &to) {
            screen->findChild<QLineEdit *>(QStringLiteral("TextPP1"))->setText(from);
            screen->findChild<QLineEdit *>(QStringLiteral("TextPP2"))->setText(to);
            click(screen, "Command3");
        };
        range(QStringLiteral("1"), QStringLiteral("400"));
        QCOMPARE(m_printer->documents.size(), 300);
        QCOMPARE(m_messages.size(), 1);
        QVERIFY2(m_messages[0].text.contains(QStringLiteral("301行目の前で止めました")) &&
                     m_messages[0].text.contains(QStringLiteral("300枚")),
                 qPrintable(m_messages[0].text));
        QVERIFY(screen->isVisible());
        range(QStringLiteral("301"), QStringLiteral("400"));
        QCOMPARE(m_printer->documents.size(), 400);
        QCOMPARE(m_messages.size(), 2);
        QCOMPARE(m_messages[1].title, QStringLiteral("処理終了"));
    }

    // A data file replaced after the grid read it (three rows in at the
    // top) is never printed unseen: the run says so before any label and
    // offers to read it again; read again, the grid shows the new rows and
    // the next start prints them. Both print screens.
    void aChangedDataFileIsShownBeforeItPrints_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<bool>("readAgain");
        QTest::newRow("partial, read again") << QStringLiteral("F_CustInput2") << true;
        QTest::newRow("partial, stopped") << QStringLiteral("F_CustInput2") << false;
        QTest::newRow("continuous, read again") << QStringLiteral("F_CustInput") << true;
    }
    void aChangedDataFileIsShownBeforeItPrints()
    {
        QFETCH(QString, form);
        QFETCH(bool, readAgain);
        useData(csv(5));
        QPointer<QWidget> screen = openScreen(form.toLatin1().constData());
        auto *grid = screen->findChild<QTableView *>(QStringLiteral("DataGrid1"));
        auto firstShown = [grid] { return grid->model()->index(0, 0).data().toString(); };
        QCOMPARE(firstShown(), QStringLiteral("491234500001"));
        if (auto *from = screen->findChild<QLineEdit *>(QStringLiteral("TextPP1"))) {
            from->setText(QStringLiteral("1"));
            screen->findChild<QLineEdit *>(QStringLiteral("TextPP2"))->setText(QStringLiteral("3"));
        }
        QByteArray replaced = csv(5);
        replaced.insert(replaced.indexOf("\r\n") + 2, "4999999000011,new1,x,1\r\n4999999000028,new2,x,1\r\n4999999000035,new3,x,1\r\n");
        // Written beside and renamed over, as spreadsheet programs save.
        m_home->writeFile(QStringLiteral("items.new"), replaced);
        QVERIFY(QFile::rename(m_home->settingsFolder() + QStringLiteral("items.new"), m_home->settingsFolder() + QStringLiteral("items.csv"))
                || (QFile::remove(m_home->settingsFolder() + QStringLiteral("items.csv"))
                    && QFile::rename(m_home->settingsFolder() + QStringLiteral("items.new"), m_home->settingsFolder() + QStringLiteral("items.csv"))));
        ui::answerQuestionsWith([readAgain](const ui::ShownMessage &) { return readAgain; });
        click(screen, "Command3");
        QVERIFY(m_printer->documents.isEmpty());
        QCOMPARE(m_messages.size(), 1);
        QCOMPARE(m_messages[0].title, QStringLiteral("データファイルの変更"));
        QVERIFY2(m_messages[0].text.contains(QStringLiteral("items.csv")), qPrintable(m_messages[0].text));
        QCOMPARE(firstShown(), readAgain ? QStringLiteral("4999999000011") : QStringLiteral("491234500001"));
        if (!readAgain)
            return;
        click(screen, "Command3");
        QCOMPARE(m_printer->documents.size(), form == QLatin1String("F_CustInput2") ? 3 : 8);
    }

    // On the desktops shops have, each print screen opens large enough for
    // what it holds: every column of the grid whole (the product names not
    // cut to 「…」), the printer line above the label and not into it, the
    // label preview, and the whole sheet picture. With ZENLABO_SCREENSHOTS
    // set, each is saved there (as <desktop>/<form>-window.png).
    void printScreensHoldWhatTheyShow_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QSize>("desktop");
        for (const char *form : {"F_CustInput", "F_CustInput2"})
            for (const QSize desktop : {QSize(1366, 768), QSize(1280, 1024)})
                QTest::newRow(qPrintable(QStringLiteral("%1 at %2x%3").arg(QLatin1String(form)).arg(desktop.width()).arg(desktop.height())))
                    << QString::fromLatin1(form) << desktop;
    }
    void printScreensHoldWhatTheyShow()
    {
        QFETCH(QString, form);
        QFETCH(QSize, desktop);
        QString rows = QStringLiteral("JANコード,商品名,規格,価格\r\n");
        for (int i = 1; i <= 12; ++i)
            rows += QStringLiteral("4912345%1,%2,1尾 160g,%3\r\n")
                        .arg(i, 5, 10, QLatin1Char('0'))
                        .arg(i == 1 ? QStringLiteral("国産うなぎ蒲焼 特大 1尾") : QStringLiteral("商品%1").arg(i))
                        .arg(i * 1980);
        useData(zltest::sjis(rows));
        m_home->writeTable(QStringLiteral("vokiconfig6.txt"), {QStringLiteral("SHEET"), QStringLiteral("START")},
                           {QStringLiteral("A4-12"), QStringLiteral("3")});
        QPointer<QWidget> screen = openScreen(form.toLatin1().constData());
        QVERIFY(QTest::qWaitForWindowExposed(screen));
        QCoreApplication::processEvents(); // fitted to the test's own screen first
        // The desktop less a panel, as the window manager gives it.
        screen->resize(ui::fitToDesktop(ui::kPrintScreenSize, QRect(QPoint(0, 0), desktop - QSize(0, 32))));
        QCoreApplication::processEvents();
        auto *grid = screen->findChild<QTableView *>(QStringLiteral("DataGrid1"));
        QCOMPARE(grid->horizontalScrollBar()->maximum(), 0);
        const QFontMetrics names(grid->font());
        QVERIFY2(grid->columnWidth(1) > names.horizontalAdvance(QStringLiteral("国産うなぎ蒲焼 特大 1尾")),
                 qPrintable(QString::number(grid->columnWidth(1))));
        auto *printerLine = screen->findChild<QLabel *>(QStringLiteral("LabelPrinterInForce"));
        auto *preview = screen->findChild<QWidget *>(QStringLiteral("LabelPreview"));
        auto *sheet = screen->findChild<QWidget *>(QStringLiteral("PictureSheet"));
        QVERIFY(printerLine && preview && sheet && sheet->isVisible());
        QVERIFY2(printerLine->height() >= printerLine->heightForWidth(printerLine->width())
                     && printerLine->geometry().bottom() < preview->geometry().top(),
                 "the printer line is cut or runs into the label");
        QVERIFY2(preview->width() >= 240 && preview->height() >= 150,
                 qPrintable(QStringLiteral("label preview %1 x %2").arg(preview->width()).arg(preview->height())));
        const QRect sheetArea(sheet->mapTo(screen, QPoint(0, 0)), sheet->size());
        QVERIFY2(screen->rect().contains(sheetArea) && sheet->height() >= sheet->minimumSizeHint().height(),
                 "the sheet picture is cut off");
        const QString folder = qEnvironmentVariable("ZENLABO_SCREENSHOTS");
        if (!folder.isEmpty()) {
            const QString dir = QStringLiteral("%1/%2x%3").arg(folder).arg(desktop.width()).arg(desktop.height());
            QDir().mkpath(dir);
            screen->grab().save(QStringLiteral("%1/%2-window.png").arg(dir, form));
        }
    }

    // A range without rows in the data is refused before anything is sent.
    void partialRunWithoutRowsIsRefused_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("said");
        QTest::newRow("empty first row") << QString() << QStringLiteral("2") << QStringLiteral("数値ではありません");
        QTest::newRow("rows 10 to 5") << QStringLiteral("10") << QStringLiteral("5") << QStringLiteral("行がありません");
        QTest::newRow("past the last row") << QStringLiteral("300") << QStringLiteral("310")
                                           << QStringLiteral("データは4行です");
    }
    void partialRunWithoutRowsIsRefused()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, said);
        useData(csv(4));
        QPointer<QWidget> screen = openScreen("F_CustInput2");
        screen->findChild<QLineEdit *>(QStringLiteral("TextPP1"))->setText(from);
        screen->findChild<QLineEdit *>(QStringLiteral("TextPP2"))->setText(to);
        click(screen, "Command3");
        QVERIFY(m_printer->documents.isEmpty());
        QCOMPARE(m_messages.size(), 1);
        QVERIFY(m_messages[0].text.startsWith(
            QStringLiteral("印刷設定又はDB設定が不正です。設定しなおしてください Error_Message:")));
        QVERIFY2(m_messages[0].text.contains(said) && !m_messages[0].text.contains(QStringLiteral("印刷終了")),
                 qPrintable(m_messages[0].text));
        QCOMPARE(m_messages[0].title, QStringLiteral("ERROR"));
        QCOMPARE(m_messages[0].style, int(ui::Critical));
        QVERIFY(screen->isVisible());
    }

    void partialRunUsesTheStoredAdjustments()
    {
        useData(csv(1));
        QStringList adj = settings::ReadSettingsRecords(settings::kAdjustmentTable, 99);
        adj[2] = QStringLiteral("abc");
        m_home->writeTable(settings::kAdjustmentTable, settings::adjustmentColumns(), adj);
        QPointer<QWidget> screen = openScreen("F_CustInput2");
        screen->findChild<QLineEdit *>(QStringLiteral("TextPP1"))->setText(QStringLiteral("1"));
        screen->findChild<QLineEdit *>(QStringLiteral("TextPP2"))->setText(QStringLiteral("1"));
        click(screen, "Command3");
        QVERIFY(m_printer->documents.isEmpty());
        QCOMPARE(m_messages.size(), 1);
        QVERIFY2(m_messages[0].text.contains(QStringLiteral("abc")), qPrintable(m_messages[0].text));
    }

    // A printer that hangs on a label does not hang the windows: the
    // progress window, modal for the whole program, takes a click on its
    // cancel while the printer still holds the fourth label, and the run
    // stops after it; the open screen goes on with the labels left.
    void aSlowPrinterLeavesTheWindowsAndTheCancelLive()
    {
        useData(csv(20));
        std::atomic<bool> holding{false}, clicked{false};
        m_printer->beforeDocument = [&](int n) {
            // Held until the operator has clicked cancel.
            holding = n == 4;
            if (holding)
                holdUntil([&] { return clicked.load(); });
        };
        bool modal = false;
        QTimer operatorHand;
        connect(&operatorHand, &QTimer::timeout, [&] {
            for (QWidget *w : QApplication::topLevelWidgets())
                if (w->objectName() == QStringLiteral("frmprinting") && w->isVisible() && holding && !clicked) {
                    modal = w->windowModality() == Qt::ApplicationModal;
                    QTest::mouseClick(w->findChild<QPushButton *>(QStringLiteral("comcancel1")), Qt::LeftButton);
                    clicked = true;
                }
        });
        operatorHand.start(5);
        QPointer<QWidget> screen = openScreen("F_CustInput");
        click(screen, "Command3");
        QVERIFY2(clicked, "the cancel never came while the printer held a label");
        QVERIFY(modal);
        QCOMPARE(m_printer->documents.size(), 4); // the label the printer held was already sent
        // 残り: what this opening may still print; the status says where it stopped.
        QCOMPARE(text(screen, "Label_PP"), QStringLiteral("296"));
        QCOMPARE(text(screen, "Label1"), QStringLiteral("※印刷を中断しました!!（4枚印刷、続きは5行目から）"));
        QCOMPARE(m_messages.size(), 1);
        QVERIFY2(m_messages[0].text.contains(QStringLiteral("4枚")) && m_messages[0].text.contains(QStringLiteral("5行目から")),
                 qPrintable(m_messages[0].text));
        QVERIFY(screen->isVisible());

        // The open screen goes on with the labels left, from the first record.
        operatorHand.stop();
        m_printer->beforeDocument = nullptr;
        click(screen, "Command3");
        QCOMPARE(m_printer->documents.size(), 24);
        QCOMPARE(m_messages.size(), 2);
    }

    // Real clicks on the cancel button at random moments of a run, as the
    // window shows a label starting or finished: the run prints on its own
    // thread meanwhile, so the click lands a little later. Every one stops
    // the run, and what reached the printer is exactly what the run says it
    // printed, with the row after it to go on from.
    void cancelClicksAtRandomMomentsAlwaysStopTheRun()
    {
        constexpr int kRecords = 120;
        useData(csv(kRecords));
        const QString full(25, QChar(0x25A0));
        QRandomGenerator random(20261207);
        for (int i = 0; i < 100; ++i) {
            m_printer->documents.clear();
            m_messages.clear();
            const bool whileDrawing = i % 2 == 0;
            const int atLabel = int(random.bounded(2, kRecords - 1));
            auto clicked = std::make_shared<bool>(false);
            onBarOfLabel([=](int label, const QString &bar, QWidget *w) {
                if (*clicked || label != atLabel || bar != (whileDrawing ? QString() : full))
                    return;
                QTest::mouseClick(w->findChild<QPushButton *>(QStringLiteral("comcancel1")), Qt::LeftButton);
                *clicked = true;
            });
            QPointer<QWidget> screen = openScreen("F_CustInput");
            click(screen, "Command3");
            QVERIFY2(*clicked, qPrintable(QStringLiteral("click %1 never came").arg(i)));
            const int printed = int(m_printer->documents.size());
            QVERIFY2(printed >= atLabel - 1, qPrintable(QString::number(printed)));
            QCOMPARE(m_messages.size(), 1);
            if (printed == kRecords) { // the click came after the last label
                QVERIFY2(m_messages[0].text.startsWith(printing::kEndMessage), qPrintable(m_messages[0].text));
                delete screen;
                continue;
            }
            QVERIFY(text(screen, "Label1").contains(QStringLiteral("%1行目から").arg(printed + 1)));
            QVERIFY2(m_messages[0].text.contains(QStringLiteral("%1枚").arg(printed))
                         && m_messages[0].text.contains(QStringLiteral("%1行目から").arg(printed + 1)),
                     qPrintable(QStringLiteral("click %1 at label %2: %3 reached the printer; %4")
                                    .arg(i)
                                    .arg(atLabel)
                                    .arg(printed)
                                    .arg(m_messages[0].text)));
            delete screen;
        }
    }

    // The program ending mid-run (the session ending): its windows go, and
    // the screen going cancels the run after the label the printer holds
    // and waits for it, with no event loop run meanwhile and nothing said
    // to a window that is gone.
    void quittingTheApplicationMidRunCancelsTheRun()
    {
        useData(csv(10));
        std::atomic<bool> held{false};
        m_printer->beforeDocument = [&](int n) {
            if (n != 2)
                return;
            held = true;
            // Held until the run, on this thread, sees its cancel.
            holdUntil([] { return printer::RunCancelWatch::asked(); });
        };
        QPointer<QWidget> screen = openScreen("F_CustInput");
        screen->findChild<QPushButton *>(QStringLiteral("Command3"))->click();
        QTRY_VERIFY_WITH_TIMEOUT(held, 60000);
        delete screen.data();
        QCOMPARE(m_printer->documents.size(), 2);
        QCoreApplication::sendPostedEvents();
        QVERIFY(m_messages.isEmpty());
    }

private:
    // Every text the run's one progress bar shows, with the label it belongs
    // to (counting from 1: a label starts by clearing the bar).
    void onBarOfLabel(std::function<void(int, const QString &, QWidget *)> action)
    {
        m_barWatch = std::make_unique<ProgressBarWatch>(std::move(action));
        qApp->installEventFilter(m_barWatch.get());
    }

    // The printer, on the run's thread, holds its label until `done` (or
    // for 20 s, which a failing test then shows).
    static void holdUntil(const std::function<bool()> &done)
    {
        QDeadlineTimer givenUp(20000);
        while (!done() && !givenUp.hasExpired())
            QThread::msleep(2);
    }

    void useData(const QByteArray &bytes)
    {
        m_home->writeFile(QStringLiteral("items.csv"), bytes);
        m_home->writeTable(settings::kDataSourceTable, settings::dataSourceColumns(),
                           {m_home->settingsFolder(), QStringLiteral("items.csv")});
    }
    QWidget *openScreen(const char *form)
    {
        return ui::ScreenRegistry::instance().show(QString::fromLatin1(form));
    }
    static QString text(QWidget *screen, const char *name)
    {
        const QString n = QString::fromUtf8(name);
        if (auto *l = screen->findChild<QLabel *>(n))
            return l->text();
        if (auto *e = screen->findChild<QLineEdit *>(n))
            return e->text();
        return QStringLiteral("<no %1>").arg(n);
    }
    static void click(QWidget *screen, const char *name)
    {
        if (qstrcmp(name, "Command3") == 0)
            return zltest::clickStart(screen);
        screen->findChild<QPushButton *>(QString::fromUtf8(name))->click();
    }

    // Follows the bar of each progress window as it opens.
    class ProgressBarWatch : public QObject {
    public:
        explicit ProgressBarWatch(std::function<void(int, const QString &, QWidget *)> action) : m_action(std::move(action)) {}
        bool eventFilter(QObject *o, QEvent *e) override
        {
            if (e->type() == QEvent::Show && o->objectName() == QStringLiteral("frmprinting")) {
                auto *w = static_cast<QWidget *>(o);
                auto *bar = w->findChild<QLineEdit *>(QStringLiteral("txtprogress"));
                auto labels = std::make_shared<int>(0);
                // The first label's start clears this.
                bar->setText(QStringLiteral("not yet drawn"));
                QObject::connect(bar, &QLineEdit::textChanged, w, [=, this](const QString &t) {
                    if (t.isEmpty())
                        ++*labels;
                    m_action(*labels, t, w);
                });
            }
            return false;
        }

    private:
        std::function<void(int, const QString &, QWidget *)> m_action;
    };

    std::unique_ptr<ProgressBarWatch> m_barWatch;
    std::unique_ptr<zltest::TempHome> m_home;
    zltest::FakePrinter *m_printer = nullptr;
    QList<ui::ShownMessage> m_messages;
};

ZL_TEST(PrintScreensTest)
#include "PrintScreensTest.moc"
