#pragma once
#include <QObject>

namespace zl::printer {

// Tells the screens that show printerInForceText() (the main menu's printer
// line, the print screens) that the printer, its paper or the sheet has
// been changed, so that they show it at once. Told on any thread; a
// receiver connected with a context object of its own hears it on that
// object's thread.
class PrinterInForceNews : public QObject {
    Q_OBJECT
public:
    static PrinterInForceNews &instance();
    void tell() { emit changed(); }

signals:
    void changed();
};

} // namespace zl::printer
