#pragma once
// What the test classes of the printer settings module share: scripted
// printers, no saved settings and no dialog at the start of each test, and
// the messages shown recorded.
#include "common/FakePrinter.h"
#include "printer/Printer.h"
#include "printer/PrinterSetup.h"
#include "ui/Dialogs.h"

#include <QList>
#include <QObject>
#include <memory>

class PrinterSetupFixture : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        zl::printer::clearSavedPrinterSettings();
        zl::printer::installPrintSetupDialog(nullptr);
        m_messages.clear();
        zl::ui::recordMessagesInto(&m_messages);
    }
    void cleanup()
    {
        zl::ui::recordMessagesInto(nullptr);
        zl::printer::installPrinters(nullptr);
        zl::printer::installPrintSetupDialog(nullptr);
    }

protected:
    static std::unique_ptr<zltest::FakePrinter> a4Printer(const QString &name)
    {
        auto p = std::make_unique<zltest::FakePrinter>(name);
        p->accept(9, 11906, 16838).accept(1, 12240, 15840).accept(256, 2835, 1417);
        return p;
    }

    QList<zl::ui::ShownMessage> m_messages;
};
