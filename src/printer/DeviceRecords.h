#pragma once
// The records the print-setup dialog is handed and hands back, laid out as
// the published ANSI DEVMODE (124 bytes) and DEVNAMES (264 bytes) so that a
// dialog written against them reads the same bytes here as on Windows.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>

namespace zl::printer {

enum DevModeField : uint32_t {
    DM_ORIENTATION = 0x1,
    DM_PAPERSIZE = 0x2,
    DM_PAPERLENGTH = 0x4,
    DM_PAPERWIDTH = 0x8,
    DM_SCALE = 0x10,
    DM_COPIES = 0x100,
    DM_DEFAULTSOURCE = 0x200,
    DM_PRINTQUALITY = 0x400,
    DM_COLOR = 0x800,
    DM_DUPLEX = 0x1000,
};

// Print-setup dialog flags.
enum PrintDialogFlag : uint32_t {
    PD_NOSELECTION = 0x4,
    PD_NOPAGENUMS = 0x8,
    PD_PRINTSETUP = 0x40,
    PD_HIDEPRINTTOFILE = 0x100000,
    PD_USEDEVMODECOPIESANDCOLLATE = 0x40000,
};

constexpr int kUserPaperSize = 256; // DMPAPER_USER

struct DevMode {
    char dmDeviceName[32];
    uint16_t dmSpecVersion;
    uint16_t dmDriverVersion;
    uint16_t dmSize;
    uint16_t dmDriverExtra;
    uint32_t dmFields;
    int16_t dmOrientation;
    int16_t dmPaperSize;
    int16_t dmPaperLength; // tenths of a millimetre
    int16_t dmPaperWidth;  // tenths of a millimetre
    int16_t dmScale;
    int16_t dmCopies;
    int16_t dmDefaultSource;
    int16_t dmPrintQuality;
    int16_t dmColor;
    int16_t dmDuplex;
    int16_t dmYResolution;
    int16_t dmTTOption;
    int16_t dmCollate;
    char dmFormName[32];
    uint16_t dmLogPixels;
    uint32_t dmBitsPerPel;
    uint32_t dmPelsWidth;
    uint32_t dmPelsHeight;
    uint32_t dmDisplayFlags;
    uint32_t dmDisplayFrequency;
};
static_assert(sizeof(DevMode) == 124, "DEVMODE (ANSI) is 124 bytes");

struct DevNames {
    uint16_t wDriverOffset;
    uint16_t wDeviceOffset;
    uint16_t wOutputOffset;
    uint16_t wDefault;
    char names[256];
};
static_assert(sizeof(DevNames) == 264, "DEVNAMES with its name area is 264 bytes");

struct PrintSetupRecords {
    DevMode devMode{};
    DevNames devNames{};
    // The device's name exactly as installed: the ANSI records cannot carry
    // every queue name (CUPS names are UTF-8), so the printer is found by this
    // one when it is set.
    QString deviceName;
    // The driver's own options the dialog shows ("name=value").
    QStringList driverOptions;
};

// The device name as the record carries it: the 32-byte field up to its first NUL.
QString devModeDeviceName(const DevMode &dm);
// Writes a name into the 32-byte field, cut at a character boundary.
void setDevModeDeviceName(DevMode &dm, const QString &name);

// Fills the names record: driver, device and port, each ended by a NUL,
// cut to the 256 bytes of the area; the offsets count from the record's start.
void fillDevNames(DevNames &dn, const QString &driver, const QString &device, const QString &port);
// The name starting at one of the record's offsets, up to the first NUL or
// the end of the area. An offset outside the area gives an empty name.
QString devNamesEntry(const DevNames &dn, uint16_t offset);

// Paper sizes: the record carries tenths of a millimetre, the printer twips.
int tenthsMmFromTwips(int twips);
int twipsFromTenthsMm(int tenths);

} // namespace zl::printer
