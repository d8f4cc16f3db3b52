// The check a print run makes before its first label: 300 rows read once,
// each drawn on the printer's paper as the preview draws it, and what would
// stop or spoil the run collected (prices, barcodes, texts past the paper,
// second pages). Target: at most 50 ms for 300 rows.
#include "BenchHome.h"

#include "datasource/DataSource.h"
#include "pdf/PdfPrinter.h"
#include "printing/ProgramRun.h"
#include "settings/StoredSettings.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    constexpr int kRows = 300;
    QTemporaryDir dir;
    zlbench::writeSettings(dir.path(), zlbench::productsCsv(kRows), QStringLiteral("_"));
    std::vector<std::unique_ptr<zl::printer::Printer>> printers;
    printers.push_back(std::make_unique<zl::printer::PdfPrinter>(dir.path()));
    zl::printer::installPrinters(std::make_unique<zl::printer::OwnedPrinterCollection>(std::move(printers)));
    zl::printing::loadAdjustmentsIntoLabelFields();

    const zl::settings::StoredDataSource ds = zl::settings::readDataSource();
    const zl::datasource::DataSource source = zl::datasource::DataSource::open(ds.folder, ds.file);
    QList<zl::printing::RunRow> rows;
    for (int r = 0; r < kRows; ++r) {
        const QStringList f = source.fields(r, 4);
        zl::printing::RunRow row{r + 1, {}};
        for (int i = 0; i < 4; ++i)
            row.record.columns[i] = f.value(i);
        rows.append(row);
    }
    const zl::printing::RunContext context = *zl::printing::prepareRun({});
    const std::unique_ptr<zl::printer::Printer> printer = context.makePrinter();
    std::vector<double> ms;
    int problems = 0;
    for (int i = 0; i < 15; ++i) {
        QElapsedTimer t;
        t.start();
        const zl::printing::RunCheck check = zl::printing::checkRunRows(rows, context, printer.get());
        ms.push_back(t.nsecsElapsed() / 1e6);
        problems = int(check.prices.size() + check.warnings.size());
    }
    std::sort(ms.begin(), ms.end());
    const double median = ms[ms.size() / 2];
    std::printf("check before the first label, %d rows: median %.1f ms, fastest %.1f ms, slowest %.1f ms, "
                "%d findings (target <= 50 ms) %s\n",
                kRows, median, ms.front(), ms.back(), problems, median <= 50 ? "MET" : "MISSED");
    return median <= 50 ? 0 : 1;
}
