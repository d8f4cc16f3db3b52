// The print screens driven as an operator would: real settings files, a real
// data file, the real progress window; the printer records what it is sent.
// Here: what a run prints and says, and what it refuses before its first label.
#include "PrintScreenFixture.h"

class PrintScreensTest : public QObject, protected PrintScreenFixture {
    Q_OBJECT
private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

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
};

ZL_TEST(PrintScreensTest)
#include "PrintScreensTest.moc"
