// Choosing the printer as an operator at a counter does, through the real
// windows: the main menu, the print screen, 「プリンター/用紙設定」 and Qt's
// print dialog, on a scheduler with the counter's own queues; and what the
// main menu's printer line says as the printer, paper or sheet changes.
#include "ScreenRuns.h"
#include "DeviceOutput.h"
#include "FakePrinter.h"
#include "ModalDialogs.h"
#include "SheetPicking.h"
#include "TestEnv.h"
#include "TestRegistry.h"

#include "app/ui/MainWindow.h"
#include "paper/PaperSelection.h"
#include "pdf/PdfPrinter.h"
#include "printer/PrinterChoice.h"
#include "printer/PrinterSetup.h"
#include "cups/platform/CupsConnection.h"
#include "cups/platform/SystemPrinters.h"
#include "cups/ui/SystemPrintSetupDialog.h"
#include "ui/Dialogs.h"
#include "ui/ScreenRegistry.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTest>
#include <cups/cups.h>
#include <functional>

using namespace zl;

namespace {

const QString kPdf = QStringLiteral("Zenlabo PDF");

// This process asks the scheduler at `server` for as long as it lives:
// libcups keeps its server per thread, read once, so the windows' thread is
// told anew; threads started meanwhile read CUPS_SERVER. CUPS_SERVERROOT
// keeps the machine's own client settings out of sight.
class PrintSystemAt {
public:
    PrintSystemAt(const QString &server, const QString &serverRoot)
        : m_server(qgetenv("CUPS_SERVER")), m_root(qgetenv("CUPS_SERVERROOT"))
    {
        qputenv("CUPS_SERVER", QFile::encodeName(server));
        qputenv("CUPS_SERVERROOT", QFile::encodeName(serverRoot));
        cupsSetServer(nullptr);
        printer::cupsAnswered();
    }
    ~PrintSystemAt()
    {
        printer::installPrinters(nullptr);
        printer::installPrintSetupDialog(nullptr);
        qputenv("CUPS_SERVER", m_server);
        qputenv("CUPS_SERVERROOT", m_root);
        cupsSetServer(nullptr);
        printer::cupsAnswered();
    }
    PrintSystemAt(const PrintSystemAt &) = delete;
    PrintSystemAt &operator=(const PrintSystemAt &) = delete;

private:
    QByteArray m_server, m_root;
};

// lpadmin and its kin against `server`; false (with what they said) when
// one fails.
bool admin(const QString &server, const QString &program, const QStringList &args, QString *said)
{
    QProcess p;
    p.start(program, QStringList{QStringLiteral("-h"), server} + args);
    const bool ok = p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    *said = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
    return ok;
}

// The main menu's printer line; it names a printer once the printing
// system has been asked.
QLabel *printerLine(ui::MainWindow &w)
{
    return w.findChild<QLabel *>(QStringLiteral("Label9"));
}

bool asked(const QLabel *line)
{
    return !line->text().contains(QStringLiteral("確認しています"));
}

QString printerOf(const QString &line)
{
    return line.section(QStringLiteral("　"), 0, 0).section(QStringLiteral("プリンター: "), 1);
}

} // namespace

Q_DECLARE_METATYPE(std::function<void()>)

class PrinterChoiceTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_messages.clear();
        ui::recordMessagesInto(&m_messages);
        ui::registerAllScreens(ui::ScreenRegistry::instance());
    }
    void cleanup()
    {
        ui::recordMessagesInto(nullptr);
        printer::installPrinters(nullptr);
        printer::installPrintSetupDialog(nullptr);
    }

    // A counter PC with two or four queues, the default first, last or
    // none, maybe 「Zenlabo PDF」 kept from before: the print-setup dialog
    // opened from 「プリンター/用紙設定」 lists every queue and 「Zenlabo
    // PDF」, each once and by its own name, and opens on the printer in
    // force; the printer chosen there is at once the one of the main
    // menu's printer line and of the open print screen, the next start's,
    // and the one the command line prints on.
    void choiceReachesEveryScreenAndTheNextStart_data()
    {
        QTest::addColumn<QStringList>("queues"); // as the scheduler lists them
        QTest::addColumn<QString>("defaultQueue");
        QTest::addColumn<QString>("kept"); // the program's own choice at the start
        QTest::addColumn<QString>("startsOn");
        QTest::addColumn<QString>("choose");
        const QStringList two{QStringLiteral("Labels"), QStringLiteral("Office")};
        const QStringList four{QStringLiteral("Backroom"), QStringLiteral("Counter"), QStringLiteral("Labels"),
                               QStringLiteral("Office")};
        QTest::newRow("two queues, the default last, the label printer chosen")
            << two << "Office" << QString() << "Office" << "Labels";
        QTest::newRow("two queues, the default last, Zenlabo PDF chosen") << two << "Office" << QString() << "Office" << kPdf;
        QTest::newRow("two queues, the default first, Zenlabo PDF kept, the default chosen")
            << two << "Labels" << kPdf << kPdf << "Labels";
        QTest::newRow("four queues, the default first, the last chosen")
            << four << "Backroom" << QString() << "Backroom" << "Office";
        QTest::newRow("four queues, no default, a queue chosen") << four << QString() << QString() << kPdf << "Counter";
        QTest::newRow("four queues, the default last, Zenlabo PDF kept and confirmed")
            << four << "Office" << kPdf << kPdf << kPdf;
        QTest::newRow("no queue at all, Zenlabo PDF confirmed") << QStringList() << QString() << QString() << kPdf << kPdf;
    }

    void choiceReachesEveryScreenAndTheNextStart()
    {
        QFETCH(QStringList, queues);
        QFETCH(QString, defaultQueue);
        QFETCH(QString, kept);
        QFETCH(QString, startsOn);
        QFETCH(QString, choose);
        const QString scheduler = qEnvironmentVariable("ZENLABO_TEST_EMPTY_SCHEDULER");
        if (scheduler.isEmpty())
            QSKIP("The counter's scheduler is not up (ZENLABO_TEST_EMPTY_SCHEDULER): run scripts/test, which starts it.");
        setUpQueues(scheduler, queues, defaultQueue);
        if (QTest::currentTestFailed())
            return;
        zltest::TempHome home;
        home.installDefaults();
        if (!kept.isEmpty())
            home.writeTable(printer::kPrinterChoiceTable, {QStringLiteral("DEVICE")}, {kept});
        PrintSystemAt counter(scheduler, home.root() + QStringLiteral("/etc-cups"));
        printer::installSystemPrinters(std::make_unique<printer::PdfPrinter>());
        ui::installSystemPrintSetupDialog();

        ui::MainWindow w(home.root());
        QLabel *menuLine = printerLine(w);
        QVERIFY(menuLine);
        QTRY_VERIFY_WITH_TIMEOUT(asked(menuLine), 30000);
        QCOMPARE(printerOf(menuLine->text()), startsOn);
        QWidget *printScreen = ui::ScreenRegistry::instance().show(QStringLiteral("F_CustInput"));
        QVERIFY(printScreen);
        auto *screenLine = printScreen->findChild<QLabel *>(QStringLiteral("LabelPrinterInForce"));
        QVERIFY(screenLine);
        QCOMPARE(printerOf(screenLine->text()), startsOn);

        QWidget *form7 = ui::ScreenRegistry::instance().show(QStringLiteral("Form7"));
        QVERIFY(form7);
        QStringList listed;
        QString openedOn;
        zltest::whenDialogIsUp(this, [](QDialog *d) { return d->inherits("QPrintDialog"); }, [&](QDialog *dialog) {
            auto *box = dialog->findChild<QComboBox *>(QStringLiteral("printers"));
            QVERIFY(box);
            for (int i = 0; i < box->count(); ++i)
                listed << box->itemText(i);
            openedOn = box->currentText();
            box->setCurrentIndex(box->findText(choose));
            dialog->accept();
        });
        form7->findChild<QPushButton *>(QStringLiteral("Command2"))->click();
        QCOMPARE(listed, queues + QStringList{kPdf});
        QCOMPARE(openedOn, startsOn);
        QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.value(0).text));
        QCOMPARE(printer::currentPrinter()->deviceName(), choose);
        QCOMPARE(printerOf(menuLine->text()), choose);
        QCOMPARE(printerOf(screenLine->text()), choose);

        // The next start: the windows' (once the printing system has told
        // its queues) and the command line's.
        printer::installSystemPrinters(std::make_unique<printer::PdfPrinter>());
        QTRY_VERIFY_WITH_TIMEOUT(printer::currentPrinter(), 30000);
        QCOMPARE(printer::currentPrinter()->deviceName(), choose);
        const int jobsBefore = zltest::jobAttributes(scheduler, 0, choose).value(QStringLiteral("job-id")).toInt();
        const zltest::ProgramOutcome run =
            zltest::runProgram(home, {QStringLiteral("--print"), QStringLiteral("--from"), QStringLiteral("1"),
                                      QStringLiteral("--to"), QStringLiteral("1")},
                               scheduler);
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QVERIFY2(run.out.contains(QStringLiteral("1枚のラベルを「%1」に印刷しました").arg(choose)), qPrintable(run.out));
        if (choose != kPdf)
            QVERIFY(zltest::jobAttributes(scheduler, 0, choose).value(QStringLiteral("job-id")).toInt() > jobsBefore);
    }

    // The main menu's printer line and an open print screen's follow every
    // change of paper, sheet or connection type at once (of printer: above),
    // as printerInForceText() says it.
    void printerLineFollowsEveryChange_data()
    {
        QTest::addColumn<std::function<void()>>("change");
        QTest::addColumn<QString>("shown");
        auto onForm = [](const char *form, std::function<void(QWidget *)> act) {
            return std::function<void()>([=] { act(ui::ScreenRegistry::instance().show(QString::fromLatin1(form))); });
        };
        QTest::newRow("a paper chosen and saved")
            << onForm("Form7", [](QWidget *form7) {
                   const auto lists = form7->findChildren<QListWidget *>(QStringLiteral("List2"));
                   const auto codes = lists[1]->findItems(QStringLiteral("1"), Qt::MatchExactly);
                   lists[0]->setCurrentRow(lists[1]->row(codes.value(0)));
                   zltest::clickStart(form7);
               })
            << QStringLiteral("用紙: paper 1（216 x 279 mm）");
        QTest::newRow("a label sheet chosen and saved")
            << onForm("Form7", [](QWidget *form7) {
                   QVERIFY(zltest::pickSheet(form7, QStringLiteral("A4-12")));
                   zltest::clickStart(form7);
               })
            << QStringLiteral("用紙: paper 9（210 x 297 mm）　シート: A4 12面");
        QTest::newRow("the variable connection type saved")
            << onForm("Form17", [](QWidget *form17) {
                   for (QRadioButton *option : form17->findChildren<QRadioButton *>(QStringLiteral("Option1")))
                       if (option->property("index").toInt() == 1)
                           option->setChecked(true);
                   form17->findChild<QPushButton *>(QStringLiteral("Command1"))->click();
               })
            << QStringLiteral("プリンター: 印刷のたびに選択（いま Office");
    }

    void printerLineFollowsEveryChange()
    {
        QFETCH(std::function<void()>, change);
        QFETCH(QString, shown);
        zltest::TempHome home;
        home.installDefaults();
        std::vector<std::unique_ptr<zltest::FakePrinter>> list;
        list.push_back(std::make_unique<zltest::FakePrinter>(QStringLiteral("Office")));
        list.back()->accept(256, 2835, 1701).accept(1, 12240, 15840).accept(9, 11906, 16838);
        list.push_back(std::make_unique<zltest::FakePrinter>(QStringLiteral("Labels")));
        list.back()->accept(256, 2835, 1701);
        zltest::installFakePrinters(std::move(list));

        ui::MainWindow w(home.root());
        QLabel *menuLine = printerLine(w);
        QVERIFY(menuLine);
        QTRY_VERIFY_WITH_TIMEOUT(asked(menuLine), 30000);
        QWidget *printScreen = ui::ScreenRegistry::instance().show(QStringLiteral("F_CustInput"));
        auto *screenLine = printScreen->findChild<QLabel *>(QStringLiteral("LabelPrinterInForce"));
        QVERIFY2(!menuLine->text().contains(shown), qPrintable(menuLine->text()));
        change();
        QVERIFY2(menuLine->text().contains(shown), qPrintable(menuLine->text()));
        QCOMPARE(menuLine->text(), printer::printerInForceText());
        QCOMPARE(screenLine->text(), menuLine->text());
    }

    // No scheduler on this machine and none named: the windows print to
    // 「Zenlabo PDF」 and say why, on the main menu's printer line and in
    // the run's end message.
    void withoutAPrintSystemTheWindowsPrintToPdfAndSaySo()
    {
        zltest::TempHome home;
        home.installDefaults();
        home.writeItems({QStringLiteral("4912345000019"), QStringLiteral("4912345000026")});
        PrintSystemAt none(home.root() + QStringLiteral("/no-cups.sock"), home.root() + QStringLiteral("/etc-cups"));
        printer::installSystemPrinters(std::make_unique<printer::PdfPrinter>());

        ui::MainWindow w(home.root());
        QLabel *menuLine = printerLine(w);
        QVERIFY(menuLine);
        QTRY_VERIFY_WITH_TIMEOUT(asked(menuLine), 30000);
        QVERIFY2(menuLine->text().startsWith(QStringLiteral("プリンター: Zenlabo PDF　"))
                     && menuLine->text().contains(QStringLiteral("注意: CUPS(印刷システム)が動いていないため")),
                 qPrintable(menuLine->text()));
        QWidget *printScreen = ui::ScreenRegistry::instance().show(QStringLiteral("F_CustInput"));
        zltest::clickStart(printScreen);
        QCOMPARE(m_messages.size(), 1);
        QVERIFY2(m_messages[0].text.contains(QStringLiteral("CUPSが動いていないため「Zenlabo PDF」に印刷しました"))
                     && m_messages[0].text.contains(QStringLiteral("ラベル2枚をPDFファイル")),
                 qPrintable(m_messages[0].text));
    }

    // What the printer line names, its paper included, is what the next
    // start names, nothing changed in between: a paper a run took for its
    // labels is not left on the printer, and the PDF printer's paper
    // confirmed in the print setup is kept with it.
    void printerLineIsTheSameAfterARestart_data()
    {
        QTest::addColumn<std::function<void()>>("change");
        QTest::addColumn<QString>("paper");
        auto form7 = [](const QString &sheet) {
            QWidget *form = ui::ScreenRegistry::instance().show(QStringLiteral("Form7"));
            QVERIFY(zltest::pickSheet(form, sheet));
            zltest::clickStart(form);
        };
        QTest::newRow("a run on a label sheet, the sheet then left") << std::function<void()>([form7] {
            form7(QStringLiteral("A4-12"));
            const QPointer<QWidget> printScreen = ui::ScreenRegistry::instance().show(QStringLiteral("F_CustInput"));
            zltest::clickStart(printScreen);
            const QStringList printed = QDir(printer::PdfPrinter::defaultOutputFolder())
                                            .entryList({QStringLiteral("*.pdf")}, QDir::Files);
            QCOMPARE(printed.size(), 1);
            if (printScreen)
                printScreen->close();
            form7(QString());
        }) << QStringLiteral("用紙: ユーザー定義サイズ（50 x 30 mm）");
        QTest::newRow("Zenlabo PDF confirmed on A4 in the print setup") << std::function<void()>([] {
            zltest::installScriptedDialog([](printer::PrintSetupRecords &r) {
                r.devMode.dmPaperSize = 9;
                return true;
            });
            QWidget *form = ui::ScreenRegistry::instance().show(QStringLiteral("Form7"));
            form->findChild<QPushButton *>(QStringLiteral("Command2"))->click();
            form->close();
        }) << QStringLiteral("用紙: A4（210 x 297 mm）");
    }

    void printerLineIsTheSameAfterARestart()
    {
        QFETCH(std::function<void()>, change);
        QFETCH(QString, paper);
        ui::answerQuestionsWith([](const ui::ShownMessage &) { return true; });
        auto answered = qScopeGuard([] { ui::answerQuestionsWith({}); });
        zltest::TempHome home;
        home.installDefaults();
        home.writeItems({QStringLiteral("4912345000019"), QStringLiteral("4912345000026")});
        PrintSystemAt none(home.root() + QStringLiteral("/no-cups.sock"), home.root() + QStringLiteral("/etc-cups"));
        printer::installSystemPrinters(std::make_unique<printer::PdfPrinter>());
        QString before;
        {
            ui::MainWindow w(home.root());
            QLabel *menuLine = printerLine(w);
            QTRY_VERIFY_WITH_TIMEOUT(asked(menuLine), 30000);
            change();
            before = menuLine->text();
            for (const ui::ShownMessage &m : std::as_const(m_messages))
                QVERIFY2(!m.title.contains(QStringLiteral("ERROR")), qPrintable(m.text));
        }
        QVERIFY2(before.contains(QStringLiteral("プリンター: Zenlabo PDF　") + paper), qPrintable(before));

        printer::installSystemPrinters(std::make_unique<printer::PdfPrinter>());
        ui::MainWindow restarted(home.root());
        QLabel *menuLine = printerLine(restarted);
        QTRY_VERIFY_WITH_TIMEOUT(asked(menuLine), 30000);
        QCOMPARE(menuLine->text(), before);
    }

private:
    // The scheduler's queues, exactly these, and its default (none when empty).
    static void setUpQueues(const QString &scheduler, const QStringList &queues, const QString &defaultQueue)
    {
        QString said;
        QVERIFY2(admin(scheduler, QStringLiteral("lpstat"), {QStringLiteral("-e")}, &said) || said.isEmpty(),
                 qPrintable(said));
        for (const QString &old : said.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            QVERIFY2(admin(scheduler, QStringLiteral("lpadmin"), {QStringLiteral("-x"), old}, &said), qPrintable(said));
        const QString out = QFileInfo(scheduler).path() + QStringLiteral("/out");
        for (const QString &queue : queues) {
            const QString driver = queue == QLatin1String("Labels") ? QStringLiteral("zebra.ppd") : QStringLiteral("generic.ppd");
            QVERIFY2(admin(scheduler, QStringLiteral("lpadmin"),
                           {QStringLiteral("-p"), queue, QStringLiteral("-E"), QStringLiteral("-v"),
                            QStringLiteral("zenlabo-copy:") + out, QStringLiteral("-m"),
                            QStringLiteral("drv:///sample.drv/") + driver},
                           &said),
                     qPrintable(said));
        }
        if (!defaultQueue.isEmpty())
            QVERIFY2(admin(scheduler, QStringLiteral("lpadmin"), {QStringLiteral("-d"), defaultQueue}, &said),
                     qPrintable(said));
    }

    QList<ui::ShownMessage> m_messages;
};

ZL_TEST(PrinterChoiceTest)
#include "PrinterChoiceTest.moc"
