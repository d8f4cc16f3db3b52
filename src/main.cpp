#include "app/ui/MainWindow.h"
#include "app/ui/ScreenRegistry.h"
#include "printer/platform/SystemPrinters.h"
#include "printer/ui/SystemPrintSetupDialog.h"

#include <QApplication>
#include <QDir>
#include <QFont>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zenlabo"));
    QApplication::setApplicationVersion(QStringLiteral("2.0.6"));
    // The screens' default font: a proportional Japanese Gothic face.
    QFont font(QStringLiteral("IPAPGothic"), 9);
    QApplication::setFont(font);

    // The built-in PDF printer joins the list once it exists; until then only
    // the CUPS queues are offered.
    zl::printer::installSystemPrinters(nullptr);
    zl::ui::installSystemPrintSetupDialog();
    zl::ui::registerAllScreens(zl::ui::ScreenRegistry::instance());
    zl::ui::MainWindow window(QDir::currentPath());
    window.show();
    return app.exec();
}
