// The print screens' ranges and what they hold to: the partial run's rows,
// the data file the grid shows, the adjustments in use.
#include "PrintScreenFixture.h"

class PrintScreenRangesTest : public QObject, protected PrintScreenFixture {
    Q_OBJECT
private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

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
};

ZL_TEST(PrintScreenRangesTest)
#include "PrintScreenRangesTest.moc"
