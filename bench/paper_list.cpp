// Opening the paper selection screen (Form7) on each CUPS queue, the queue
// asked for the first time each round. Target: under 500 ms per opening.
// Run with a scheduler up, e.g.  eval "$(scripts/cups-up)"; build/bench/paper_list
// With --entries it prints, instead of times, what each queue offers and how
// a page goes out on it (paper list, geometry, job options): diff two builds'
// output to see that a change of the printer code changed no size.
#include "cups/platform/CupsPrinter.h"
#include "paper/ui/PrinterScreens.h"
#include "settings/Defaults.h"

#include "paper/PaperSelection.h"
#include "pdf/PdfPrinter.h"

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
    if (app.arguments().contains(QStringLiteral("--entries"))) {
        auto show = [](const zl::printer::Printer &p) {
            std::printf("%s\n", qPrintable(p.deviceName()));
            for (const QString &entry : zl::printer::paperChoices(&p).entries)
                std::printf("  %s\n", qPrintable(entry));
            const QList<zl::printer::PaperInfo> papers = p.papers();
            const bool labels = zl::printer::listsLabelStock(papers);
            for (const zl::printer::PaperInfo &paper : papers)
                std::printf("  %d %d x %d twips %s\n", paper.code, paper.widthTwips, paper.heightTwips,
                            qPrintable(zl::printer::readablePaperName(paper, labels)));
            const zl::printer::PageGeometry g = p.pageGeometry();
            std::printf("  paper %.6f x %.6f mm, printable %.6f %.6f %.6f %.6f mm, %d dpi\n", g.paperMm.width(),
                        g.paperMm.height(), g.printableMm.x(), g.printableMm.y(), g.printableMm.width(),
                        g.printableMm.height(), g.dpi);
            if (const auto *queue = dynamic_cast<const zl::printer::CupsPrinter *>(&p)) {
                for (const auto &[key, value] : queue->jobOptions())
                    std::printf("  %s=%s\n", qPrintable(key), qPrintable(value));
            }
        };
        for (const QString &queue : queues) {
            zl::printer::CupsPrinter printer(queue);
            show(printer);
            // A user-defined size a little off the dot grid, as typed in tenths of a millimetre.
            if (printer.setPaperSize(256) && printer.setPageWidthTwips(2835) && printer.setPageHeightTwips(1701))
                show(printer);
        }
        zl::printer::PdfPrinter pdf(home.filePath(QStringLiteral("pdf")));
        for (const zl::printer::PaperInfo &paper : pdf.papers()) {
            pdf.setPaperSize(paper.code);
            show(pdf);
        }
        return 0;
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
