#include "cups/platform/CupsPrinter.h"

#include "cups/platform/IppMediaDatabase.h"
#include "cups/platform/LpOptions.h"

#include "common/Length.h"

#include <QPageSize>
#include <algorithm>

namespace zl::printer {

namespace {
constexpr int kUserPaperSizeCode = 256; // DMPAPER_USER

// Points to a hundredth, without trailing zeros.
QString pointsText(double points)
{
    QString text = QString::number(points, 'f', 2);
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}

bool isDriverDefault(const QString &name)
{
    // Sent from the printer's own choices instead.
    return name == QLatin1String("Resolution") || name == QLatin1String("printer-resolution")
        || name == QLatin1String("media") || name == QLatin1String("PageSize")
        || name == QLatin1String("PageRegion");
}
} // namespace

std::optional<int> CupsPrinter::paperSize() const
{
    return codeInForce(*facts());
}

bool CupsPrinter::setPaperSize(int code)
{
    const auto f = facts();
    const bool noList = f->sizes.isEmpty();
    if (code == kUserPaperSizeCode) {
        if (!f->customSizes && !noList)
            return false;
        if (m_settings.customWidthTwips <= 0 || m_settings.customHeightTwips <= 0) {
            // A new user-defined size is the label stock the paper list
            // shows for it, whatever paper was in use before.
            m_settings.customWidthTwips = Length::mm(kLayoutWidthMm).wholeTwips();
            m_settings.customHeightTwips = Length::mm(kLayoutHeightMm).wholeTwips();
        }
        m_settings.paper = code;
        return true;
    }
    for (const PaperInfo &p : f->papers) {
        if (p.code == code) {
            m_settings.paper = code;
            return true;
        }
    }
    // Without a paper list any standard size goes: the device is told
    // nothing and takes what it is sent.
    if (noList && code > 0 && code < kUserPaperSizeCode && QPageSize::id(code) != QPageSize::Custom) {
        m_settings.paper = code;
        return true;
    }
    return false;
}

bool CupsPrinter::setPageWidthTwips(int twips)
{
    if (paperSize() != kUserPaperSizeCode || twips <= 0)
        return false;
    m_settings.customWidthTwips = twips;
    if (m_settings.customHeightTwips <= 0)
        m_settings.customHeightTwips = Length::pt(currentPoints().height()).wholeTwips();
    return true;
}

bool CupsPrinter::setPageHeightTwips(int twips)
{
    if (paperSize() != kUserPaperSizeCode || twips <= 0)
        return false;
    m_settings.customHeightTwips = twips;
    if (m_settings.customWidthTwips <= 0)
        m_settings.customWidthTwips = Length::pt(currentPoints().width()).wholeTwips();
    return true;
}

bool CupsPrinter::setPaperBin(int bin)
{
    // Label printers have one source; the bin is kept for the saved settings.
    if (bin < 1 || bin > 15)
        return false;
    m_settings.bin = bin;
    return true;
}

std::optional<int> CupsPrinter::printQuality() const
{
    return qualityFor(*facts());
}

std::optional<int> CupsPrinter::qualityFor(const QueueFacts &f) const
{
    if (m_settings.quality && *m_settings.quality > 0)
        return m_settings.quality;
    if (m_settings.quality && !f.resolutions.isEmpty()) {
        // DMRES_HIGH (-4) .. DMRES_DRAFT (-1) pick from the queue's resolutions.
        const auto [low, high] = std::minmax_element(f.resolutions.begin(), f.resolutions.end());
        return *m_settings.quality <= -3 ? *high : *low;
    }
    if (f.defaultResolution > 0)
        return f.defaultResolution;
    return std::nullopt;
}

bool CupsPrinter::setPrintQuality(int quality)
{
    const QList<int> &res = facts()->resolutions;
    if ((quality < 0 && quality >= -4 && !res.isEmpty()) || (quality > 0 && res.contains(quality))) {
        m_settings.quality = quality;
        return true;
    }
    return false;
}

std::optional<int> CupsPrinter::colorMode() const
{
    if (m_settings.color)
        return m_settings.color;
    return facts()->colorDefault ? 2 : 1;
}

bool CupsPrinter::setColorMode(int mode)
{
    if (!isColorModeCode(mode))
        return false;
    m_settings.color = mode;
    return true;
}

std::optional<int> CupsPrinter::duplex() const
{
    return m_settings.duplex ? m_settings.duplex : std::optional<int>(facts()->duplexDefault);
}

bool CupsPrinter::setDuplex(int duplex)
{
    if (!isDuplexCode(duplex))
        return false;
    m_settings.duplex = duplex;
    return true;
}

bool CupsPrinter::setOrientation(int orientation)
{
    if (!isOrientationCode(orientation))
        return false;
    m_settings.orientation = orientation;
    return true;
}

bool CupsPrinter::setZoom(int percent)
{
    if (percent < 10 || percent > 400)
        return false;
    m_settings.zoom = percent;
    return true;
}

bool CupsPrinter::setDriverOptions(const QStringList &options)
{
    for (const QString &o : options) {
        if (!o.contains(QLatin1Char('=')) || o.startsWith(QLatin1Char('=')))
            return false;
    }
    m_settings.driverOptions = options;
    return true;
}

QList<PaperInfo> CupsPrinter::papers() const
{
    const auto f = facts();
    QList<PaperInfo> list = f->papers;
    if (f->customSizes || f->sizes.isEmpty()) {
        const bool custom = paperSize() == kUserPaperSizeCode;
        QSizeF pt = custom ? currentPoints() : labelStockPoints();
        if (const QueueSize *roll = rollOf(*f, f->defaultPaper); roll && !custom)
            pt.setWidth(roll->points.width());
        list << PaperInfo{kUserPaperSizeCode, Length::pt(pt.width()).wholeTwips(), Length::pt(pt.height()).wholeTwips(),
                          QStringLiteral("ユーザー定義サイズ")};
    }
    std::stable_sort(list.begin(), list.end(), [](const PaperInfo &a, const PaperInfo &b) { return a.code < b.code; });
    return list;
}

QList<std::pair<QString, QString>> CupsPrinter::jobOptions() const
{
    QList<std::pair<QString, QString>> options;
    const auto f = facts();
    const int code = codeInForce(*f);
    const bool roll = rollFor(*f, code) != nullptr;
    if (code == kUserPaperSizeCode || roll) {
        // A roll's page is always a custom size: the size the driver lists
        // for it has the driver's length, not the label's.
        if (f->customSizes || roll) {
            // Given as the driver's PageSize, which the scheduler passes on
            // as it is. A `media` size it would match to a listed size
            // within 5 points (a 62 x 30 mm page becomes the driver's
            // 62 x 29 mm labels), or else read into hundredths of a
            // millimetre and cut down to whole points (142 pt becomes 141).
            const QSizeF pt = sentPointsFor(*f, code);
            if (f->hasPpd)
                options.append({QStringLiteral("PageSize"),
                                QStringLiteral("Custom.%1x%2").arg(pointsText(pt.width()), pointsText(pt.height()))});
            else
                options.append({QStringLiteral("media"), customMediaName(pt)});
        }
    } else if (const QueueSize *size = sizeOf(*f, code); size && size->custom) {
        // As lp sends the queue's own default: the filters then make the
        // page the very dots lp's would be (320 x 240 for 40 x 30 mm at
        // 203 dpi), where whole points would lose a column.
        if (f->hasPpd)
            options.append({QStringLiteral("PageSize"), size->name});
        else
            options.append({QStringLiteral("media"), customMediaName(size->points)});
    } else if (size) {
        options.append({QStringLiteral("media"), size->name});
    }
    if (const auto dpi = qualityFor(*f); dpi && !f->resolutions.isEmpty()) {
        if (f->hasPpd)
            options.append({QStringLiteral("Resolution"),
                            f->resolutionChoices.value(*dpi, QStringLiteral("%1dpi").arg(*dpi))});
        else
            options.append({QStringLiteral("printer-resolution"), QStringLiteral("%1dpi").arg(*dpi)});
    }
    const int dup = duplex().value_or(1);
    options.append({QStringLiteral("sides"), dup == 2   ? QStringLiteral("two-sided-long-edge")
                                             : dup == 3 ? QStringLiteral("two-sided-short-edge")
                                                        : QStringLiteral("one-sided")});
    if (f->colorDefault || m_settings.color)
        options.append({QStringLiteral("print-color-mode"),
                        colorMode() == 2 ? QStringLiteral("color") : QStringLiteral("monochrome")});
    QStringList chosen;
    for (const QString &o : m_settings.driverOptions) {
        const QString key = o.section(QLatin1Char('='), 0, 0);
        if (isDriverDefault(key))
            continue;
        options.append({key, o.section(QLatin1Char('='), 1)});
        chosen << key;
    }
    for (const auto &[key, value] : f->savedOptions) {
        if (!chosen.contains(key) && !isDriverDefault(key))
            options.append({key, value});
    }
    return options;
}

bool CupsPrinter::makeUserDefault()
{
    LpOptions::Values options;
    for (const auto &[key, value] : jobOptions()) {
        if (key != QLatin1String("sides") && key != QLatin1String("print-color-mode"))
            options.append({key, value});
    }
    const bool saved = LpOptions::saveUserDefault(m_name, options);
    // The saved choices are now the queue's defaults for this user.
    forgetQueue();
    return saved;
}

} // namespace zl::printer
