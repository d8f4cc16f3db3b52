#include "cups/platform/PrintSetupMapping.h"

#include "common/Failure.h"
#include "printer/PrinterSetup.h"
#include "cups/platform/CupsConnection.h"
#include "cups/platform/CupsPrinter.h"
#include "cups/platform/CupsRequests.h"

#include "common/Length.h"

#include <QPrinter>
#include <QPrinterInfo>
#include <cups/cups.h>

namespace zl::printer {

namespace {
QString handedInName(const PrintSetupRecords &records)
{
    return records.deviceName.isEmpty() ? devNamesEntry(records.devNames, records.devNames.wDeviceOffset)
                                        : records.deviceName;
}
} // namespace

void requireSchedulerAnswering()
{
    CupsConnection c;
    if (!c.http()) {
        if (c.timedOut())
            throw Failure(c.problem());
        return; // no scheduler at all: the dialog lists no queue and says so itself
    }
    ipp_t *response = cupsDoRequest(c.http(), ippNewRequest(IPP_OP_CUPS_GET_DEFAULT), "/");
    ippDelete(response);
    if (c.timedOut())
        throw Failure(c.problem());
    cupsAnswered();
}

void configureFromRecords(QPrinter &printer, const PrintSetupRecords &records)
{
    const QString name = handedInName(records);
    if (QPrinterInfo::availablePrinterNames().contains(name))
        printer.setPrinterName(name);
    const DevMode &dm = records.devMode;
    printer.setPageOrientation(dm.dmOrientation == 2 ? QPageLayout::Landscape : QPageLayout::Portrait);
    if (dm.dmColor == 1 || dm.dmColor == 2)
        printer.setColorMode(dm.dmColor == 2 ? QPrinter::Color : QPrinter::GrayScale);
    if (dm.dmDuplex >= 1 && dm.dmDuplex <= 3)
        printer.setDuplex(dm.dmDuplex == 2 ? QPrinter::DuplexLongSide
                                           : dm.dmDuplex == 3 ? QPrinter::DuplexShortSide : QPrinter::DuplexNone);
}

void readBackIntoRecords(const QPrinter &printer, PrintSetupRecords &records, const PropertiesChoice &properties)
{
    const QString before = handedInName(records);
    const QString chosen = printer.printerName();
    const bool sameQueue = chosen == before;
    Printer *target = findPrinter(chosen);
    DevMode &dm = records.devMode;

    if (!sameQueue) {
        setDevModeDeviceName(dm, chosen);
        fillDevNames(records.devNames, target ? target->driverName() : QString(), chosen,
                     target ? target->port() : QString());
        records.deviceName = chosen;
    }
    if (properties.shown) {
        const QPageSize size = printer.pageLayout().pageSize();
        const auto *queue = dynamic_cast<const CupsPrinter *>(target);
        const int code = queue ? queue->paperCodeForMedia(size.key()) : 0;
        dm.dmFields |= DM_PAPERSIZE;
        if (code) {
            dm.dmPaperSize = int16_t(code);
            dm.dmPaperWidth = dm.dmPaperLength = 0;
        } else {
            const QSizeF pt = size.size(QPageSize::Point);
            dm.dmPaperSize = kUserPaperSize;
            dm.dmPaperWidth = int16_t(tenthsMmFromTwips(Length::pt(pt.width()).wholeTwips()));
            dm.dmPaperLength = int16_t(tenthsMmFromTwips(Length::pt(pt.height()).wholeTwips()));
            dm.dmFields |= DM_PAPERWIDTH | DM_PAPERLENGTH;
        }
        QStringList options;
        for (auto it = properties.driverChoices.constBegin(); it != properties.driverChoices.constEnd(); ++it) {
            if (it.key() == QLatin1String("Resolution")) {
                if (const int dpi = dpiOf(it.value())) {
                    dm.dmPrintQuality = int16_t(dpi);
                    dm.dmFields |= DM_PRINTQUALITY;
                }
            } else if (it.key() != QLatin1String("PageSize") && it.key() != QLatin1String("PageRegion")) {
                options << it.key() + QLatin1Char('=') + it.value();
            }
        }
        records.driverOptions = options;
    } else if (!sameQueue && target) {
        // Another printer, its properties untouched: what is in force there.
        if (const auto paper = target->paperSize()) {
            dm.dmPaperSize = int16_t(*paper);
            dm.dmFields |= DM_PAPERSIZE;
            dm.dmPaperWidth = int16_t(tenthsMmFromTwips(target->pageWidthTwips().value_or(0)));
            dm.dmPaperLength = int16_t(tenthsMmFromTwips(target->pageHeightTwips().value_or(0)));
        }
        if (const auto quality = target->printQuality())
            dm.dmPrintQuality = int16_t(*quality);
        records.driverOptions = target->driverOptions();
    }
    if (properties.shown)
        dm.dmOrientation = printer.pageLayout().orientation() == QPageLayout::Landscape ? 2 : 1;
    dm.dmColor = printer.colorMode() == QPrinter::Color ? 2 : 1;
    switch (printer.duplex()) {
    case QPrinter::DuplexLongSide:
        dm.dmDuplex = 2;
        break;
    case QPrinter::DuplexShortSide:
        dm.dmDuplex = 3;
        break;
    default:
        dm.dmDuplex = 1;
    }
    dm.dmFields |= DM_ORIENTATION | DM_COLOR | DM_DUPLEX;
}

} // namespace zl::printer
