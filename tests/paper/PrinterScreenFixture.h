#pragma once
// What the paper and printer screens' tests share: a throw-away settings
// folder, a scripted printer that offers papers out of order, and the
// messages shown.
#include "common/SheetPicking.h"
#include "common/FakePrinter.h"
#include "common/TestEnv.h"
#include "common/TestRegistry.h"
#include "printer/PaperCodes.h"
#include "pdf/PdfPrinter.h"

#include "ui/Dialogs.h"
#include "app/ui/MainMenu.h"
#include "ui/ScreenRegistry.h"
#include "paper/PaperSelection.h"
#include "printer/PrinterSetup.h"
#include "paper/ui/PrinterScreens.h"
#include "settings/SettingsTable.h"
#include "sheets/SheetChoice.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>

using namespace zl::printer;
using zl::ui::ScreenRegistry;
using zltest::FakePrinter;

// The screen's child of that name (and index, for control arrays).
template <typename W>
W *child(QWidget *screen, const char *name, int index = -1)
{
    const auto all = screen->findChildren<W *>(QString::fromLatin1(name));
    for (W *w : all) {
        if (index < 0 || w->property("index").toInt() == index)
            return w;
    }
    return nullptr;
}

inline void settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
}

class PrinterScreenFixture {
protected:
    void setUp()
    {
        m_home = std::make_unique<zltest::TempHome>();
        m_home->installDefaults();
        m_messages.clear();
        zl::ui::recordMessagesInto(&m_messages);
        clearSavedPrinterSettings();
        std::vector<std::unique_ptr<FakePrinter>> list;
        list.push_back(std::make_unique<FakePrinter>(QStringLiteral("Office")));
        // Listed out of order, with codes the screen must leave out.
        list.back()->accept(256, 2864, 1417).accept(9, 11906, 16838).accept(1, 12240, 15840).accept(1025, 100, 100);
        m_printer = zltest::installFakePrinters(std::move(list)).first();
    }

    void tearDown()
    {
        ScreenRegistry::instance().close(QStringLiteral("Form7"));
        ScreenRegistry::instance().close(QStringLiteral("Form17"));
        settle();
        zl::ui::recordMessagesInto(nullptr);
        installPrinters(nullptr);
        m_home.reset();
    }

    std::unique_ptr<zltest::TempHome> m_home;
    FakePrinter *m_printer = nullptr;
    QList<zl::ui::ShownMessage> m_messages;
};
