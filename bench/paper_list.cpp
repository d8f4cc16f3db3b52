// Opening the paper selection screen (Form7) on each CUPS queue, the queue
// asked for the first time each round. Target: under 500 ms per opening.
// Run with a scheduler up, e.g.  eval "$(scripts/cups-up)"; build/bench/paper_list
#include "printer/platform/CupsPrinter.h"
#include "printer/ui/PrinterScreens.h"
#include "settings/Defaults.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPrinterInfo>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    QApplication app(argc, argv);
    zl::settings::restoreDefaultTables(home.filePath(QStringLiteral("none")));

    const QStringList queues = QPrinterInfo::availablePrinterNames();
    if (queues.isEmpty()) {
        std::printf("no CUPS queue listed: start one (scripts/cups-up) and run again\n");
        return 1;
    }
    constexpr int rounds = 5;
    bool allWithin = true;
    for (const QString &queue : queues) {
        qint64 worst = 0, total = 0;
        int entries = 0;
        for (int i = 0; i < rounds; ++i) {
            std::vector<std::unique_ptr<zl::printer::Printer>> list;
            list.push_back(std::make_unique<zl::printer::CupsPrinter>(queue));
            zl::printer::installPrinters(std::make_unique<zl::printer::OwnedPrinterCollection>(std::move(list)));
            QElapsedTimer t;
            t.start();
            auto screen = std::make_unique<zl::ui::PaperSelectionScreen>(nullptr);
            const qint64 ms = t.elapsed();
            worst = std::max(worst, ms);
            total += ms;
        }
        zl::printer::CupsPrinter probe(queue);
        entries = int(probe.papers().size());
        std::printf("Form7 on %-20s %3d papers: mean %4lld ms, worst %4lld ms (target < 500 ms)\n",
                    qPrintable(queue), entries, total / rounds, worst);
        allWithin = allWithin && worst < 500;
    }
    zl::printer::installPrinters(nullptr);
    return allWithin ? 0 : 1;
}
