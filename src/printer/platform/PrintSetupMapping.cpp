#include "printer/platform/PrintSetupMapping.h"

#include "printer/PrinterSetup.h"

#include <QPrinter>
#include <QPrinterInfo>
#include <cstdlib>

namespace zl::printer {

namespace {
QPageSize pageSizeFromTwips(int w, int h, const QString &name = {})
{
    return QPageSize(QSizeF(w / 20.0, h / 20.0), QPageSize::Point, name, QPageSize::FuzzyMatch);
}

std::optional<QPageSize> pageSizeForCode(const Printer *printer, const DevMode &dm)
{
    if (dm.dmPaperSize == kUserPaperSize) {
        if (dm.dmPaperWidth <= 0 || dm.dmPaperLength <= 0)
            return std::nullopt;
        return pageSizeFromTwips(twipsFromTenthsMm(dm.dmPaperWidth), twipsFromTenthsMm(dm.dmPaperLength));
    }
    if (printer) {
        for (const PaperInfo &p : printer->papers()) {
            if (p.code == dm.dmPaperSize && p.code != kUserPaperSize)
                return pageSizeFromTwips(p.widthTwips, p.heightTwips, p.name);
        }
    }
    const QPageSize::PageSizeId id = QPageSize::id(dm.dmPaperSize);
    if (dm.dmPaperSize > 0 && id != QPageSize::Custom)
        return QPageSize(id);
    return std::nullopt;
}

bool sameSize(int aw, int ah, int bw, int bh)
{
    // Sizes travel through points, millimetres and twips; allow a point's slack.
    return std::abs(aw - bw) <= 20 && std::abs(ah - bh) <= 20;
}
} // namespace

void configureFromRecords(QPrinter &printer, const PrintSetupRecords &records)
{
    const QString name = devNamesEntry(records.devNames, records.devNames.wDeviceOffset);
    if (QPrinterInfo::availablePrinterNames().contains(name))
        printer.setPrinterName(name);
    const DevMode &dm = records.devMode;
    if (const auto size = pageSizeForCode(findPrinter(name), dm))
        printer.setPageSize(*size);
    printer.setPageOrientation(dm.dmOrientation == 2 ? QPageLayout::Landscape : QPageLayout::Portrait);
    if (dm.dmColor == 1 || dm.dmColor == 2)
        printer.setColorMode(dm.dmColor == 2 ? QPrinter::Color : QPrinter::GrayScale);
    if (dm.dmDuplex >= 1 && dm.dmDuplex <= 3)
        printer.setDuplex(dm.dmDuplex == 2 ? QPrinter::DuplexLongSide
                                           : dm.dmDuplex == 3 ? QPrinter::DuplexShortSide : QPrinter::DuplexNone);
}

void readBackIntoRecords(const QPrinter &printer, PrintSetupRecords &records)
{
    const PrintSetupRecords handedIn = records;
    const QString before = devNamesEntry(handedIn.devNames, handedIn.devNames.wDeviceOffset);
    const QString chosen = printer.printerName();
    const Printer *target = findPrinter(chosen);

    DevMode &dm = records.devMode;
    setDevModeDeviceName(dm, chosen);
    fillDevNames(records.devNames, target ? target->driverName() : QString(), chosen,
                 target ? target->port() : QString());

    const QSizeF pt = printer.pageLayout().pageSize().size(QPageSize::Point);
    const int w = qRound(pt.width() * 20), h = qRound(pt.height() * 20);
    const bool sameQueue = chosen.compare(before, Qt::CaseInsensitive) == 0;
    const QPageSize queueDefault = QPrinterInfo::printerInfo(chosen).defaultPageSize();
    const QSizeF defPt = queueDefault.size(QPageSize::Point);
    const bool reportsDefault = queueDefault.isValid()
        && sameSize(w, h, qRound(defPt.width() * 20), qRound(defPt.height() * 20));
    if (!(sameQueue && reportsDefault)) {
        int code = 0;
        if (target) {
            // A queue may list one size under two codes; the one handed in wins.
            const QList<PaperInfo> papers = target->papers();
            for (const PaperInfo &p : papers) {
                if (p.code != kUserPaperSize && sameSize(p.widthTwips, p.heightTwips, w, h)
                    && (code == 0 || (sameQueue && p.code == handedIn.devMode.dmPaperSize)))
                    code = p.code;
            }
        }
        dm.dmFields |= DM_PAPERSIZE;
        if (code) {
            dm.dmPaperSize = int16_t(code);
            dm.dmPaperWidth = dm.dmPaperLength = 0;
        } else {
            dm.dmPaperSize = kUserPaperSize;
            dm.dmPaperWidth = int16_t(tenthsMmFromTwips(w));
            dm.dmPaperLength = int16_t(tenthsMmFromTwips(h));
            dm.dmFields |= DM_PAPERWIDTH | DM_PAPERLENGTH;
        }
    }
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
