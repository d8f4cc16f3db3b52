#include "app/CommandLine.h"
#include "app/Translations.h"
#include "common/Failure.h"
#include "app/PrintCommand.h"
#include "app/ui/MainWindow.h"
#include "ui/ScreenRegistry.h"
#include "pdf/PdfPrinter.h"
#include "cups/platform/SystemPrinters.h"
#include "cups/ui/SystemPrintSetupDialog.h"
#include "sheets/SheetTemplates.h"

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QStringList>

#include <cstdio>

int main(int argc, char **argv)
{
    // Decided before Qt takes its own options (-style, -platform, -session …)
    // out of argv: those open the windows as any other start does.
    QStringList given;
    for (int i = 0; i < argc; ++i)
        given << QString::fromLocal8Bit(argv[i]);
    const bool commandLine = zl::app::wantsCommandLine(given);
    // Printing from a script needs no display.
    if (commandLine && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zenlabo"));
    QApplication::setApplicationVersion(QStringLiteral(ZENLABO_VERSION));
    zl::app::installJapaneseTranslation(app);
    // The screens' default font: a proportional Japanese Gothic face.
    QApplication::setFont(QFont(QStringLiteral("IPAPGothic"), 9));

    zl::printer::installSystemPrinters(std::make_unique<zl::printer::PdfPrinter>());

    if (commandLine) {
        QTextStream out(stdout);
        QTextStream err(stderr);
        try {
            const zl::app::PrintRequest request = zl::app::parseCommandLine(QCoreApplication::arguments());
            if (request.help) {
                out << zl::app::usageText();
                return zl::app::ExitPrinted;
            }
            if (request.listSheets)
                return zl::app::listSheets(out);
            if (request.version) {
                out << QStringLiteral("zenlabo %1\n").arg(QApplication::applicationVersion());
                return zl::app::ExitPrinted;
            }
            return zl::app::runPrintCommand(request, out, err);
        } catch (const zl::Failure &f) {
            err << f.description() << QLatin1Char('\n');
            return zl::app::ExitUsage;
        }
    }

    // Well over a thousand sheet products: read while the windows open.
    zl::printer::startReadingSheetLibrary();
    zl::ui::installSystemPrintSetupDialog();
    zl::ui::registerAllScreens(zl::ui::ScreenRegistry::instance());
    zl::ui::MainWindow window(QDir::currentPath());
    window.show();
    return app.exec();
}
