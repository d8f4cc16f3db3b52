// The print screens while a run prints: the progress window, clicks and
// cancels at any moment, a slow printer, and the program ending mid-run.
#include "PrintScreenFixture.h"

class PrintScreenMidRunTest : public QObject, protected PrintScreenFixture {
    Q_OBJECT
private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

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
        std::atomic<int> holding{0};
        std::atomic<bool> acted{false};
        m_printer->beforeDocument = [&](int n) {
            if (n != 2 && n != 3)
                return;
            acted = false;
            holding = n;
            holdUntil([&] { return acted.load(); });
        };
        // The operator's hand, on the windows' thread.
        QTimer hand;
        QObject::connect(&hand, &QTimer::timeout, [&] {
            const int n = holding.exchange(0);
            if (n == 2) // a second click, straight on the button, mid-run
                screen->findChild<QPushButton *>(QStringLiteral("Command3"))->click();
            else if (n == 3)
                screen->close();
            if (n)
                acted = true;
        });
        hand.start(5);
        click(screen, "Command3");
        // The close asked for during the third label stops the run after it.
        QCOMPARE(m_printer->documents.size(), 3);
        QVERIFY(!screen || !screen->isVisible());
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

    // The calibration label prints on the run's own thread: the print
    // position screen says so at once and what came of it once it is out.
    void theCalibrationLabelPrintsOffTheWindowsThread()
    {
        std::atomic<bool> held{true};
        m_printer->beforeDocument = [&](int) { holdUntil([&] { return !held.load(); }); };
        QPointer<QWidget> screen = openScreen("Form13");
        auto *note = screen->findChild<QLabel *>(QStringLiteral("Label19"));
        auto *print = screen->findChild<QPushButton *>(QStringLiteral("Command2"));
        print->click();
        // The printer holds the label: the click has returned all the same.
        QCOMPARE(note->text(), QStringLiteral("調整用ラベルを印刷しています…"));
        QVERIFY(!print->isEnabled());
        held = false;
        QTRY_VERIFY_WITH_TIMEOUT(print->isEnabled(), 60000);
        QVERIFY2(note->text().startsWith(QStringLiteral("調整用ラベルを印刷しました。")), qPrintable(note->text()));
        QCOMPARE(m_printer->documents.size(), 1);
        delete screen.data();
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
};

ZL_TEST(PrintScreenMidRunTest)
#include "PrintScreenMidRunTest.moc"
