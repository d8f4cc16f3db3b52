#include "printer/platform/CupsPrinter.h"

#include "printer/PagePlayback.h"
#include "printer/PaperCodes.h"
#include "printer/platform/CupsConnection.h"

#include "common/Failure.h"

#include <QBuffer>
#include <algorithm>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QThread>
#include <cups/cups.h>
#include <cups/ppd.h>
#include <unistd.h>

namespace zl::printer {

namespace {
constexpr int kFirstOwnPaperCode = 257;
constexpr int kUserPaperSizeCode = 256; // DMPAPER_USER
constexpr double kTwipsPerPoint = 20.0;
// The label stock the layout is drawn for: what a queue without a paper
// list (a raw queue) prints on until another paper is chosen.
constexpr double kLabelWidthMm = 50, kLabelHeightMm = 30;
// A raw queue passes the document to the device untouched, so nothing tells
// which resolution the device has; bars are laid out for this one.
constexpr int kRawQueueDpi = 300;

int twipsOf(double points)
{
    return qRound(points * kTwipsPerPoint);
}

double pointsOfMm(double mm)
{
    return mm * 72.0 / 25.4;
}

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

int dpiOf(const QString &text)
{
    // "203dpi", "300x300dpi": the first number is across the paper.
    int i = 0;
    while (i < text.size() && text.at(i).isDigit())
        ++i;
    return text.left(i).toInt();
}

const char *option(const cups_dest_t *dest, const char *name)
{
    return cupsGetOption(name, dest->num_options, dest->options);
}

QString text(const char *value)
{
    return value ? QString::fromUtf8(value) : QString();
}

bool isDriverDefault(const QString &name)
{
    // Sent from the printer's own choices instead.
    return name == QLatin1String("Resolution") || name == QLatin1String("printer-resolution")
        || name == QLatin1String("media") || name == QLatin1String("PageSize")
        || name == QLatin1String("PageRegion");
}

// What a PPD says; kept as a function of its own so the deprecation of the
// PPD interface stays in one place (CUPS' stock label drivers are PPDs).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
bool readPpd(http_t *http, const QString &queue, CupsPrinter::QueueFacts &f, QHash<int, QString> &resolutionChoices,
             QString &defaultPaperName)
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
        f.sizes << size;
    }
    f.customSizes = ppd->variable_sizes != 0;
    if (pageSize)
        defaultPaperName = QString::fromUtf8(pageSize->defchoice);
    if (const ppd_option_t *res = ppdFindOption(ppd, "Resolution")) {
        for (int i = 0; i < res->num_choices; ++i) {
            const int dpi = dpiOf(QString::fromUtf8(res->choices[i].choice));
            if (dpi > 0 && !f.resolutions.contains(dpi)) {
                f.resolutions << dpi;
                resolutionChoices.insert(dpi, QString::fromUtf8(res->choices[i].choice));
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
    const int count = cupsGetDestMediaCount(http, dest, info, 0);
    for (int i = 0; i < count; ++i) {
        cups_size_t s;
        if (!cupsGetDestMediaByIndex(http, dest, info, i, 0, &s) || s.width <= 0 || s.length <= 0)
            continue;
        const double w = s.width * 72.0 / 2540, h = s.length * 72.0 / 2540;
        CupsPrinter::QueueSize size;
        size.name = QString::fromUtf8(s.media);
        size.text = size.name;
        size.points = QSizeF(w, h);
        size.printablePoints = QRectF(s.left * 72.0 / 2540, s.top * 72.0 / 2540, w - (s.left + s.right) * 72.0 / 2540,
                                      h - (s.top + s.bottom) * 72.0 / 2540);
        f.sizes << size;
    }
    cups_size_t def;
    if (cupsGetDestMediaDefault(http, dest, info, 0, &def))
        defaultPaperName = QString::fromUtf8(def.media);
    if (ipp_attribute_t *res = cupsFindDestSupported(http, dest, info, "printer-resolution")) {
        for (int i = 0; i < ippGetCount(res); ++i) {
            int y = 0;
            ipp_res_t units;
            const int x = ippGetResolution(res, i, &y, &units);
            const int dpi = units == IPP_RES_PER_CM ? qRound(x * 2.54) : x;
            if (dpi > 0 && !f.resolutions.contains(dpi))
                f.resolutions << dpi;
        }
    }
    if (ipp_attribute_t *res = cupsFindDestDefault(http, dest, info, "printer-resolution")) {
        int y = 0;
        ipp_res_t units;
        const int x = ippGetResolution(res, 0, &y, &units);
        f.defaultResolution = units == IPP_RES_PER_CM ? qRound(x * 2.54) : x;
    }
    cupsFreeDestInfo(info);
}

// The resolution choices of the PPD of each queue, by dpi, for the
// Resolution option (a PPD may call 300 dpi "300x300dpi").
QHash<QString, QHash<int, QString>> &resolutionNames()
{
    static QHash<QString, QHash<int, QString>> names;
    return names;
}

// A question the run's cancel cut short is no failure: Cancelled is thrown instead.
QString jobFailure(const QString &queue, const QString &what, CupsConnection &c)
{
    c.throwIfAbandoned();
    if (c.timedOut() || !c.http())
        return QStringLiteral("プリンター「%1」%2。%3").arg(queue, what, c.problem());
    return QStringLiteral("プリンター「%1」%2（%3）。プリンターが削除されていないか、CUPSの状態を確認してください。")
        .arg(queue, what, QString::fromUtf8(cupsLastErrorString()));
}

// Get-Printer-Attributes for one queue, as this user.
ipp_t *printerAttributesRequest(const QString &queue)
{
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(), "/printers/%s",
                     queue.toUtf8().constData());
    ipp_t *request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    return request;
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

// Qt writes a page's size in whole points. CUPS fits a page larger than
// the paper onto it, so 50 x 30 mm (141.73 x 85.04 pt) written as 142 x 85
// is shrunk and no bar stays on the dot grid. The exact size is put in its
// place, padded to the same length so the file's offsets stay right.
void exactMediaBox(QByteArray &pdf, QSizeF points)
{
    const QByteArray key = "/MediaBox [";
    for (int at = pdf.indexOf(key); at >= 0; at = pdf.indexOf(key, at + key.size())) {
        const int start = at + int(key.size());
        const int end = pdf.indexOf(']', start);
        if (end < 0)
            return;
        QByteArray box = "0 0 " + QByteArray::number(points.width(), 'f', 4) + ' '
            + QByteArray::number(points.height(), 'f', 4);
        if (box.size() > end - start)
            continue;
        pdf.replace(start, end - start, box.leftJustified(end - start, ' '));
    }
}

} // namespace

QList<std::pair<QString, QString>> savedQueueOptions(const QString &queue)
{
    // The system's defaults first, then the user's own file, which wins;
    // the same files and order lp reads.
    QList<std::pair<QString, QString>> options;
    const QString home = QDir::homePath();
    for (const QString &file : {QStringLiteral("/etc/cups/lpoptions"), home + QStringLiteral("/.cups/lpoptions")}) {
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly))
            continue;
        while (!f.atEnd()) {
            const QByteArray line = f.readLine().trimmed();
            const int space = line.indexOf(' ');
            if (space < 0)
                continue;
            const QByteArray kind = line.left(space).toLower();
            if (kind != "dest" && kind != "default")
                continue;
            QByteArray rest = line.mid(space + 1).trimmed();
            const int end = rest.indexOf(' ');
            const QString name = QString::fromUtf8(end < 0 ? rest : rest.left(end));
            if (name != queue)
                continue;
            cups_option_t *parsed = nullptr;
            const int n = cupsParseOptions(end < 0 ? "" : rest.mid(end + 1).constData(), 0, &parsed);
            for (int i = 0; i < n; ++i) {
                const QString key = QString::fromUtf8(parsed[i].name);
                options.erase(std::remove_if(options.begin(), options.end(),
                                             [&key](const auto &o) { return o.first == key; }),
                              options.end());
                options.append({key, QString::fromUtf8(parsed[i].value)});
            }
            cupsFreeOptions(n, parsed);
        }
    }
    return options;
}

QString savedDefaultQueue()
{
    QString queue;
    for (const QString &file : {QStringLiteral("/etc/cups/lpoptions"), QDir::homePath() + QStringLiteral("/.cups/lpoptions")}) {
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly))
            continue;
        while (!f.atEnd()) {
            const QString line = QString::fromUtf8(f.readLine()).trimmed();
            if (line.section(QLatin1Char(' '), 0, 0).compare(QLatin1String("Default"), Qt::CaseInsensitive) == 0)
                queue = line.section(QLatin1Char(' '), 1, 1).section(QLatin1Char('/'), 0, 0);
        }
    }
    return queue;
}

CupsPrinter::CupsPrinter(QString queueName) : m_name(std::move(queueName)) {}

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
        list << PaperInfo{code, twipsOf(size.points.width()), twipsOf(size.points.height()), size.text};
    }
    return list;
}

std::shared_ptr<const CupsPrinter::QueueFacts> CupsPrinter::facts() const
{
    if (m_facts)
        return m_facts;
    auto f = std::make_shared<QueueFacts>();
    // A scheduler that just ran out of time is not asked for every property
    // a screen reads; the queue counts as one without a paper list until it
    // answers again.
    if (cupsRecentlySilent())
        return f;
    CupsConnection c;
    cups_dest_t *dest = c.http() ? cupsGetNamedDest(c.http(), m_name.toUtf8().constData(), nullptr) : nullptr;
    if (!dest)
        return f; // asked again next time: the scheduler may be back
    cupsAnswered();
    f->answered = true;
    f->driver = text(option(dest, "printer-make-and-model"));
    f->port = text(option(dest, "device-uri"));
    QHash<int, QString> resolutionChoices;
    QString defaultPaperName;
    f->hasPpd = readPpd(c.http(), m_name, *f, resolutionChoices, defaultPaperName);
    if (!f->hasPpd)
        readIpp(c.http(), dest, *f, defaultPaperName);
    cupsFreeDests(1, dest);
    resolutionNames().insert(m_name, resolutionChoices);

    f->papers = numberPapers(f->sizes);
    // The user's saved choices (lpoptions) come before the queue's defaults.
    for (const auto &[key, value] : savedQueueOptions(m_name)) {
        if (key == QLatin1String("Resolution") || key == QLatin1String("printer-resolution")) {
            if (const int dpi = dpiOf(value); f->resolutions.contains(dpi))
                f->defaultResolution = dpi;
        } else if (key == QLatin1String("media") || key == QLatin1String("PageSize")) {
            defaultPaperName = value.section(QLatin1Char(','), 0, 0);
        } else {
            f->savedOptions.append({key, value});
        }
    }
    if (!f->resolutions.isEmpty() && !f->resolutions.contains(f->defaultResolution))
        f->defaultResolution = f->resolutions.first();
    f->defaultPaper = paperNamed(*f, defaultPaperName);
    if (!f->defaultPaper && !f->papers.isEmpty())
        f->defaultPaper = f->papers.first().code;
    m_facts = f;
    return m_facts;
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

std::optional<int> CupsPrinter::paperSize() const
{
    if (m_paper)
        return m_paper;
    const auto f = facts();
    if (f->defaultPaper)
        return f->defaultPaper;
    // No paper list (a raw queue, or the scheduler did not answer): the
    // label stock, as a user-defined size.
    return kUserPaperSizeCode;
}

bool CupsPrinter::setPaperSize(int code)
{
    const auto f = facts();
    const bool noList = f->sizes.isEmpty();
    if (code == kUserPaperSizeCode) {
        if (!f->customSizes && !noList)
            return false;
        if (m_customWidthTwips <= 0 || m_customHeightTwips <= 0) {
            // A new user-defined size is the label stock the paper list
            // shows for it, whatever paper was in use before.
            m_customWidthTwips = twipsOf(pointsOfMm(kLabelWidthMm));
            m_customHeightTwips = twipsOf(pointsOfMm(kLabelHeightMm));
        }
        m_paper = code;
        return true;
    }
    for (const PaperInfo &p : f->papers) {
        if (p.code == code) {
            m_paper = code;
            return true;
        }
    }
    // Without a paper list any standard size goes: the device is told
    // nothing and takes what it is sent.
    if (noList && code > 0 && code < kUserPaperSizeCode && QPageSize::id(code) != QPageSize::Custom) {
        m_paper = code;
        return true;
    }
    return false;
}

const CupsPrinter::QueueSize *CupsPrinter::currentSize() const
{
    const auto f = facts();
    const int code = paperSize().value_or(0);
    for (int i = 0; i < f->papers.size(); ++i) {
        if (f->papers[i].code == code)
            return &f->sizes[i];
    }
    return nullptr;
}

QSizeF CupsPrinter::sentPoints() const
{
    QSizeF pt = currentPoints();
    const auto dpi = printQuality();
    if (paperSize() != kUserPaperSizeCode || !facts()->customSizes || !dpi || *dpi <= 0)
        return pt;
    // A user-defined width is made a whole number of the head's dots (to
    // the next hundredth of a point, which the filters cut down to the
    // dot): a page that ends part way into a dot is placed on the raster
    // off the dot grid, and every bar gains a dot.
    const double dots = std::round(pt.width() * *dpi / 72.0);
    pt.setWidth(std::ceil(dots * 72.0 / *dpi * 100.0) / 100.0);
    return pt;
}

QSizeF CupsPrinter::currentPoints() const
{
    const int code = paperSize().value_or(0);
    if (code == kUserPaperSizeCode) {
        if (m_customWidthTwips > 0 && m_customHeightTwips > 0)
            return QSizeF(m_customWidthTwips / kTwipsPerPoint, m_customHeightTwips / kTwipsPerPoint);
        return QSizeF(pointsOfMm(kLabelWidthMm), pointsOfMm(kLabelHeightMm));
    }
    if (const QueueSize *size = currentSize())
        return size->points;
    if (QPageSize::id(code) != QPageSize::Custom)
        return QPageSize(QPageSize::id(code)).size(QPageSize::Point);
    return QSizeF(pointsOfMm(kLabelWidthMm), pointsOfMm(kLabelHeightMm));
}

std::optional<int> CupsPrinter::pageWidthTwips() const
{
    return twipsOf(currentPoints().width());
}

std::optional<int> CupsPrinter::pageHeightTwips() const
{
    return twipsOf(currentPoints().height());
}

bool CupsPrinter::setPageWidthTwips(int twips)
{
    if (paperSize() != kUserPaperSizeCode || twips <= 0)
        return false;
    m_customWidthTwips = twips;
    if (m_customHeightTwips <= 0)
        m_customHeightTwips = twipsOf(currentPoints().height());
    return true;
}

bool CupsPrinter::setPageHeightTwips(int twips)
{
    if (paperSize() != kUserPaperSizeCode || twips <= 0)
        return false;
    m_customHeightTwips = twips;
    if (m_customWidthTwips <= 0)
        m_customWidthTwips = twipsOf(currentPoints().width());
    return true;
}

bool CupsPrinter::setPaperBin(int bin)
{
    // Label printers have one source; the bin is kept for the saved settings.
    if (bin < 1 || bin > 15)
        return false;
    m_bin = bin;
    return true;
}

std::optional<int> CupsPrinter::printQuality() const
{
    const auto f = facts();
    if (m_quality && *m_quality > 0)
        return m_quality;
    if (m_quality && !f->resolutions.isEmpty()) {
        // DMRES_HIGH (-4) .. DMRES_DRAFT (-1) pick from the queue's resolutions.
        const auto [low, high] = std::minmax_element(f->resolutions.begin(), f->resolutions.end());
        return *m_quality <= -3 ? *high : *low;
    }
    if (f->defaultResolution > 0)
        return f->defaultResolution;
    return std::nullopt;
}

bool CupsPrinter::setPrintQuality(int quality)
{
    const QList<int> &res = facts()->resolutions;
    if ((quality < 0 && quality >= -4 && !res.isEmpty()) || (quality > 0 && res.contains(quality))) {
        m_quality = quality;
        return true;
    }
    return false;
}

std::optional<int> CupsPrinter::colorMode() const
{
    if (m_color)
        return m_color;
    return facts()->colorDefault ? 2 : 1;
}

bool CupsPrinter::setColorMode(int mode)
{
    if (mode != 1 && mode != 2)
        return false;
    m_color = mode;
    return true;
}

std::optional<int> CupsPrinter::duplex() const
{
    return m_duplex ? m_duplex : std::optional<int>(facts()->duplexDefault);
}

bool CupsPrinter::setDuplex(int duplex)
{
    if (duplex < 1 || duplex > 3)
        return false;
    m_duplex = duplex;
    return true;
}

bool CupsPrinter::setOrientation(int orientation)
{
    if (orientation != 1 && orientation != 2)
        return false;
    m_orientation = orientation;
    return true;
}

bool CupsPrinter::setZoom(int percent)
{
    if (percent < 10 || percent > 400)
        return false;
    m_zoom = percent;
    return true;
}

bool CupsPrinter::setDriverOptions(const QStringList &options)
{
    for (const QString &o : options) {
        if (!o.contains(QLatin1Char('=')) || o.startsWith(QLatin1Char('=')))
            return false;
    }
    m_driverOptions = options;
    return true;
}

QList<PaperInfo> CupsPrinter::papers() const
{
    const auto f = facts();
    QList<PaperInfo> list = f->papers;
    if (f->customSizes || f->sizes.isEmpty()) {
        const bool custom = paperSize() == kUserPaperSizeCode;
        const QSizeF pt = custom ? currentPoints() : QSizeF(pointsOfMm(kLabelWidthMm), pointsOfMm(kLabelHeightMm));
        list << PaperInfo{kUserPaperSizeCode, twipsOf(pt.width()), twipsOf(pt.height()), QStringLiteral("ユーザー定義サイズ")};
    }
    std::stable_sort(list.begin(), list.end(), [](const PaperInfo &a, const PaperInfo &b) { return a.code < b.code; });
    return list;
}

PageGeometry CupsPrinter::pageGeometry() const
{
    const QSizeF pt = currentPoints();
    QRectF printable(QPointF(0, 0), pt);
    if (const QueueSize *size = currentSize(); size && paperSize() != kUserPaperSizeCode)
        printable = size->printablePoints;
    const double mmPerPoint = 25.4 / 72.0;
    PageGeometry g;
    g.paperMm = pt * mmPerPoint;
    g.printableMm = QRectF(printable.topLeft() * mmPerPoint, printable.size() * mmPerPoint);
    if (m_orientation == 2) {
        g.paperMm.transpose();
        g.printableMm = QRectF(g.printableMm.top(), g.printableMm.left(), g.printableMm.height(), g.printableMm.width());
    }
    if (facts()->rasterFromPrintable)
        g.dotGridOriginMm = g.printableMm.topLeft();
    g.barInsetDots = 0.4;
    g.dpi = printQuality().value_or(kRawQueueDpi);
    return g;
}

QByteArray CupsPrinter::renderPdf(const QList<QPicture> &pages) const
{
    const PageGeometry g = pageGeometry();
    QByteArray pdf;
    QBuffer buffer(&pdf);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setCreator(QStringLiteral("Zenlabo"));
    writer.setResolution(g.dpi);
    writer.setPageLayout(QPageLayout(QPageSize(g.paperMm, QPageSize::Millimeter, QString(), QPageSize::ExactMatch),
                                     QPageLayout::Portrait, QMarginsF(), QPageLayout::Millimeter));
    QPainter painter;
    if (!painter.begin(&writer))
        throw Failure(QStringLiteral("プリンター「%1」の印刷データを作れません。").arg(m_name));
    const double unitsPerMm = writer.resolution() / 25.4 * (m_zoom / 100.0);
    for (int i = 0; i < pages.size(); ++i) {
        if (i > 0)
            writer.newPage();
        // The page is the whole paper, rasterised from its corner; the
        // label starts at the printable area.
        playPage(painter, pages[i], g.printableMm.topLeft() * (100.0 / m_zoom), unitsPerMm);
    }
    painter.end();
    QSizeF sent = sentPoints();
    if (m_orientation == 2)
        sent.transpose();
    exactMediaBox(pdf, sent);
    return pdf;
}

QList<std::pair<QString, QString>> CupsPrinter::jobOptions() const
{
    QList<std::pair<QString, QString>> options;
    const auto f = facts();
    if (paperSize() == kUserPaperSizeCode) {
        if (f->customSizes) {
            // Exact points, not whole ones: 50 x 30 mm sent as 142 x 85 pt
            // becomes a 141 x 84 pt page, two dots short at 203 dpi. (The
            // filters take "Custom.50x30mm" for a queue's default size.)
            const QSizeF pt = sentPoints();
            options.append({QStringLiteral("media"), QStringLiteral("Custom.%1x%2").arg(pointsText(pt.width()), pointsText(pt.height()))});
        }
    } else if (const QueueSize *size = currentSize()) {
        options.append({QStringLiteral("media"), size->name});
    }
    if (const auto dpi = printQuality(); dpi && !f->resolutions.isEmpty()) {
        if (f->hasPpd)
            options.append({QStringLiteral("Resolution"),
                            resolutionNames().value(m_name).value(*dpi, QStringLiteral("%1dpi").arg(*dpi))});
        else
            options.append({QStringLiteral("printer-resolution"), QStringLiteral("%1dpi").arg(*dpi)});
    }
    const int dup = duplex().value_or(1);
    options.append({QStringLiteral("sides"), dup == 2   ? QStringLiteral("two-sided-long-edge")
                                             : dup == 3 ? QStringLiteral("two-sided-short-edge")
                                                        : QStringLiteral("one-sided")});
    if (f->colorDefault || m_color)
        options.append({QStringLiteral("print-color-mode"),
                        colorMode() == 2 ? QStringLiteral("color") : QStringLiteral("monochrome")});
    QStringList chosen;
    for (const QString &o : m_driverOptions) {
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

void CupsPrinter::checkQueue(CupsConnection &c, bool forNewJobs)
{
    // Asked often, so only the three facts wanted: the whole destination
    // (cupsGetNamedDest) costs a few milliseconds more.
    ipp_t *request = printerAttributesRequest(m_name);
    static const char *const wanted[] = {"printer-state", "printer-is-accepting-jobs", "printer-state-message"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 3, nullptr, wanted);
    ipp_t *response = cupsDoRequest(c.http(), request, "/");
    if (!response || ippGetStatusCode(response) > IPP_STATUS_OK_EVENTS_COMPLETE) {
        const bool notFound = response && ippGetStatusCode(response) == IPP_STATUS_ERROR_NOT_FOUND;
        ippDelete(response);
        if (!notFound)
            throw Failure(jobFailure(m_name, QStringLiteral("に印刷できません"), c));
        throw Failure(QStringLiteral("プリンター「%1」が見つかりません。削除されたか名前が変わった可能性があります。"
                                     "「プリンター/用紙設定」でプリンターを選び直してください。")
                          .arg(m_name));
    }
    cupsAnswered();
    ipp_attribute_t *state = ippFindAttribute(response, "printer-state", IPP_TAG_ENUM);
    ipp_attribute_t *accepting = ippFindAttribute(response, "printer-is-accepting-jobs", IPP_TAG_BOOLEAN);
    ipp_attribute_t *message = ippFindAttribute(response, "printer-state-message", IPP_TAG_TEXT);
    const bool stopped = state && ippGetInteger(state, 0) == IPP_PSTATE_STOPPED;
    const bool refusing = accepting && !ippGetBoolean(accepting, 0);
    QString why = message ? text(ippGetString(message, 0, nullptr)) : QString();
    ippDelete(response);
    why = why.isEmpty() ? QString() : QStringLiteral("（%1）").arg(why);
    if (stopped)
        throw Failure(QStringLiteral("プリンター「%1」は停止しています%2。プリンターの電源と用紙を確認し、CUPSで"
                                     "プリンターを再開してから（cupsenable %1）、もう一度印刷してください。")
                          .arg(m_name, why));
    // A queue that refuses new jobs still prints those it holds.
    if (refusing && forNewJobs)
        throw Failure(QStringLiteral("プリンター「%1」は印刷ジョブを受け付けていません%2。CUPSで受け付けを再開してから"
                                     "（cupsaccept %1）、もう一度印刷してください。")
                          .arg(m_name, why));
}

namespace {

// A printer's or a job's reasons (printer-state-reasons, job-state-reasons)
// in the words of the shop floor; keywords without a known meaning are kept.
QString reasonsInWords(const QStringList &keywords)
{
    static const struct {
        const char *keyword;
        const char *words;
    } known[] = {
        {"media-empty", "用紙切れ"},
        {"media-needed", "用紙切れ"},
        {"media-jam", "紙詰まり"},
        {"media-low", "用紙残りわずか"},
        {"offline", "プリンターがオフライン"},
        {"shutdown", "プリンターの電源が切れています"},
        {"timed-out", "プリンターが応答しません"},
        {"connecting-to-device", "プリンターに接続できません"},
        {"paused", "プリンターが一時停止中"},
        {"door-open", "カバーが開いています"},
        {"cover-open", "カバーが開いています"},
        {"marker-supply-empty", "リボン・インク切れ"},
        {"toner-empty", "トナー切れ"},
        {"printer-stopped", "プリンターが停止しています"},
        {"job-canceled-by-user", "利用者が取り消しました"},
        {"job-canceled-by-operator", "管理者が取り消しました"},
        {"job-canceled-at-device", "プリンターが取り消しました"},
        {"aborted-by-system", "印刷システムが中止しました"},
        {"document-format-error", "プリンターが印刷データを扱えません"},
        {"document-unprintable-error", "プリンターが印刷データを扱えません"},
        {"job-data-insufficient", "印刷データが届いていません"},
    };
    QStringList words;
    for (QString k : keywords) {
        for (const char *suffix : {"-error", "-warning", "-report"})
            if (k.endsWith(QLatin1String(suffix)))
                k.chop(int(qstrlen(suffix)));
        if (k.isEmpty() || k == QLatin1String("none") || k.startsWith(QLatin1String("job-incoming"))
            || k.startsWith(QLatin1String("job-printing")) || k.startsWith(QLatin1String("job-completed"))
            || k == QLatin1String("processing-to-stop-point") || k == QLatin1String("job-queued"))
            continue;
        QString w = k;
        for (const auto &entry : known)
            if (k == QLatin1String(entry.keyword))
                w = QString::fromUtf8(entry.words);
        if (!words.contains(w))
            words << w;
    }
    return words.join(QStringLiteral("、"));
}

QStringList keywordsOf(ipp_attribute_t *a)
{
    QStringList list;
    for (int i = 0; a && i < ippGetCount(a); ++i)
        list << QString::fromUtf8(ippGetString(a, i, nullptr));
    return list;
}

// A job's id and how far it got, as Get-Jobs lists it.
struct JobState {
    int id = 0;
    int state = 0;
    QStringList reasons;
    QString message;
};

constexpr int kJobsCheckedEvery = 16; // labels between two looks at the run's jobs

} // namespace

QString CupsPrinter::printerProblem(CupsConnection &c)
{
    try {
        checkQueue(c, false);
    } catch (const Cancelled &) {
        throw;
    } catch (const Failure &f) {
        return f.description();
    }
    return {};
}

void CupsPrinter::updateJobs(CupsConnection &c)
{
    int first = 0, last = 0;
    for (const RunJob &j : m_runJobs)
        if (!j.ended) {
            first = first ? qMin(first, j.id) : j.id;
            last = qMax(last, j.id);
        }
    if (!first)
        return;
    // Every queue's jobs from the run's first unfinished one: a queue
    // deleted mid-run no longer lists its own.
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(), "/");
    ipp_t *request = ippNewRequest(IPP_OP_GET_JOBS);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "all");
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "first-job-id", first);
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "limit", last - first + 1);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    static const char *const wanted[] = {"job-id", "job-state", "job-state-reasons", "job-printer-state-message"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 4, nullptr, wanted);
    ipp_t *response = cupsDoRequest(c.http(), request, "/");
    if (!response || ippGetStatusCode(response) > IPP_STATUS_OK_EVENTS_COMPLETE) {
        ippDelete(response);
        throw Failure(jobFailure(m_name, QStringLiteral("の印刷ジョブの状態が分かりません"), c));
    }
    cupsAnswered();
    QList<JobState> jobs{JobState{}};
    for (ipp_attribute_t *a = ippFirstAttribute(response); a; a = ippNextAttribute(response)) {
        const char *name = ippGetName(a);
        if (!name)
            jobs.append(JobState{});
        else if (qstrcmp(name, "job-id") == 0)
            jobs.last().id = ippGetInteger(a, 0);
        else if (qstrcmp(name, "job-state") == 0)
            jobs.last().state = ippGetInteger(a, 0);
        else if (qstrcmp(name, "job-state-reasons") == 0)
            jobs.last().reasons = keywordsOf(a);
        else if (qstrcmp(name, "job-printer-state-message") == 0)
            jobs.last().message = text(ippGetString(a, 0, nullptr));
    }
    ippDelete(response);
    // A job no longer listed is gone with its queue (deleted mid-run): it
    // ended without printing.
    for (RunJob &j : m_runJobs) {
        if (j.ended || j.id < first || j.id > last)
            continue;
        if (std::none_of(jobs.begin(), jobs.end(), [&](const JobState &js) { return js.id == j.id; })) {
            j.ended = true;
            if (!j.cancelledByRun && m_jobsProblem.isEmpty())
                m_jobsProblem = QStringLiteral("プリンター「%1」のラベル（ジョブ番号 %2）が印刷されないまま消えました。"
                                               "プリンターが削除されていないか、CUPSで確かめてください。")
                                    .arg(m_name)
                                    .arg(j.id);
        }
    }
    for (const JobState &js : jobs) {
        for (RunJob &j : m_runJobs) {
            if (j.id != js.id || j.ended || js.state < IPP_JSTATE_STOPPED)
                continue;
            // A stopped job waits for the queue to be restarted: it is the
            // queue's state, judged with the printer's.
            if (js.state == IPP_JSTATE_STOPPED)
                continue;
            j.ended = true;
            j.printed = js.state == IPP_JSTATE_COMPLETED;
            if (!j.printed && !j.cancelledByRun && m_jobsProblem.isEmpty()) {
                QString why = reasonsInWords(js.reasons);
                const QString printerWhy = stalledReasons(c);
                if (!printerWhy.isEmpty())
                    why = why.isEmpty() ? printerWhy.mid(1, printerWhy.size() - 2)
                                        : why + QStringLiteral("、") + printerWhy.mid(1, printerWhy.size() - 2);
                if (!js.message.isEmpty() && !why.contains(js.message))
                    why = why.isEmpty() ? js.message : why + QStringLiteral("、") + js.message;
                m_jobsProblem = QStringLiteral("プリンター「%1」でラベルが印刷されませんでした（ジョブ番号 %2 を%3%4）。"
                                               "プリンターの用紙と状態を確かめてから、続きを印刷してください。")
                                    .arg(m_name)
                                    .arg(j.id)
                                    .arg(js.state == IPP_JSTATE_CANCELED ? QStringLiteral("取り消しました")
                                                                         : QStringLiteral("中止しました"))
                                    .arg(why.isEmpty() ? QString() : QStringLiteral(": %1").arg(why));
            }
        }
    }
}

void CupsPrinter::cancelUnfinishedJobs(CupsConnection &c)
{
    const QByteArray queue = m_name.toUtf8();
    for (RunJob &j : m_runJobs) {
        if (j.ended || j.cancelledByRun)
            continue;
        // IPP Cancel-Job: the job leaves the queue, or stops at the printer
        // if it is being printed.
        cupsCancelJob2(c.http(), queue.constData(), j.id, 0);
        c.throwIfAbandoned(); // asked again, by the cancel's own connection
        j.cancelledByRun = true;
        if (c.timedOut())
            throw Failure(jobFailure(m_name, QStringLiteral("の印刷ジョブを取り消せません"), c));
    }
}

void CupsPrinter::beginRun()
{
    m_runJobs.clear();
    m_jobsProblem.clear();
}

void CupsPrinter::printDocument(const QList<QPicture> &pages)
{
    if (pages.isEmpty())
        return;
    const QByteArray pdf = renderPdf(pages);

    // Its first question is checkQueue's own request, under the time limit.
    CupsConnection c(false);
    if (!c.http())
        throw Failure(jobFailure(m_name, QStringLiteral("に印刷できません"), c));
    // Nothing is sent to a queue that will not print it; a run's jobs are
    // looked at every few labels, so that a printer that fails stops the
    // sending soon without a question to the scheduler for every label.
    if (m_runJobs.size() % kJobsCheckedEvery == 0) {
        checkQueue(c);
        updateJobs(c);
        if (!m_jobsProblem.isEmpty())
            throw Failure(m_jobsProblem);
    }

    cups_option_t *options = nullptr;
    int count = 0;
    for (const auto &[key, value] : jobOptions())
        count = cupsAddOption(key.toUtf8().constData(), value.toUtf8().constData(), count, &options);
    // Submitted straight to the scheduler, as lp does: a queue that is not
    // there is refused by name, never swapped for another.
    const QByteArray queue = m_name.toUtf8();
    // A Create-Job the cancel cuts short leaves at most a job without a
    // document, which the scheduler never prints.
    const int job = cupsCreateJob(c.http(), queue.constData(), "Zenlabo", count, options);
    cupsFreeOptions(count, options);
    if (job <= 0)
        throw Failure(jobFailure(m_name, QStringLiteral("で印刷を始められません"), c));
    // Once the job has its number, a cancel that cuts the sending short
    // leaves it to the run, counted as sent: the run's cancel takes it back,
    // and should it have printed all the same, it is counted as printed.
    auto leftToTheRunsCancel = [&] {
        if (!c.abandoned())
            return false;
        m_runJobs.append(RunJob{job});
        return true;
    };
    if (cupsStartDocument(c.http(), queue.constData(), job, "label", CUPS_FORMAT_PDF, 1) != HTTP_STATUS_CONTINUE
        || cupsWriteRequestData(c.http(), pdf.constData(), size_t(pdf.size())) != HTTP_STATUS_CONTINUE) {
        if (leftToTheRunsCancel())
            return;
        const Failure f(jobFailure(m_name, QStringLiteral("に印刷データを送れませんでした"), c));
        if (!c.timedOut()) {
            cupsFinishDocument(c.http(), queue.constData());
            cupsCancelJob2(c.http(), queue.constData(), job, 0);
        }
        throw f;
    }
    if (cupsFinishDocument(c.http(), queue.constData()) != IPP_STATUS_OK) {
        if (leftToTheRunsCancel())
            return;
        throw Failure(jobFailure(m_name, QStringLiteral("に印刷データを送れませんでした"), c));
    }
    cupsAnswered();
    m_runJobs.append(RunJob{job});
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

bool CupsPrinter::makeUserDefault()
{
    // The user's own lpoptions file, written here rather than through
    // cupsSetDests: run as root, that one rewrites the system-wide file.
    const QString folder = QDir::homePath() + QStringLiteral("/.cups");
    const QString path = folder + QStringLiteral("/lpoptions");
    QList<std::pair<QString, QString>> mine;
    QStringList kept;
    QFile in(path);
    if (in.open(QIODevice::ReadOnly)) {
        while (!in.atEnd()) {
            QString line = QString::fromUtf8(in.readLine()).trimmed();
            const QString kind = line.section(QLatin1Char(' '), 0, 0).toLower();
            const QString name = line.section(QLatin1Char(' '), 1, 1);
            if ((kind == QLatin1String("dest") || kind == QLatin1String("default")) && name == m_name)
                continue;
            if (kind == QLatin1String("default"))
                line = QStringLiteral("Dest") + line.mid(7);
            if (!line.isEmpty())
                kept << line;
        }
        in.close();
    }
    QStringList options;
    for (const auto &[key, value] : jobOptions()) {
        if (key == QLatin1String("sides") || key == QLatin1String("print-color-mode"))
            continue;
        // Values with spaces are quoted as lpoptions quotes them.
        options << (value.contains(QLatin1Char(' ')) ? QStringLiteral("%1=\"%2\"").arg(key, value)
                                                     : key + QLatin1Char('=') + value);
    }
    kept << QStringLiteral("Default %1 %2").arg(m_name, options.join(QLatin1Char(' '))).trimmed();
    if (!QDir().mkpath(folder))
        return false;
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray bytes = (kept.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
    const bool written = out.write(bytes) == bytes.size() && out.flush();
    out.close();
    // The saved choices are now the queue's defaults for this user.
    m_facts.reset();
    return written && out.error() == QFileDevice::NoError;
}

DocumentsEnd CupsPrinter::finishDocuments(const DocumentsWait &wait)
{
    DocumentsEnd end;
    end.known = true;
    auto tally = [&] {
        end.printed.clear();
        int ended = 0;
        for (const RunJob &j : m_runJobs) {
            end.printed << j.printed;
            ended += j.ended ? 1 : 0;
        }
        return ended;
    };
    if (m_runJobs.isEmpty())
        return end;
    // Until the operator cancels, a question in progress is given up for
    // the cancel; from then on the questions carry it out and are answered.
    auto cancelAsked = [&] { return wait.cancel && wait.cancel(); };
    std::unique_ptr<CupsConnection> connection;
    auto connect = [&] {
        connection = std::make_unique<CupsConnection>(true, cancelAsked() ? OnRunCancel::GoOn : OnRunCancel::GiveUp);
        if (!connection->http() && !connection->abandoned())
            throw Failure(jobFailure(m_name, QStringLiteral("の印刷ジョブの状態が分かりません"), *connection));
    };
    connect();
    QElapsedTimer sinceProgress, sincePrinterAsked;
    sinceProgress.start();
    sincePrinterAsked.start();
    int endedBefore = -1;
    for (;;) {
        try {
            CupsConnection &c = *connection;
            c.throwIfAbandoned();
            if (cancelAsked())
                cancelUnfinishedJobs(c);
            updateJobs(c);
            const int ended = tally();
            if (ended != endedBefore) {
                endedBefore = ended;
                sinceProgress.restart();
            }
            if (wait.progress)
                wait.progress(int(m_runJobs.size()), ended, int(end.printed.count(true)));
            if (ended == m_runJobs.size())
                break;
            // A printer that fails, stops or prints nothing for a long
            // while ends the run: the jobs it still holds are taken back, so
            // that what the run reports is what came out.
            QString problem = m_jobsProblem;
            if (problem.isEmpty() && sincePrinterAsked.elapsed() >= 1000) {
                sincePrinterAsked.restart();
                problem = printerProblem(c);
            }
            if (problem.isEmpty() && sinceProgress.elapsed() >= kJobsStallSeconds * 1000)
                problem = QStringLiteral("プリンター「%1」が%2秒の間ラベルを1枚も印刷しませんでした%3。残りのラベルは取り消しました。"
                                         "プリンターの電源、接続と用紙を確かめてから、続きを印刷してください。")
                              .arg(m_name)
                              .arg(kJobsStallSeconds)
                              .arg(stalledReasons(c));
            if (!problem.isEmpty()) {
                if (m_jobsProblem.isEmpty())
                    m_jobsProblem = problem;
                cancelUnfinishedJobs(c);
                // Jobs the scheduler neither ends nor lets go are not
                // waited for without end: they did not print.
                if (sinceProgress.elapsed() >= kJobsStallSeconds * 1000 + 10000) {
                    for (RunJob &j : m_runJobs)
                        j.ended = true;
                    break;
                }
            }
        } catch (const Cancelled &) {
            // The cancel came while the scheduler was being asked: it is
            // carried out on a connection of its own.
            connect();
            continue;
        }
        QThread::msleep(50);
    }
    end.problem = m_jobsProblem;
    return end;
}

QString CupsPrinter::stalledReasons(CupsConnection &c)
{
    ipp_t *request = printerAttributesRequest(m_name);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "printer-state-reasons");
    ipp_t *response = cupsDoRequest(c.http(), request, "/");
    const QString why = response ? reasonsInWords(keywordsOf(ippFindAttribute(response, "printer-state-reasons", IPP_TAG_KEYWORD)))
                                 : QString();
    ippDelete(response);
    return why.isEmpty() ? QString() : QStringLiteral("（%1）").arg(why);
}

} // namespace zl::printer
