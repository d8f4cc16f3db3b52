// How long the print position screen takes to show the label again after a
// slider step: the value change, the renderer drawing the first record, the
// preview picture and the widget's repaint. Target: under 16 ms (one frame).
#include "pdf/PdfPrinter.h"
#include "label/ui/LabelPreviewView.h"
#include "settings/Defaults.h"
#include "ui/Dialogs.h"
#include "ui/ScreenRegistry.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSlider>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
    qputenv("HOME", QFile::encodeName(home.path()));
    QApplication app(argc, argv);
    zl::settings::restoreDefaultTables(home.filePath(QStringLiteral("none"))); // the sample data
    std::vector<std::unique_ptr<zl::printer::Printer>> list;
    list.push_back(std::make_unique<zl::printer::PdfPrinter>(home.filePath(QStringLiteral("pdf"))));
    zl::printer::installPrinters(std::make_unique<zl::printer::OwnedPrinterCollection>(std::move(list)));
    QList<zl::ui::ShownMessage> messages;
    zl::ui::recordMessagesInto(&messages);
    zl::ui::registerAllScreens(zl::ui::ScreenRegistry::instance());
    QWidget *screen = zl::ui::ScreenRegistry::instance().show(QStringLiteral("Form13"));
    auto *view = screen ? screen->findChild<zl::ui::LabelPreviewView *>(QStringLiteral("LabelPreview")) : nullptr;
    if (screen)
        screen->show();
    app.processEvents();
    if (!view || view->preview().pages.isEmpty()) {
        std::printf("the print position screen shows no label\n");
        return 1;
    }
    const double pxPerMm = view->pxPerMm(); // one sheet; large downward shifts make two
    QList<double> ms;
    for (int step = 0; step < 200; ++step) {
        QSlider *slider = screen->findChild<QSlider *>(QStringLiteral("Slider%1").arg(step % 3 + 1));
        QElapsedTimer t;
        t.start();
        slider->setValue((step * 7) % 41 - 20);
        view->repaint();
        ms << t.nsecsElapsed() / 1e6;
    }
    std::sort(ms.begin(), ms.end());
    const double median = ms[ms.size() / 2], p95 = ms[ms.size() * 95 / 100], worst = ms.last();
    std::printf("preview redraw after a slider step: median %.2f ms, 95th percentile %.2f ms, worst %.2f ms "
                "(%d steps, %.1f px/mm, %dx%d px; target < 16 ms) %s\n",
                median, p95, worst, int(ms.size()), pxPerMm, view->width(), view->height(), p95 < 16 ? "MET" : "MISSED");
    return p95 < 16 ? 0 : 1;
}
