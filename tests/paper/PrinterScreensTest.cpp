// Form7 (paper selection) and Form17 (connection type) with scripted printers
// and a throw-away settings folder.
#include "PrinterScreenFixture.h"

class PrinterScreensTest : public QObject, protected PrinterScreenFixture {
    Q_OBJECT

private slots:
    void initTestCase() { zl::ui::registerPrinterScreens(ScreenRegistry::instance()); }
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void form7ListsPapersAndSavesTheChosenCode()
    {
        m_home->writeTable(zl::settings::kLayoutTable, zl::settings::layoutColumns(),
                           {QStringLiteral(""), QStringLiteral("見出し"), QStringLiteral("70"), QStringLiteral("0")});
        QWidget *screen = ScreenRegistry::instance().show(QStringLiteral("Form7"));
        QVERIFY(screen);
        QCOMPARE(screen->windowTitle(), QStringLiteral("プリンター設定"));
        auto *papers = child<QListWidget>(screen, "List2", 0);
        auto *codes = child<QListWidget>(screen, "List2", 1);
        QVERIFY(papers && codes && papers != codes);
        QCOMPARE(papers->count(), 3);
        QCOMPARE(codes->count(), 3);
        QCOMPARE(codes->item(2)->text(), QStringLiteral("256"));
        QCOMPARE(child<QLineEdit>(screen, "Text5")->text(), QStringLiteral("70"));
        // 70 is not listed: a run takes the printer's own paper, shown chosen.
        QCOMPARE(papers->currentRow(), 2);
        QCOMPARE(papers->selectedItems().size(), 1);

        papers->setCurrentRow(1);
        QCOMPARE(child<QLineEdit>(screen, "Text5")->text(), QStringLiteral("9"));
        child<QPushButton>(screen, "Command3")->click();
        settle();

        const auto row = readLayoutRow();
        QCOMPARE(row.title1, QStringLiteral("_"));
        QCOMPARE(row.title2, QStringLiteral("見出し"));
        QCOMPARE(row.yoshi, QStringLiteral("9"));
        QCOMPARE(row.printer, QStringLiteral("0"));
        QCOMPARE(m_messages.size(), 1);
        QCOMPARE(m_messages[0].text, QStringLiteral("設定が変更されました｡"));
        QCOMPARE(m_messages[0].title, QStringLiteral("設定変更"));
        QCOMPARE(m_messages[0].style, 64);
        QVERIFY(!ScreenRegistry::instance().find(QStringLiteral("Form7")));
        QCOMPARE(m_printer->paperSize(), std::optional<int>(256));

        // Opened again, the list shows the stored paper chosen.
        screen = ScreenRegistry::instance().show(QStringLiteral("Form7"));
        papers = child<QListWidget>(screen, "List2", 0);
        QCOMPARE(papers->selectedItems().size(), 1);
        QCOMPARE(papers->currentRow(), 1);
        QCOMPARE(child<QLineEdit>(screen, "Text5")->text(), QStringLiteral("9"));
    }

    // The paper screen at the size it opens: every row's name, size and code
    // whole in its columns, the codes last and lined up, the paper in use
    // chosen: the stored one, else the printer's own, which a run takes.
    void form7ShowsWholeNamesAndThePaperInUse_data()
    {
        QTest::addColumn<QString>("yoshi");
        QTest::addColumn<int>("printerPaper"); // the printer's own
        QTest::addColumn<QString>("chosen");   // the code shown chosen
        QTest::newRow("the stored paper") << QStringLiteral("300") << 9 << QStringLiteral("300");
        QTest::newRow("none stored: the printer's own") << QStringLiteral("_") << 257 << QStringLiteral("257");
    }

    void form7ShowsWholeNamesAndThePaperInUse()
    {
        QFETCH(QString, yoshi);
        QFETCH(int, printerPaper);
        QFETCH(QString, chosen);
        std::vector<std::unique_ptr<FakePrinter>> list;
        list.push_back(std::make_unique<FakePrinter>(QStringLiteral("Labels")));
        list.back()
            ->accept(1, 12240, 15840, QStringLiteral("Letter"))
            .accept(9, 11906, 16838, QStringLiteral("A4"))
            .accept(257, 2268, 1701, QStringLiteral("Custom.40x30mm"))
            .accept(300, 12000, 17000, QStringLiteral("ヒサゴ ELM011 インクジェット・レーザー兼用 12面 角丸"))
            .accept(301, 5783, 9354, QStringLiteral("EnvPRC1"));
        QVERIFY(list.back()->setPaperSize(printerPaper));
        installFakePrinters(std::move(list));
        m_home->writeTable(zl::settings::kLayoutTable, zl::settings::layoutColumns(),
                           {QStringLiteral("A"), QStringLiteral("B"), yoshi, QStringLiteral("0")});
        QWidget *screen = ScreenRegistry::instance().show(QStringLiteral("Form7"));
        QVERIFY(screen);
        screen->show();
        QVERIFY(QTest::qWaitForWindowExposed(screen));
        auto *papers = child<QListWidget>(screen, "List2", 0);
        auto *codes = child<QListWidget>(screen, "List2", 1);
        QCOMPARE(papers->count(), 5);
        const QFontMetrics metrics = papers->fontMetrics();
        QList<int> widths;
        for (int i = 0; i < papers->count(); ++i) {
            const QStringList cells = papers->item(i)->text().split(QLatin1Char('\t'));
            QCOMPARE(cells.size(), 3);
            QCOMPARE(cells.last(), codes->item(i)->text()); // the code last
            for (int c = 0; c < cells.size(); ++c) {
                if (c == widths.size())
                    widths << 0;
                widths[c] = std::max(widths[c], metrics.horizontalAdvance(cells[c]));
            }
        }
        // Each column as wide as its widest entry fits the list as shown.
        int needed = 0;
        for (int w : widths)
            needed += w;
        QVERIFY2(papers->viewport()->width() >= needed,
                 qPrintable(QStringLiteral("%1 px shown, %2 needed").arg(papers->viewport()->width()).arg(needed)));
        QCOMPARE(papers->horizontalScrollBar()->maximum(), 0);
        QVERIFY(screen->width() >= zl::ui::twips(8000));
        // A custom size is shown by its size.
        QCOMPARE(papers->item(2)->text(), QStringLiteral("40 x 30 mm\t\t257"));
        QCOMPARE(papers->selectedItems().size(), 1);
        QCOMPARE(codes->item(papers->currentRow())->text(), chosen);
        QCOMPARE(child<QLineEdit>(screen, "Text5")->text(), yoshi); // shown, not stored
    }

    // Leaving a label sheet brings back the paper chosen before it, however
    // the operator got there: within one opening of the screen, after it
    // was closed and opened again, after a run moved the sheet's first free
    // position on; a paper the list does not hold ("_", the printer's own)
    // is brought back as it was.
    void form7LeavingASheetBringsBackThePaperBeforeIt_data()
    {
        QTest::addColumn<QString>("before"); // code chosen first; empty: none chosen
        QTest::addColumn<bool>("reopened");
        QTest::addColumn<bool>("printedOnTheSheet");
        QTest::addColumn<QString>("stored"); // YOSHI once the sheet is left
        QTest::newRow("50 x 30, left after closing the screen") << QStringLiteral("256") << true << false << QStringLiteral("256");
        QTest::newRow("Letter, a run on the sheet between") << QStringLiteral("1") << true << true << QStringLiteral("1");
        QTest::newRow("no paper chosen before") << QString() << true << false << QStringLiteral("_");
    }

    void form7LeavingASheetBringsBackThePaperBeforeIt()
    {
        QFETCH(QString, before);
        QFETCH(bool, reopened);
        QFETCH(bool, printedOnTheSheet);
        QFETCH(QString, stored);
        const auto chooseAndMaybeSave = [&](QWidget *screen, const QString &code, const QString &sheet, bool save) {
            if (!code.isEmpty()) {
                // Clicked, as an operator chooses it: the paper in use is
                // shown chosen already.
                auto *codes = child<QListWidget>(screen, "List2", 1);
                auto *papers = child<QListWidget>(screen, "List2", 0);
                QListWidgetItem *item = papers->item(codes->row(codes->findItems(code, Qt::MatchExactly).value(0)));
                QTest::mouseClick(papers->viewport(), Qt::LeftButton, {}, papers->visualItemRect(item).center());
            }
            if (!sheet.isNull()) {
                QVERIFY(zltest::pickSheet(screen, sheet));
            }
            if (save) {
                child<QPushButton>(screen, "Command3")->click();
                settle();
            }
        };
        const auto open = [] { return ScreenRegistry::instance().show(QStringLiteral("Form7")); };
        QWidget *screen = open();
        chooseAndMaybeSave(screen, before, QString(), !before.isEmpty());
        if (!before.isEmpty())
            screen = open();
        chooseAndMaybeSave(screen, QString(), QStringLiteral("A4-44"), reopened);
        if (reopened)
            QCOMPARE(readLayoutRow().yoshi, QStringLiteral("9"));
        if (printedOnTheSheet) // the run's end stores where the next label goes
            saveSheetChoice({QStringLiteral("A4-44"), 12});
        if (reopened)
            screen = open();
        QCOMPARE(child<QLineEdit>(screen, "Text5")->text(), QStringLiteral("9"));
        chooseAndMaybeSave(screen, QString(), QStringLiteral(""), true); // 「シートなし」

        QCOMPARE(readLayoutRow().yoshi, stored);
        QVERIFY(readSheetChoice().sheetId.isEmpty());
        // Opened again, the paper brought back is the one shown chosen.
        screen = open();
        const auto codes = child<QListWidget>(screen, "List2", 1);
        const auto papers = child<QListWidget>(screen, "List2", 0);
        // "_" is the printer's own paper, which a run takes.
        QCOMPARE(codes->item(papers->currentRow())->text(),
                 stored == QLatin1String("_") ? QString::number(*m_printer->paperSize()) : stored);
    }

    void form7SavingWithoutAChoiceKeepsThePaperOrWritesPlaceholder()
    {
        for (const QString &yoshi : {QStringLiteral("999"), QString()}) {
            m_home->writeTable(zl::settings::kLayoutTable, zl::settings::layoutColumns(),
                               {QStringLiteral("A"), QString(), yoshi, QStringLiteral("1")});
            QWidget *screen = ScreenRegistry::instance().show(QStringLiteral("Form7"));
            child<QPushButton>(screen, "Command3")->click();
            settle();
            const QByteArray expected = zl::settings::formatTable(
                zl::settings::layoutColumns(),
                {QStringLiteral("A"), QStringLiteral("_"), yoshi.isEmpty() ? QStringLiteral("_") : yoshi,
                 QStringLiteral("1")});
            QCOMPARE(m_home->readFile(zl::settings::kLayoutTable), expected);
        }
    }

    void form7WithoutPrintersOpensWithEmptyLists()
    {
        installPrinters(nullptr);
        QWidget *screen = ScreenRegistry::instance().show(QStringLiteral("Form7"));
        QCOMPARE(child<QListWidget>(screen, "List2", 0)->count(), 0);
        QCOMPARE(child<QListWidget>(screen, "List2", 1)->count(), 0);
    }

    // On this system the print setup of the fixed type is the operator's own
    // printer default: what is confirmed is applied to the current printer.
    void form7PrinterButtonAppliesTheConfirmedPaper()
    {
        auto *dialog = zltest::installScriptedDialog([](PrintSetupRecords &r) {
            r.devMode.dmPaperSize = 1;
            return true;
        });
        QWidget *screen = ScreenRegistry::instance().show(QStringLiteral("Form7"));
        child<QPushButton>(screen, "Command2")->click();
        QCOMPARE(dialog->runs, 1);
        QCOMPARE(dialog->lastFlags, uint32_t(1310796));
        QCOMPARE(devModeDeviceName(dialog->handedIn.devMode), QStringLiteral("Office"));
        QCOMPARE(m_printer->paperSize(), std::optional<int>(1));
        installPrintSetupDialog(nullptr);
    }

    void form17OpensOnTheStoredTypeAndSavesPrinterSettings()
    {
        struct Case {
            QString stored;
            bool variable;
            QString text4;
            bool noted;
        };
        const QList<Case> cases{{QStringLiteral("1"), true, QStringLiteral("999"), false},
                                {QStringLiteral("0"), false, QString(), false},
                                {QStringLiteral("2"), true, QStringLiteral("999"), false},
                                {QString(), false, QString(), true},
                                {QStringLiteral("abc"), false, QString(), true}};
        for (const Case &c : cases) {
            clearSavedPrinterSettings();
            m_home->writeTable(zl::settings::kLayoutTable, zl::settings::layoutColumns(),
                               {QStringLiteral("T1"), QStringLiteral("T2"), QStringLiteral("9"), c.stored});
            QWidget *screen = ScreenRegistry::instance().show(QStringLiteral("Form17"));
            QVERIFY(screen);
            QCOMPARE(screen->windowTitle(), QStringLiteral("ﾌﾟﾘﾝﾀｰ接続タイプ設定"));
            QCOMPARE(child<QRadioButton>(screen, "Option1", 1)->isChecked(), c.variable);
            QCOMPARE(child<QRadioButton>(screen, "Option1", 0)->isChecked(), !c.variable);
            QCOMPARE(child<QLineEdit>(screen, "Text4")->text(), c.text4);
            QCOMPARE(child<QLabel>(screen, "Label2")->text().isEmpty(), !c.noted);
            QCOMPARE(savedPrinterSettings().deviceName, QStringLiteral("Office"));
            QCOMPARE(savedPrinterSettings().paperSize, int16_t(256));
            ScreenRegistry::instance().close(QStringLiteral("Form17"));
            settle();
        }
    }

    void form17SavesVariableTypeWithoutOpeningPaperScreen()
    {
        m_home->writeTable(zl::settings::kLayoutTable, zl::settings::layoutColumns(),
                           {QString(), QStringLiteral("T2"), QStringLiteral("70"), QStringLiteral("0")});
        QWidget *screen = ScreenRegistry::instance().show(QStringLiteral("Form17"));
        child<QRadioButton>(screen, "Option1", 1)->click();
        QCOMPARE(child<QLineEdit>(screen, "Text4")->text(), QStringLiteral("999"));
        child<QPushButton>(screen, "Command1")->click();
        settle();
        // Held values are written as they are, an empty title included.
        QCOMPARE(m_home->readFile(zl::settings::kLayoutTable),
                 zl::settings::formatTable(zl::settings::layoutColumns(),
                                           {QString(), QStringLiteral("T2"), QStringLiteral("999"), QStringLiteral("1")}));
        QVERIFY(!ScreenRegistry::instance().find(QStringLiteral("Form7")));
        QVERIFY(!ScreenRegistry::instance().find(QStringLiteral("Form17")));
    }

    void form17SavesFixedTypeAndOpensPaperScreen()
    {
        // Coming from the variable type, the paper stays "999" until chosen on Form7.
        m_home->writeTable(zl::settings::kLayoutTable, zl::settings::layoutColumns(),
                           {QStringLiteral("T1"), QStringLiteral("T2"), QStringLiteral("999"), QStringLiteral("1")});
        QWidget *screen = ScreenRegistry::instance().show(QStringLiteral("Form17"));
        child<QRadioButton>(screen, "Option1", 0)->click();
        QCOMPARE(child<QLineEdit>(screen, "Text4")->text(), QString());
        child<QPushButton>(screen, "Command1")->click();
        settle();
        QCOMPARE(m_home->readFile(zl::settings::kLayoutTable),
                 zl::settings::formatTable(zl::settings::layoutColumns(), {QStringLiteral("T1"), QStringLiteral("T2"),
                                                                          QStringLiteral("999"), QStringLiteral("0")}));
        QWidget *form7 = ScreenRegistry::instance().find(QStringLiteral("Form7"));
        QVERIFY(form7 && form7->isVisible());
        QCOMPARE(child<QLineEdit>(form7, "Text5")->text(), QStringLiteral("999"));
        QVERIFY(!ScreenRegistry::instance().find(QStringLiteral("Form17")));
        QVERIFY(!QApplication::topLevelWidgets().isEmpty());
        for (QWidget *w : QApplication::topLevelWidgets())
            QVERIFY2(w->objectName() != QStringLiteral("Form8") || !w->isVisible(), "the waiting window stayed open");
    }

    void form17ReportsAFailedSaveAndStaysOpen()
    {
        QWidget *screen = ScreenRegistry::instance().show(QStringLiteral("Form17"));
        const QByteArray before = m_home->readFile(zl::settings::kLayoutTable);
        // A value the table cannot hold makes the rewrite fail.
        child<QLineEdit>(screen, "Text1")->setText(QStringLiteral("say \"cheese\""));
        child<QPushButton>(screen, "Command1")->click();
        settle();
        QCOMPARE(child<QLabel>(screen, "Label2")->text(), QStringLiteral("プリンター設定エラー1525"));
        QCOMPARE(ScreenRegistry::instance().find(QStringLiteral("Form17")), screen);
        QCOMPARE(m_home->readFile(zl::settings::kLayoutTable), before);
    }

    void form17DoesNotOpenWithoutAPrinter()
    {
        installPrinters(nullptr);
        QVERIFY_THROWS_EXCEPTION(zl::Failure, ScreenRegistry::instance().show(QStringLiteral("Form17")));
    }

    void mainMenuOpensConnectionTypeOrSaysPrinterError()
    {
        zl::ui::MainMenu menu(m_home->root());
        auto *command4 = menu.findChild<QPushButton *>(QStringLiteral("Command4"));
        QVERIFY(command4 && command4->isEnabled());
        command4->click();
        QVERIFY(ScreenRegistry::instance().find(QStringLiteral("Form17")));
        ScreenRegistry::instance().close(QStringLiteral("Form17"));
        settle();

        installPrinters(nullptr);
        command4->click();
        QCOMPARE(menu.findChild<QLabel *>(QStringLiteral("Label12"))->text(), QStringLiteral("プリンターエラー"));
        QVERIFY(!ScreenRegistry::instance().find(QStringLiteral("Form17")));
    }
};

ZL_TEST(PrinterScreensTest)
#include "PrinterScreensTest.moc"
