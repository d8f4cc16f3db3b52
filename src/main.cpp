#include "app/CommandLine.h"
#include "app/Translations.h"
#include "common/Failure.h"
#include "app/platform/PrintCommand.h"
#include "app/ui/MainWindow.h"
#include "ui/ScreenRegistry.h"
#include "printer/PdfPrinter.h"
#include "printer/platform/SystemPrinters.h"
#include "printer/ui/SystemPrintSetupDialog.h"

#include <QApplication>
#include <QDir>
#include <QFont>
#include <cstdio>

namespace {

bool wantsPrintCommand(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i)
        if (qstrcmp(argv[i], "--print") == 0 || qstrcmp(argv[i], "--help") == 0 || qstrcmp(argv[i], "-h") == 0)
            return true;
    return argc > 1;
}

} // namespace

int main(int argc, char **argv)
{
    const bool commandLine = wantsPrintCommand(argc, argv);
    // Printing from a script needs no display.
    if (commandLine && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zenlabo"));
    QApplication::setApplicationVersion(QStringLiteral("2.0.6"));
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
                return 0;
            }
            return zl::app::runPrintCommand(request, out, err);
        } catch (const zl::Failure &f) {
            err << f.description() << QLatin1Char('\n');
            return 64;
        }
    }

    zl::ui::installSystemPrintSetupDialog();
    zl::ui::registerAllScreens(zl::ui::ScreenRegistry::instance());
    zl::ui::MainWindow window(QDir::currentPath());
    window.show();
    return app.exec();
}
