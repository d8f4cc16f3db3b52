#include "printer/PrinterSetup.h"

#include "common/Failure.h"
#include "printer/PrinterNews.h"

namespace zl::printer {

namespace {
SavedPrinterSettings &saved()
{
    // The process's: what the setup dialog saved stands for every screen and run.
    static SavedPrinterSettings s;
    return s;
}

std::unique_ptr<PrintSetupDialog> &dialog()
{
    // Installed once by the program's shell (or a test) for every screen.
    static std::unique_ptr<PrintSetupDialog> d;
    return d;
}

Printer *requireCurrent()
{
    Printer *p = currentPrinter();
    if (!p)
        throw Failure(QStringLiteral("使用できるプリンターがありません。プリンターがインストールされているか確認してください。"));
    return p;
}

int16_t required(std::optional<int> value, const QString &what)
{
    if (!value)
        throw Failure(QStringLiteral("プリンターの%1を読み取れません。").arg(what));
    return int16_t(*value);
}
} // namespace

void installPrintSetupDialog(std::unique_ptr<PrintSetupDialog> d)
{
    dialog() = std::move(d);
}

PrintSetupDialog *printSetupDialog()
{
    return dialog().get();
}

bool useLayoutPaper(const QString &paperCode)
{
    Printer *p = currentPrinter();
    return p && useLayoutPaper(paperCode, *p);
}

bool useLayoutPaper(const QString &paperCode, Printer &p)
{
    bool ok = false;
    const int code = paperCode.trimmed().toInt(&ok);
    if (!ok || code <= 0)
        return false;
    for (const PaperInfo &paper : p.papers()) {
        if (paper.code == code)
            return p.setPaperSize(code);
    }
    return false;
}

const SavedPrinterSettings &savedPrinterSettings()
{
    return saved();
}

void clearSavedPrinterSettings()
{
    saved() = {};
}

Printer *findPrinter(const QString &deviceName)
{
    PrinterCollection *all = printers();
    if (!all)
        return nullptr;
    if (Printer *own = all->builtIn(); own && own->deviceName().compare(deviceName, Qt::CaseInsensitive) == 0)
        return own;
    for (Printer *p : all->printers()) {
        if (p->deviceName().compare(deviceName, Qt::CaseInsensitive) == 0)
            return p;
    }
    return nullptr;
}

void SavePrinterSettings()
{
    Printer *p = requireCurrent();
    SavedPrinterSettings s;
    s.deviceName = p->deviceName();
    s.paperSize = required(p->paperSize(), QStringLiteral("用紙サイズ"));
    s.orientation = required(p->orientation(), QStringLiteral("印刷の向き"));
    s.paperBin = required(p->paperBin(), QStringLiteral("給紙方法"));
    saved() = s;
}

bool ApplyPrinterSettings(const QString &deviceName, int16_t paperSize, int16_t orientation, int16_t paperBin)
{
    if (Printer *match = findPrinter(deviceName))
        printers()->setCurrent(match);
    Printer *p = requireCurrent();
    // A refused value leaves the printer as it was; the caller saves what it
    // actually holds afterwards.
    p->setPaperSize(paperSize);
    p->setOrientation(orientation);
    p->setPaperBin(paperBin);
    return p->deviceName().compare(deviceName, Qt::CaseInsensitive) == 0;
}

bool RestorePrinterSettings()
{
    const SavedPrinterSettings s = saved();
    return ApplyPrinterSettings(s.deviceName, s.paperSize, s.orientation, s.paperBin);
}

PrintSetupRecords buildPrintSetupRecords(const Printer *p)
{
    PrintSetupRecords r;
    DevMode &dm = r.devMode;
    dm.dmSize = sizeof(DevMode);
    if (!p)
        return r;
    setDevModeDeviceName(dm, p->deviceName());
    fillDevNames(r.devNames, p->driverName(), p->deviceName(), p->port());
    r.deviceName = p->deviceName();
    r.driverOptions = p->driverOptions();

    if (const auto paper = p->paperSize()) {
        dm.dmFields |= DM_PAPERSIZE;
        dm.dmPaperSize = int16_t(*paper);
        if (*paper == kUserPaperSize) {
            dm.dmFields |= DM_PAPERLENGTH | DM_PAPERWIDTH;
            dm.dmPaperWidth = int16_t(tenthsMmFromTwips(p->pageWidthTwips().value_or(0)));
            dm.dmPaperLength = int16_t(tenthsMmFromTwips(p->pageHeightTwips().value_or(0)));
        }
    }
    const auto take = [&dm](std::optional<int> value, int16_t &field, uint32_t flag) {
        if (value) {
            field = int16_t(*value);
            dm.dmFields |= flag;
        }
    };
    take(p->paperBin(), dm.dmDefaultSource, DM_DEFAULTSOURCE);
    take(p->printQuality(), dm.dmPrintQuality, DM_PRINTQUALITY);
    take(p->colorMode(), dm.dmColor, DM_COLOR);
    take(p->duplex(), dm.dmDuplex, DM_DUPLEX);
    take(p->orientation(), dm.dmOrientation, DM_ORIENTATION);
    take(p->zoom(), dm.dmScale, DM_SCALE);
    return r;
}

SetupResult runPrinterSetup(uint32_t flags, QWidget *owner)
{
    PrintSetupRecords records = buildPrintSetupRecords(currentPrinter());
    PrintSetupDialog *d = printSetupDialog();
    if (!d || !d->run(records, flags, owner))
        return SetupResult::Cancelled;
    // Applied as confirmed, with what the chosen queue offers.
    const WaitingAllowed applying;

    const DevMode &dm = records.devMode;
    // The exact name when the dialog gave one: the names record is ANSI and
    // cannot carry every queue name.
    const QString named = devNamesEntry(records.devNames, records.devNames.wDeviceOffset);
    DevNames exact{};
    fillDevNames(exact, QString(), records.deviceName, QString());
    const QString chosen = !records.deviceName.isEmpty() && devNamesEntry(exact, exact.wDeviceOffset) == named
        ? records.deviceName
        : named;
    Printer *match = findPrinter(chosen);
    // Never print on another printer than the one the operator confirmed.
    if (!match)
        return SetupResult::PrinterNotFound;
    printers()->setCurrent(match);

    Printer *p = currentPrinter();
    bool paperOk = p != nullptr;
    if (p) {
        if (dm.dmPaperSize == kUserPaperSize) {
            paperOk = p->setPaperSize(kUserPaperSize);
            paperOk = p->setPageWidthTwips(twipsFromTenthsMm(dm.dmPaperWidth)) && paperOk;
            paperOk = p->setPageHeightTwips(twipsFromTenthsMm(dm.dmPaperLength)) && paperOk;
        } else {
            paperOk = p->setPaperSize(dm.dmPaperSize);
        }
    }
    if (p) {
        p->setPaperBin(dm.dmDefaultSource);
        p->setPrintQuality(dm.dmPrintQuality);
        p->setColorMode(dm.dmColor);
        p->setDuplex(dm.dmDuplex);
        p->setOrientation(dm.dmOrientation);
        p->setZoom(dm.dmScale);
        p->setDriverOptions(records.driverOptions);
    }
    PrinterInForceNews::instance().tell();
    return paperOk ? SetupResult::Confirmed : SetupResult::ConfirmedPaperRefused;
}

} // namespace zl::printer
