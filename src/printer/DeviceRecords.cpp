#include "printer/DeviceRecords.h"

#include "common/Cp932.h"
#include "common/Length.h"

#include <QtMath>
#include <algorithm>
#include <cstring>

namespace zl::printer {

namespace {
// The ANSI form of a name. A character CP932 cannot carry becomes '?', as the
// ANSI conversion of the system does.
QByteArray ansi(const QString &text)
{
    if (auto bytes = cp932::encode(text))
        return *bytes;
    QByteArray out;
    for (const QChar c : text)
        out += cp932::encode(QString(c)).value_or(QByteArray("?"));
    return out;
}

// The length of bytes cut to at most max bytes without splitting a
// double-byte character.
int cutLength(const QByteArray &bytes, int max)
{
    int i = 0;
    while (i < bytes.size()) {
        const auto b = uchar(bytes[i]);
        const bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
        const int len = lead && i + 1 < bytes.size() ? 2 : 1;
        if (i + len > max)
            break;
        i += len;
    }
    return i;
}
} // namespace

QString devModeDeviceName(const DevMode &dm)
{
    const char *begin = dm.dmDeviceName;
    const char *end = std::find(begin, begin + sizeof dm.dmDeviceName, '\0');
    return cp932::decode(QByteArray(begin, int(end - begin)));
}

void setDevModeDeviceName(DevMode &dm, const QString &name)
{
    std::memset(dm.dmDeviceName, 0, sizeof dm.dmDeviceName);
    const QByteArray bytes = ansi(name);
    std::memcpy(dm.dmDeviceName, bytes.constData(), size_t(cutLength(bytes, int(sizeof dm.dmDeviceName))));
}

void fillDevNames(DevNames &dn, const QString &driver, const QString &device, const QString &port)
{
    const QByteArray d = ansi(driver), n = ansi(device), p = ansi(port);
    const auto offset = [](int value) { return uint16_t(std::min(value, 0xFFFF)); };
    dn.wDriverOffset = 8;
    dn.wDeviceOffset = offset(dn.wDriverOffset + d.size() + 1);
    dn.wOutputOffset = offset(dn.wDeviceOffset + n.size() + 1);
    dn.wDefault = 0;
    QByteArray area = d + '\0' + n + '\0' + p + '\0';
    area.truncate(int(sizeof dn.names));
    std::memset(dn.names, 0, sizeof dn.names);
    std::memcpy(dn.names, area.constData(), size_t(area.size()));
}

QString devNamesEntry(const DevNames &dn, uint16_t offset)
{
    const int start = int(offset) - 8;
    if (start < 0 || start >= int(sizeof dn.names))
        return {};
    const char *begin = dn.names + start;
    const char *end = std::find(begin, dn.names + sizeof dn.names, '\0');
    return cp932::decode(QByteArray(begin, int(end - begin)));
}

int tenthsMmFromTwips(int twips)
{
    return qRound(twips / Length::kStoredTwipsPerTenthMm);
}

int twipsFromTenthsMm(int tenths)
{
    return qRound(tenths * Length::kStoredTwipsPerTenthMm);
}

} // namespace zl::printer
