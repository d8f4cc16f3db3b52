#include "cups/platform/CupsPrinter.h"

#include "printer/PaperCodes.h"
#include "cups/platform/CupsConnection.h"
#include "cups/platform/CupsRequests.h"
#include "cups/platform/IppMediaDatabase.h"
#include "cups/platform/LpOptions.h"

#include "common/Length.h"

#include <QRegularExpression>
#include <algorithm>
#include <cups/cups.h>
#include <cups/ppd.h>
#include <unistd.h>

namespace zl::printer {

namespace {
constexpr int kFirstOwnPaperCode = 257;

const char *option(const cups_dest_t *dest, const char *name)
{
    return cupsGetOption(name, dest->num_options, dest->options);
}

// Whether a PPD's size is a continuous roll. A driver says so in the size's
// name: "62mm continuous" (or roll, endless), or a keyword that gives a
// width alone ("62mm", as the Brother QL and P-touch drivers name a
// continuous tape beside their die-cut "62x29mm"); its listed length is only
// where the driver would cut. It counts as a roll only where the driver
// takes custom sizes of its width, since each label is sent as a custom
// size as long as the label.
bool isRollOfDriver(const CupsPrinter::QueueSize &size, const CupsPrinter::QueueFacts &f)
{
    static const QRegularExpression says(QStringLiteral("\\b(continuous|roll|endless)\\b"),
                                         QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression widthAlone(QStringLiteral("^[0-9]+(\\.[0-9]+)?mm$"));
    if (!says.match(size.text).hasMatch() && !says.match(size.name).hasMatch()
        && !widthAlone.match(size.name).hasMatch())
        return false;
    constexpr double kSlackPoints = 0.5;
    return f.customSizes && size.points.width() >= f.customMin.width() - kSlackPoints
        && size.points.width() <= f.customMax.width() + kSlackPoints;
}

// What a PPD says; kept as a function of its own so the deprecation of the
// PPD interface stays in one place (CUPS' stock label drivers are PPDs).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
bool readPpd(http_t *http, const QString &queue, CupsPrinter::QueueFacts &f, QString &defaultPaperName)
{
    char path[1024] = "";
    time_t modified = 0;
    if (cupsGetPPD3(http, queue.toUtf8().constData(), &modified, path, sizeof path) != HTTP_STATUS_OK)
        return false;
    ppd_file_t *ppd = ppdOpenFile(path);
    unlink(path);
    if (!ppd)
        return false;
    ppdMarkDefaults(ppd);
    f.customSizes = ppd->variable_sizes != 0;
    if (f.customSizes) {
        f.customMin = QSizeF(ppd->custom_min[0], ppd->custom_min[1]);
        f.customMax = QSizeF(ppd->custom_max[0], ppd->custom_max[1]);
        // *HWMargins: left, bottom, right, top.
        f.customMargins = QMarginsF(ppd->custom_margins[0], ppd->custom_margins[3], ppd->custom_margins[2],
                                    ppd->custom_margins[1]);
    }
    const ppd_option_t *pageSize = ppdFindOption(ppd, "PageSize");
    for (int i = 0; i < ppd->num_sizes; ++i) {
        const ppd_size_t &s = ppd->sizes[i];
        if (qstrcmp(s.name, "Custom") == 0 || s.width <= 0 || s.length <= 0)
            continue;
        CupsPrinter::QueueSize size;
        size.name = QString::fromUtf8(s.name);
        const ppd_choice_t *choice = pageSize ? ppdFindChoice(const_cast<ppd_option_t *>(pageSize), s.name) : nullptr;
        size.text = choice ? QString::fromUtf8(choice->text) : size.name;
        size.points = QSizeF(s.width, s.length);
        size.printablePoints = QRectF(s.left, s.length - s.top, s.right - s.left, s.top - s.bottom);
        if (isRollOfDriver(size, f)) {
            size.roll = true;
            // Every page of a roll goes out as a custom size, which the
            // driver crops by its hardware margins, not by this size's area.
            size.printablePoints = QRectF(QPointF(0, 0), size.points).marginsRemoved(f.customMargins);
        }
        f.sizes << size;
    }
    if (pageSize)
        defaultPaperName = QString::fromUtf8(pageSize->defchoice);
    if (const ppd_option_t *res = ppdFindOption(ppd, "Resolution")) {
        for (int i = 0; i < res->num_choices; ++i) {
            const int dpi = dpiOf(QString::fromUtf8(res->choices[i].choice));
            if (dpi > 0 && !f.resolutions.contains(dpi)) {
                f.resolutions << dpi;
                f.resolutionChoices.insert(dpi, QString::fromUtf8(res->choices[i].choice));
            }
        }
        f.defaultResolution = dpiOf(QString::fromUtf8(res->defchoice));
    } else if (const ppd_attr_t *attr = ppdFindAttr(ppd, "DefaultResolution", nullptr)) {
        f.defaultResolution = dpiOf(QString::fromUtf8(attr->value));
        if (f.defaultResolution > 0)
            f.resolutions << f.defaultResolution;
    }
    f.colorDefault = ppd->color_device != 0;
    // A CUPS raster driver is handed the printable area only: its dots
    // start at that area's corner, not at the paper's.
    for (const char *filter : {"cupsFilter2", "cupsFilter"}) {
        for (ppd_attr_t *a = ppdFindAttr(ppd, filter, nullptr); a; a = ppdFindNextAttr(ppd, filter, nullptr)) {
            if (a->value && qstrncmp(a->value, "application/vnd.cups-raster ", 28) == 0)
                f.rasterFromPrintable = true;
        }
    }
    ppdClose(ppd);
    return true;
}
#pragma GCC diagnostic pop

// A queue without a PPD (driverless or remote IPP): its IPP attributes.
void readIpp(http_t *http, cups_dest_t *dest, CupsPrinter::QueueFacts &f, QString &defaultPaperName)
{
    cups_dinfo_t *info = cupsCopyDestInfo(http, dest);
    if (!info)
        return;
    ipp_attribute_t *database = cupsFindDestSupported(http, dest, info, "media-col-database");
    ipp_attribute_t *loaded = cupsFindDestDefault(http, dest, info, "media-col");
    const bool described = readMediaColDatabase(database, loaded, f, defaultPaperName);
    // A printer that names its sizes only (media-supported).
    const int count = described ? 0 : cupsGetDestMediaCount(http, dest, info, 0);
    for (int i = 0; i < count; ++i) {
        cups_size_t s;
        if (!cupsGetDestMediaByIndex(http, dest, info, i, 0, &s) || s.width <= 0 || s.length <= 0)
            continue;
        const double w = Length::hundredthsMm(s.width).pt(), h = Length::hundredthsMm(s.length).pt();
        CupsPrinter::QueueSize size;
        size.name = QString::fromUtf8(s.media);
        size.text = size.name;
        size.points = QSizeF(w, h);
        size.printablePoints = QRectF(Length::hundredthsMm(s.left).pt(), Length::hundredthsMm(s.top).pt(),
                                      w - Length::hundredthsMm(s.left + s.right).pt(),
                                      h - Length::hundredthsMm(s.top + s.bottom).pt());
        f.sizes << size;
    }
    cups_size_t def;
    if (defaultPaperName.isEmpty() && cupsGetDestMediaDefault(http, dest, info, 0, &def))
        defaultPaperName = QString::fromUtf8(def.media);
    if (ipp_attribute_t *res = cupsFindDestSupported(http, dest, info, "printer-resolution")) {
        for (int i = 0; i < ippGetCount(res); ++i) {
            int y = 0;
            ipp_res_t units;
            const int x = ippGetResolution(res, i, &y, &units);
            const int dpi = units == IPP_RES_PER_CM ? Length::dpiFromDotsPerCm(x) : x;
            if (dpi > 0 && !f.resolutions.contains(dpi))
                f.resolutions << dpi;
        }
    }
    if (ipp_attribute_t *res = cupsFindDestDefault(http, dest, info, "printer-resolution")) {
        int y = 0;
        ipp_res_t units;
        const int x = ippGetResolution(res, 0, &y, &units);
        f.defaultResolution = units == IPP_RES_PER_CM ? Length::dpiFromDotsPerCm(x) : x;
    }
    cupsFreeDestInfo(info);
}

// The code of the size a default or saved choice names. The PPD that CUPS
// makes for a driverless printer names its default "50x30mm" while listing
// "50x30mm.Borderless": a size whose name is the choice plus a variant
// word is that choice ("2x1.Borderless" for "2x1", never "2x1.25.Borderless").
int paperNamed(const CupsPrinter::QueueFacts &f, const QString &name)
{
    if (name.isEmpty())
        return 0;
    int variant = 0;
    for (int i = 0; i < f.sizes.size(); ++i) {
        if (f.sizes[i].name == name)
            return f.papers[i].code;
        const QString &listed = f.sizes[i].name;
        if (!variant && listed.size() > name.size() + 1 && listed.startsWith(name + QLatin1Char('.'))
            && std::all_of(listed.begin() + name.size() + 1, listed.end(), [](QChar c) { return c.isLetter(); }))
            variant = f.papers[i].code;
    }
    return variant;
}

// A default given by its dimensions is the stock loaded, on a queue that
// takes custom sizes: listed with the queue's sizes, so that it is the
// paper in force, shown, checked and sent like them. Taking the first listed
// size instead printed 40 x 30 mm labels as A4 pages.
void addCustomDefault(CupsPrinter::QueueFacts &f, const QString &name)
{
    QString text;
    const QSizeF points = CupsPrinter::customSizeNamed(name, &text);
    if (points.isEmpty() || !f.customSizes)
        return;
    for (const CupsPrinter::QueueSize &listed : f.sizes)
        if (listed.name == name)
            return;
    CupsPrinter::QueueSize size;
    size.name = name;
    size.text = text;
    size.points = points;
    size.printablePoints = QRectF(QPointF(0, 0), points).marginsRemoved(f.customMargins);
    size.custom = true;
    f.sizes << size;
}

} // namespace

QSizeF CupsPrinter::customSizeNamed(const QString &name, QString *text)
{
    // As CUPS reads it (ppdPageSize): a width and a length, then the unit
    // of both, points when none is given.
    static const QRegularExpression custom(
        QStringLiteral("^Custom\\.([0-9]*\\.?[0-9]+)x([0-9]*\\.?[0-9]+)(pt|mm|cm|in|ft|m)?$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = custom.match(name);
    if (!m.hasMatch())
        return {};
    static const QHash<QString, double> pointsPer{
        {QString(), 1},
        {QStringLiteral("pt"), 1},
        {QStringLiteral("mm"), Length::mm(1).pt()},
        {QStringLiteral("cm"), Length::mm(10).pt()},
        {QStringLiteral("m"), Length::mm(1000).pt()},
        {QStringLiteral("in"), Length::in(1).pt()},
        {QStringLiteral("ft"), Length::in(12).pt()},
    };
    const QString unit = m.captured(3).toLower();
    const double perUnit = pointsPer.value(unit);
    const QSizeF points(m.captured(1).toDouble() * perUnit, m.captured(2).toDouble() * perUnit);
    if (points.width() <= 0 || points.height() <= 0)
        return {};
    if (text)
        *text = QStringLiteral("%1 x %2 %3")
                    .arg(m.captured(1), m.captured(2), unit.isEmpty() ? QStringLiteral("pt") : unit);
    return points;
}

QList<PaperInfo> CupsPrinter::numberPapers(const QList<QueueSize> &sizes)
{
    QList<PaperInfo> list;
    QList<int> taken;
    int nextOwn = kFirstOwnPaperCode;
    for (const QueueSize &size : sizes) {
        int code = paperCodeForName(size.name);
        // A standard number listed twice keeps its first entry; the second
        // gets a number of its own.
        if (code <= 0 || taken.contains(code))
            code = nextOwn++;
        taken << code;
        list << PaperInfo{code, Length::pt(size.points.width()).wholeTwips(), Length::pt(size.points.height()).wholeTwips(),
                          size.text};
    }
    return list;
}

std::shared_ptr<const CupsPrinter::QueueFacts> CupsPrinter::askQueue(const QString &queue, bool evenWhenSilent)
{
    auto f = std::make_shared<QueueFacts>();
    // A scheduler that just ran out of time is not asked for every property
    // a run reads; the queue counts as one without a paper list until it
    // answers again.
    if (!evenWhenSilent && cupsRecentlySilent())
        return f;
    CupsConnection c;
    cups_dest_t *dest = c.http() ? cupsGetNamedDest(c.http(), queue.toUtf8().constData(), nullptr) : nullptr;
    if (!dest) {
        f->problem = c.problem();
        return f; // asked again next time: the scheduler may be back
    }
    cupsAnswered();
    f->answered = true;
    f->driver = utf8Text(option(dest, "printer-make-and-model"));
    f->port = utf8Text(option(dest, "device-uri"));
    QString defaultPaperName;
    f->hasPpd = readPpd(c.http(), queue, *f, defaultPaperName);
    if (!f->hasPpd)
        readIpp(c.http(), dest, *f, defaultPaperName);
    cupsFreeDests(1, dest);

    // The user's saved choices (lpoptions) come before the queue's defaults.
    for (const auto &[key, value] : LpOptions::savedOptions(queue)) {
        if (key == QLatin1String("Resolution") || key == QLatin1String("printer-resolution")) {
            if (const int dpi = dpiOf(value); f->resolutions.contains(dpi))
                f->defaultResolution = dpi;
        } else if (key == QLatin1String("media") || key == QLatin1String("PageSize")) {
            defaultPaperName = value.section(QLatin1Char(','), 0, 0);
        } else {
            f->savedOptions.append({key, value});
        }
    }
    addCustomDefault(*f, defaultPaperName);
    f->papers = numberPapers(f->sizes);
    if (!f->resolutions.isEmpty() && !f->resolutions.contains(f->defaultResolution))
        f->defaultResolution = f->resolutions.first();
    f->defaultPaper = paperNamed(*f, defaultPaperName);
    if (!f->defaultPaper && !f->papers.isEmpty())
        f->defaultPaper = f->papers.first().code;
    return f;
}

int CupsPrinter::paperCodeForMedia(const QString &name) const
{
    const auto f = facts();
    for (int i = 0; i < f->sizes.size(); ++i) {
        if (f->sizes[i].name == name)
            return f->papers[i].code;
    }
    return 0;
}

QString CupsPrinter::driverName() const
{
    return facts()->driver;
}

QString CupsPrinter::port() const
{
    return facts()->port;
}

QString CupsPrinter::printingNotice() const
{
    // No driver and no sizes of its own: a raw queue, which hands the PDF
    // to the device as it is.
    const auto f = facts();
    if (!f->answered || f->hasPpd || !f->sizes.isEmpty())
        return {};
    return QStringLiteral("プリンター「%1」はドライバーのない raw キューで、ラベルのPDFをそのままプリンターに送ります。"
                          "PDFを読めるプリンターにはこのまま印刷できますが、ZPL・EPL・DYMO などのラベルプリンターには"
                          "何も出ないか意味のない文字が出ます。ラベルプリンターには、ドライバーを指定したキュー"
                          "（lpadmin -m drv:///sample.drv/zebra.ppd など）か、LPrint で登録したプリンターを使ってください。")
        .arg(m_name);
}

} // namespace zl::printer
