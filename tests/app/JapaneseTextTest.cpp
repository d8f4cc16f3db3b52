// Qt's own dialogs speak Japanese like the rest of the program, and long
// messages fit the screen. With ZENLABO_SCREENSHOTS set to a folder, each
// dialog is also saved there as the operator sees it.
#include "TestEnv.h"
#include "TestRegistry.h"

#include "app/Translations.h"
#include "app/ui/MainWindow.h"
#include "printer/DeviceRecords.h"
#include "pdf/PdfPrinter.h"
#include "cups/platform/SystemPrinters.h"
#include "cups/ui/SystemPrintSetupDialog.h"
#include "printing/PrintRun.h"
#include "printing/RunReport.h"
#include "ui/Dialogs.h"
#include "ui/ScreenRegistry.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QTreeView>

using namespace zl;

namespace {

QStringList buttonTexts(QWidget *dialog)
{
    QStringList texts;
    for (QDialogButtonBox *box : dialog->findChildren<QDialogButtonBox *>())
        for (QAbstractButton *b : box->buttons())
            if (b->isVisible())
                texts << b->text();
    return texts;
}

// Texts with an English word in them (accelerators like "(&O)" aside; "OK"
// is what Japanese desktops write on that button too).
QStringList english(const QStringList &texts)
{
    static const QRegularExpression word(QStringLiteral("(?!OK\\b)[A-Za-z]{2,}"));
    QStringList out;
    for (const QString &t : texts)
        if (word.match(t).hasMatch())
            out << t;
    return out;
}

void saveScreenshot(QWidget *w, const QString &name)
{
    const QString folder = qEnvironmentVariable("ZENLABO_SCREENSHOTS");
    if (folder.isEmpty())
        return;
    QDir().mkpath(folder);
    QTest::qWait(200);
    w->grab().save(QDir(folder).filePath(name + QStringLiteral(".png")));
}

// Runs `open` (which blocks in a modal dialog) and has `inspect` look at the
// dialog, then closes it.
// The dialog is looked for without blocking: `open` may let the windows'
// events run before its dialog is up (the print setup asks the printing
// system on a thread first).
// The dialog the program shows while CUPS is asked whether it answers gives
// way to Qt's own once it has: `wanted` tells which one to inspect.
void withModalDialog(const std::function<void()> &open, const std::function<void(QWidget *)> &inspect,
                     const std::function<bool(QWidget *)> &wanted = {})
{
    bool seen = false;
    int triesLeft = 3000;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget *dialog = QApplication::activeModalWidget();
        if (!dialog || (wanted && !wanted(dialog))) {
            if (--triesLeft <= 0)
                poll.stop();
            return;
        }
        poll.stop();
        seen = true;
        inspect(dialog);
        if (auto *d = qobject_cast<QDialog *>(dialog))
            d->reject();
    });
    poll.start();
    open();
    QVERIFY2(seen, "no dialog opened");
}

} // namespace

class JapaneseTextTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // As main() does.
        QApplication::setFont(QFont(QStringLiteral("IPAPGothic"), 9));
        const QString loaded = app::installJapaneseTranslation(*qApp);
        QVERIFY2(!loaded.isEmpty(), "Qt's Japanese translation (qt6-translations-l10n) was not found");
        printer::installSystemPrinters(std::make_unique<printer::PdfPrinter>());
        ui::registerAllScreens(ui::ScreenRegistry::instance());
    }
    void init()
    {
        m_home = std::make_unique<zltest::TempHome>();
        m_home->installDefaults();
    }
    void cleanup() { m_home.reset(); }

    // 「参照」 on the data-source screen opens the system file dialog. Its
    // dates are the program's Japanese ones whatever the system's locale
    // (these tests run under C, whose dates read "7 Dec 2026").
    void fileDialogOfTheBrowseButtonIsJapanese()
    {
        QWidget *screen = ui::ScreenRegistry::instance().show(QStringLiteral("setOracle"));
        QVERIFY(screen);
        QVERIFY(QTest::qWaitForWindowExposed(screen));
        saveScreenshot(screen, QStringLiteral("setOracle"));
        QStringList buttons, captions, dates;
        withModalDialog([&] { screen->findChild<QPushButton *>(QStringLiteral("Command1"))->click(); },
                        [&](QWidget *dialog) {
                            QVERIFY(qobject_cast<QFileDialog *>(dialog));
                            buttons = buttonTexts(dialog);
                            for (QLabel *l : dialog->findChildren<QLabel *>())
                                if (l->isVisible() && !l->text().isEmpty())
                                    captions << l->text();
                            auto *details = dialog->findChild<QTreeView *>(QStringLiteral("treeView"));
                            QVERIFY(details && details->model());
                            QTRY_VERIFY(details->model()->rowCount(details->rootIndex()) > 0);
                            for (int row = 0; row < details->model()->rowCount(details->rootIndex()); ++row)
                                dates << details->model()->index(row, 3, details->rootIndex()).data().toString();
                            saveScreenshot(dialog, QStringLiteral("file-dialog"));
                        });
        QVERIFY2(buttons.size() >= 2, qPrintable(buttons.join(QLatin1Char('|'))));
        QVERIFY2(english(buttons + captions).isEmpty(), qPrintable(english(buttons + captions).join(QLatin1Char('|'))));
        // Japan's short form, 2026/12/07 9:30.
        static const QRegularExpression japanese(QStringLiteral("^\\d{4}/\\d{2}/\\d{2} \\d{1,2}:\\d{2}$"));
        QVERIFY2(!dates.isEmpty() && dates.filter(japanese).size() == dates.size(), qPrintable(dates.join(QLatin1Char('|'))));
        QVERIFY2(QLocale().toString(QDate::currentDate(), QLocale::LongFormat).contains(QStringLiteral("年")),
                 "the program's dates are Japanese");
        QVERIFY2(buttons.join(QString()).contains(QStringLiteral("キャンセル")), qPrintable(buttons.join(QLatin1Char('|'))));
        screen->close();
    }

    void printSetupDialogIsJapanese()
    {
        printer::PrintSetupRecords records;
        QStringList buttons;
        withModalDialog([&] { ui::SystemPrintSetupDialog().run(records, 0, nullptr); },
                        [&](QWidget *dialog) {
                            QVERIFY(qobject_cast<QPrintDialog *>(dialog));
                            buttons = buttonTexts(dialog);
                            saveScreenshot(dialog, QStringLiteral("print-setup-dialog"));
                        },
                        [](QWidget *dialog) { return dialog->inherits("QPrintDialog"); });
        QVERIFY2(buttons.size() >= 2, qPrintable(buttons.join(QLatin1Char('|'))));
        QVERIFY2(english(buttons).isEmpty(), qPrintable(buttons.join(QLatin1Char('|'))));
        QVERIFY2(buttons.join(QString()).contains(QStringLiteral("キャンセル")), qPrintable(buttons.join(QLatin1Char('|'))));
    }

    // The window menu of the screens inside the main window.
    void windowMenuIsJapanese()
    {
        ui::MainWindow window(m_home->root());
        window.show();
        QMdiSubWindow *sub = window.mdiArea()->subWindowList().value(0);
        QVERIFY(sub && sub->systemMenu());
        QStringList items;
        for (QAction *a : sub->systemMenu()->actions())
            if (!a->isSeparator())
                items << a->text();
        QVERIFY2(items.size() >= 4 && english(items).isEmpty(), qPrintable(items.join(QLatin1Char('|'))));
    }

    // 120 rows without a barcode, or a run error naming a runaway value: the
    // box still fits a 1024x768 screen, its OK button on it.
    void longMessagesFitTheScreen()
    {
        QList<printing::RowWithoutBarcode> rows;
        for (int i = 1; i <= 120; ++i)
            rows.append({i, i == 7 ? QString(400, QLatin1Char('9')) : QStringLiteral("12345"),
                         QStringLiteral("バーコードの値「12345」は 5 桁です。JAN は 12 桁か 13 桁、短縮 JAN は 7 桁か 8 桁です。")});
        const QString endText = printing::endMessage(rows);
        QVERIFY2(endText.contains(QStringLiteral("ほか 110 行")), qPrintable(endText));
        QVERIFY(endText.contains(QStringLiteral("10行目")) && !endText.contains(QStringLiteral("11行目")));
        const QString runaway = printing::kRunErrorPrefix
            + QStringLiteral("1行目の価格「%1」が数値ではありません。").arg(QString(100000, QChar(u'あ')));

        for (const auto &[name, text] : {std::pair{"end-message", endText}, std::pair{"run-error", runaway}}) {
            std::unique_ptr<QMessageBox> box = ui::messageBox(nullptr, text, printing::kEndTitle, ui::Information);
            box->show();
            QVERIFY(QTest::qWaitForWindowExposed(box.get()));
            const QSize size = box->frameGeometry().size();
            saveScreenshot(box.get(), QString::fromLatin1(name));
            QVERIFY2(size.width() <= 1024 && size.height() <= 768,
                     qPrintable(QStringLiteral("%1: %2x%3").arg(QLatin1String(name)).arg(size.width()).arg(size.height())));
            QAbstractButton *ok = box->button(QMessageBox::Ok);
            QVERIFY(ok && QRect(QPoint(0, 0), size).contains(ok->mapTo(box.get(), QPoint(ok->width(), ok->height()))));
        }
    }

private:
    std::unique_ptr<zltest::TempHome> m_home;
};

ZL_TEST(JapaneseTextTest)
#include "JapaneseTextTest.moc"
