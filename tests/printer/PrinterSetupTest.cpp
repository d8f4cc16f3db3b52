// The printer settings module against scripted printers and a scripted dialog.
#include "PrinterSetupFixture.h"
#include "common/FakePrinter.h"
#include "common/TestEnv.h"
#include "paper/PaperSelection.h"
#include "common/TestRegistry.h"

#include "ui/Dialogs.h"
#include "common/Failure.h"
#include "printer/PrinterSetup.h"
#include "cups/platform/LpOptions.h"
#include "cups/ui/SystemPrintSetupDialog.h"

#include <QDir>
#include <QTest>
#include <cstring>
#include <sys/stat.h>

using namespace zl::printer;
using zltest::FakePrinter;
using zltest::Property;

namespace {
// Points the names record at another device, as a dialog does when the
// operator picks another printer.
void choose(PrintSetupRecords &r, const QString &name)
{
    fillDevNames(r.devNames, QStringLiteral("drv"), name, QStringLiteral("port"));
}
} // namespace

class PrinterSetupTest : public PrinterSetupFixture {
    Q_OBJECT

private slots:
    void confirmedUserSizeSetsWidthAndHeightThenTheRest()
    {
        std::vector<std::unique_ptr<FakePrinter>> list;
        list.push_back(a4Printer(QStringLiteral("P")));
        auto fakes = zltest::installFakePrinters(std::move(list));
        auto *dialog = zltest::installScriptedDialog([](PrintSetupRecords &r) {
            r.devMode.dmPaperSize = 256;
            r.devMode.dmPaperWidth = 500;  // 50.0 mm
            r.devMode.dmPaperLength = 255; // 25.5 mm
            r.devMode.dmDefaultSource = 2;
            r.devMode.dmPrintQuality = 600;
            r.devMode.dmColor = 2;
            r.devMode.dmDuplex = 3;
            r.devMode.dmOrientation = 2;
            r.devMode.dmScale = 90;
            return true;
        });
        QVERIFY(zl::ui::ShowPrinterSetup(PD_PRINTSETUP, nullptr));
        QCOMPARE(dialog->lastFlags, uint32_t(64));
        QCOMPARE(fakes[0]->setCalls,
                 QStringList({QStringLiteral("paper=256"), QStringLiteral("width=2835"), QStringLiteral("height=1446"),
                              QStringLiteral("bin=2"), QStringLiteral("quality=600"), QStringLiteral("color=2"),
                              QStringLiteral("duplex=3"), QStringLiteral("orientation=2"), QStringLiteral("zoom=90")}));
        QCOMPARE(fakes[0]->pageWidthTwips(), std::optional<int>(2835));
        QVERIFY(m_messages.isEmpty());
    }

    void refusedPaperIsReportedAndTheRestStillApplied()
    {
        std::vector<std::unique_ptr<FakePrinter>> list;
        list.push_back(a4Printer(QStringLiteral("P")));
        list.back()->refusing(Property::Duplex);
        auto fakes = zltest::installFakePrinters(std::move(list));
        zltest::installScriptedDialog([](PrintSetupRecords &r) {
            r.devMode.dmPaperSize = 70; // not a paper this printer has
            r.devMode.dmOrientation = 2;
            r.devMode.dmDuplex = 2;
            return true;
        });
        QVERIFY(zl::ui::ShowPrinterSetup(PD_PRINTSETUP, nullptr));
        QCOMPARE(m_messages.size(), 1);
        QCOMPARE(m_messages[0].text, QStringLiteral("指定された用紙サイズが不正です"));
        QCOMPARE(m_messages[0].title, QStringLiteral("プリンタの設定"));
        QCOMPARE(m_messages[0].style, 0);
        QCOMPARE(fakes[0]->paperSize(), std::optional<int>(9));
        QCOMPARE(fakes[0]->orientation(), std::optional<int>(2));
        QCOMPARE(fakes[0]->duplex(), std::optional<int>(1));
    }

    void chosenPrinterIsFoundIgnoringCase()
    {
        std::vector<std::unique_ptr<FakePrinter>> list;
        list.push_back(a4Printer(QStringLiteral("Office")));
        list.push_back(a4Printer(QStringLiteral("Label-Printer")));
        auto fakes = zltest::installFakePrinters(std::move(list));
        zltest::installScriptedDialog([](PrintSetupRecords &r) {
            choose(r, QStringLiteral("LABEL-printer"));
            return true;
        });
        QVERIFY(zl::ui::ShowPrinterSetup(PD_PRINTSETUP, nullptr));
        QCOMPARE(currentPrinter(), fakes[1]);
        // The confirmed paper went to the newly chosen printer.
        QVERIFY(fakes[0]->setCalls.isEmpty());
        QVERIFY(fakes[1]->setCalls.contains(QStringLiteral("paper=9")));
    }

    // A printer that is gone is never replaced by another one: the run ends
    // with a message instead of printing elsewhere.
    void chosenPrinterNotInstalledLeavesCurrent()
    {
        std::vector<std::unique_ptr<FakePrinter>> list;
        list.push_back(a4Printer(QStringLiteral("Office")));
        list.push_back(a4Printer(QStringLiteral("Label")));
        auto fakes = zltest::installFakePrinters(std::move(list), 1);
        zltest::installScriptedDialog([](PrintSetupRecords &r) {
            choose(r, QStringLiteral("Gone"));
            return true;
        });
        QList<zl::ui::ShownMessage> shown;
        zl::ui::recordMessagesInto(&shown);
        QVERIFY(!zl::ui::ShowPrinterSetup(PD_PRINTSETUP, nullptr));
        zl::ui::recordMessagesInto(nullptr);
        QCOMPARE(currentPrinter(), fakes[1]);
        QVERIFY(fakes[1]->setCalls.isEmpty());
        QCOMPARE(shown.size(), 1);
        QVERIFY(shown.first().text.contains(QStringLiteral("見つかりません")));
    }

    void cancelChangesNeitherPrinterNorSavedSettings()
    {
        std::vector<std::unique_ptr<FakePrinter>> list;
        list.push_back(a4Printer(QStringLiteral("Office")));
        list.push_back(a4Printer(QStringLiteral("Label")));
        auto fakes = zltest::installFakePrinters(std::move(list));
        SavePrinterSettings();
        const SavedPrinterSettings before = savedPrinterSettings();
        auto *dialog = zltest::installScriptedDialog([](PrintSetupRecords &r) {
            choose(r, QStringLiteral("Label"));
            r.devMode.dmPaperSize = 1;
            r.devMode.dmOrientation = 2;
            return false;
        });
        QVERIFY(!zl::ui::ShowPrinterSetup(PD_PRINTSETUP, nullptr));
        QCOMPARE(dialog->runs, 1);
        QCOMPARE(currentPrinter(), fakes[0]);
        QVERIFY(fakes[0]->setCalls.isEmpty());
        QVERIFY(fakes[1]->setCalls.isEmpty());
        QCOMPARE(savedPrinterSettings().deviceName, before.deviceName);
        QCOMPARE(savedPrinterSettings().paperSize, before.paperSize);
        QVERIFY(m_messages.isEmpty());
    }

    // The preview's paper is the one the next run prints on: the stored
    // paper with the fixed type when the printer lists it, else its own.
    // Reading it sets nothing on the printer, and a table replaced since the
    // last read (within the same clock tick, too) is read again.
    void previewPaperIsThePaperARunTakes_data()
    {
        QTest::addColumn<QString>("yoshi");
        QTest::addColumn<QString>("type");
        QTest::addColumn<double>("widthMm");
        QTest::newRow("fixed, A4 stored") << QStringLiteral("9") << QStringLiteral("0") << 210.0;
        QTest::newRow("fixed, nothing stored") << QStringLiteral("_") << QStringLiteral("0") << 50.0;
        QTest::newRow("fixed, a paper the printer lacks") << QStringLiteral("70") << QStringLiteral("0") << 50.0;
        QTest::newRow("variable: the dialog decides") << QStringLiteral("9") << QStringLiteral("1") << 50.0;
    }

    void previewPaperIsThePaperARunTakes()
    {
        QFETCH(QString, yoshi);
        QFETCH(QString, type);
        QFETCH(double, widthMm);
        zltest::TempHome home;
        home.writeTable(QStringLiteral("vokiconfig4.txt"),
                        {QStringLiteral("TITLE1"), QStringLiteral("TITLE2"), QStringLiteral("YOSHI"), QStringLiteral("PRINTER")},
                        {QStringLiteral("a"), QStringLiteral("b"), yoshi, type});
        std::vector<std::unique_ptr<FakePrinter>> list;
        list.push_back(a4Printer(QStringLiteral("P")));
        auto fakes = zltest::installFakePrinters(std::move(list));
        fakes[0]->setPaperSize(256);
        const QStringList setBefore = fakes[0]->setCalls;
        const auto page = zl::printer::pageInForce();
        QVERIFY(page);
        QCOMPARE(qRound(page->paperMm.width()), qRound(widthMm));
        QCOMPARE(fakes[0]->setCalls, setBefore);
        QCOMPARE(fakes[0]->paperSize(), 256);
        home.writeTable(QStringLiteral("vokiconfig4.txt"),
                        {QStringLiteral("TITLE1"), QStringLiteral("TITLE2"), QStringLiteral("YOSHI"), QStringLiteral("PRINTER")},
                        {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("9"), QStringLiteral("0")});
        QCOMPARE(qRound(zl::printer::pageInForce()->paperMm.width()), 210);
    }

    void withoutADialogNothingIsConfirmed()
    {
        std::vector<std::unique_ptr<FakePrinter>> list;
        list.push_back(a4Printer(QStringLiteral("Office")));
        auto fakes = zltest::installFakePrinters(std::move(list));
        QVERIFY(!zl::ui::ShowPrinterSetup(PD_PRINTSETUP, nullptr));
        QVERIFY(fakes[0]->setCalls.isEmpty());
    }

    void applyTakesTheFirstOfNamesDifferingInCase()
    {
        std::vector<std::unique_ptr<FakePrinter>> list;
        list.push_back(a4Printer(QStringLiteral("Office")));
        list.push_back(a4Printer(QStringLiteral("LABEL")));
        list.push_back(a4Printer(QStringLiteral("label")));
        auto fakes = zltest::installFakePrinters(std::move(list));
        QVERIFY(ApplyPrinterSettings(QStringLiteral("Label"), 1, 2, 3));
        QCOMPARE(currentPrinter(), fakes[1]);
        QCOMPARE(fakes[1]->setCalls,
                 QStringList({QStringLiteral("paper=1"), QStringLiteral("orientation=2"), QStringLiteral("bin=3")}));
        QVERIFY(fakes[2]->setCalls.isEmpty());
    }

    void applyWithUnknownNameChangesOnlyTheCurrentPrintersProperties()
    {
        std::vector<std::unique_ptr<FakePrinter>> list;
        list.push_back(a4Printer(QStringLiteral("Office")));
        list.push_back(a4Printer(QStringLiteral("Label")));
        auto fakes = zltest::installFakePrinters(std::move(list), 1);
        QVERIFY(!ApplyPrinterSettings(QStringLiteral("Labe"), 1, 1, 7));
        QCOMPARE(currentPrinter(), fakes[1]);
    }

    void restoreBeforeAnySaveChangesNothing()
    {
        std::vector<std::unique_ptr<FakePrinter>> list;
        list.push_back(a4Printer(QStringLiteral("Office")));
        list.back()->refusing(Property::Orientation).refusing(Property::PaperBin);
        auto fakes = zltest::installFakePrinters(std::move(list));
        QVERIFY(!RestorePrinterSettings());
        QCOMPARE(currentPrinter(), fakes[0]);
        QCOMPARE(fakes[0]->paperSize(), std::optional<int>(9)); // code 0 refused
        QCOMPARE(fakes[0]->orientation(), std::optional<int>(1));
    }

    void restoreThenSaveKeepsWhatThePrinterAccepted()
    {
        std::vector<std::unique_ptr<FakePrinter>> list;
        list.push_back(a4Printer(QStringLiteral("Office")));
        list.push_back(std::make_unique<FakePrinter>(QStringLiteral("Label")));
        list.back()->accept(257, 2880, 1440);
        auto fakes = zltest::installFakePrinters(std::move(list));
        SavePrinterSettings();
        QCOMPARE(savedPrinterSettings().paperSize, int16_t(9));
        // The run's printer changes behind the saved settings: it has no A4.
        printers()->setCurrent(fakes[1]);
        ApplyPrinterSettings(QStringLiteral("label"), 9, 1, 7);
        SavePrinterSettings();
        QCOMPARE(savedPrinterSettings().deviceName, QStringLiteral("Label"));
        QCOMPARE(savedPrinterSettings().paperSize, int16_t(257));
        QVERIFY(RestorePrinterSettings());
        QCOMPARE(currentPrinter(), fakes[1]);
    }

    void saveFailsWholeWhenAPropertyCannotBeRead()
    {
        std::vector<std::unique_ptr<FakePrinter>> list;
        list.push_back(a4Printer(QStringLiteral("Office")));
        list.push_back(a4Printer(QStringLiteral("Broken")));
        list.back()->failing(Property::PaperBin);
        auto fakes = zltest::installFakePrinters(std::move(list));
        SavePrinterSettings();
        printers()->setCurrent(fakes[1]);
        QVERIFY_THROWS_EXCEPTION(zl::Failure, SavePrinterSettings());
        QCOMPARE(savedPrinterSettings().deviceName, QStringLiteral("Office"));
        installPrinters(nullptr);
        QVERIFY_THROWS_EXCEPTION(zl::Failure, SavePrinterSettings());
    }

    // Saving a queue as the user's default rewrites the user's lpoptions:
    // that queue's lines give way to one Default line, and every line of
    // other queues or other programs stays as it was, in whatever encoding.
    void savedDefaultKeepsOtherLinesByteForByte_data()
    {
        QTest::addColumn<QByteArray>("before"); // null: no file yet
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("after");
        const QByteArray mine = "Default ZenlaboQ media=w144h72 Resolution=300dpi\n";
        const QStringList chosen{QStringLiteral("media=w144h72"), QStringLiteral("Resolution=300dpi")};
        QTest::newRow("no file yet") << QByteArray() << chosen << mine;
        // Shift-JIS and latin-1 names, a comment, a blank line, a CR, an
        // instance of the queue and a name that only begins like it.
        const QByteArray others = "# \x83\x89\x83x\x83\x8b\x97p\n"
                                  "Dest \x83\x89\x83x\x83\x8b Darkness=5\n"
                                  "\n"
                                  "Dest Etiquette\xe9 media=A4\r\n"
                                  "Dest ZenlaboQ/draft Resolution=203dpi\n"
                                  "Dest ZenlaboQueue PageSize=A4\n";
        QTest::newRow("other queues' lines as they were") << others << chosen << others + mine;
        QTest::newRow("the queue's own lines give way, any case")
            << "dest ZenlaboQ media=A4\n" + others + "DEST ZenlaboQ Darkness=1\n" << chosen << others + mine;
        QTest::newRow("another queue's default becomes a Dest line, the rest of it kept")
            << QByteArray("  Default Etiquette\xe9  sides=one-sided\n") << chosen
            << "  Dest Etiquette\xe9  sides=one-sided\n" + mine;
        QTest::newRow("no line end at the end, a value with spaces")
            << QByteArray("Dest Other x=1") << QStringList{QStringLiteral("Label=Shop counter")}
            << QByteArray("Dest Other x=1\nDefault ZenlaboQ Label=\"Shop counter\"\n");
    }

    void savedDefaultKeepsOtherLinesByteForByte()
    {
        QFETCH(QByteArray, before);
        QFETCH(QStringList, options);
        QFETCH(QByteArray, after);
        zltest::TempHome home;
        const QString path = LpOptions::userFile();
        QCOMPARE(path, home.root() + QStringLiteral("/.cups/lpoptions"));
        struct stat old {};
        if (!before.isNull()) {
            home.writeFile(path, before);
            QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0640), 0);
            QCOMPARE(::stat(QFile::encodeName(path).constData(), &old), 0);
        }
        LpOptions::Values values;
        for (const QString &o : options)
            values.append({o.section(QLatin1Char('='), 0, 0), o.section(QLatin1Char('='), 1)});

        QVERIFY(LpOptions::saveUserDefault(QStringLiteral("ZenlaboQ"), values));
        QCOMPARE(home.readFile(path), after);
        // A new file took the old one's place (never the old one cut short
        // and written again), with its mode, and nothing else is left.
        struct stat now {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &now), 0);
        if (!before.isNull()) {
            QVERIFY(now.st_ino != old.st_ino);
            QCOMPARE(now.st_mode & 0777, mode_t(0640));
        }
        QCOMPARE(QDir(home.root() + QStringLiteral("/.cups")).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("lpoptions")});
        // Read back as every later start reads it.
        QCOMPARE(LpOptions::savedDefaultQueue(), QStringLiteral("ZenlaboQ"));
        QCOMPARE(LpOptions::savedOptions(QStringLiteral("ZenlaboQ")), values);
    }
};

ZL_TEST(PrinterSetupTest)
#include "PrinterSetupTest.moc"
