#pragma once
// What the print screens' tests share: real settings files in a home of
// their own, a printer that records what it is sent, the messages shown,
// and ways to drive a screen and hold its run.
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

// A data file of `records` products, priced as given (1200 when not).
inline QByteArray csv(int records, const std::function<QString(int)> &price = {})
{
    QString text = QStringLiteral("JANコード,商品名,規格,価格\r\n");
    for (int i = 1; i <= records; ++i)
        text += QStringLiteral("4912345%1,商品%2,規格,%3\r\n")
                    .arg(i, 5, 10, QLatin1Char('0'))
                    .arg(i)
                    .arg(price ? price(i) : QStringLiteral("1200"));
    return zltest::sjis(text);
}

class PrintScreenFixture {
protected:
    void setUp()
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
    void tearDown()
    {
        for (const char *form : {"F_CustInput", "F_CustInput2"})
            if (QWidget *w = ui::ScreenRegistry::instance().find(QString::fromLatin1(form)))
                delete w;
        ui::recordMessagesInto(nullptr);
        ui::answerQuestionsWith({});
        m_barWatch.reset();
        m_home.reset();
    }

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
            // The window first: events posted from other threads (a run's
            // news) are the windows' to read only once their owner has
            // taken them.
            if (o->objectName() == QStringLiteral("frmprinting") && e->type() == QEvent::Show) {
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
