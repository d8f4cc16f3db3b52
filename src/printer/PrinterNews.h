#pragma once
#include <QObject>

namespace zl::printer {

// Tells the screens that show what the next run takes (the main menu's
// panel and printer line, the print screens, printerInForceText()) that
// something of it has been changed: the printer, its paper or the sheet,
// and the settings shown beside them (the data source, the layout's
// titles), so that they show it at once. Told on any thread; a receiver
// connected with a context object of its own hears it on that object's
// thread.
class PrinterInForceNews : public QObject {
    Q_OBJECT
public:
    static PrinterInForceNews &instance();
    void tell() { emit changed(); }

signals:
    void changed();
};

} // namespace zl::printer
