#include "printer/platform/CupsPrinter.h"

#include "printer/PagePlayback.h"

#include "common/Failure.h"

#include <QPainter>
#include <QPrinterInfo>
#include <cups/cups.h>

namespace zl::printer {

namespace {
constexpr int kFirstOwnPaperCode = 257;

int twipsOf(double points)
{
    return qRound(points * 20.0);
}

PaperInfo infoFor(int code, const QPageSize &size)
{
    const QSizeF pt = size.definitionUnits() == QPageSize::Point ? size.definitionSize() : size.size(QPageSize::Point);
    return {code, twipsOf(pt.width()), twipsOf(pt.height()), size.name()};
}

// Windows bins 1..11 follow QPrinter's sources one place later; 14 and 15 are
// the cassette and the form source.
std::optional<QPrinter::PaperSource> sourceForBin(int bin)
{
    if (bin >= 1 && bin <= 11)
        return QPrinter::PaperSource(bin - 1);
    if (bin == 14)
        return QPrinter::Cassette;
    if (bin == 15)
        return QPrinter::FormSource;
    return std::nullopt;
}

bool installed(const QString &name)
{
    return QPrinterInfo::availablePrinterNames().contains(name);
}

QString deviceUri(const QString &queue)
{
    cups_dest_t *dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, queue.toUtf8().constData(), nullptr);
    if (!dest)
        return {};
    const char *uri = cupsGetOption("device-uri", dest->num_options, dest->options);
    const QString result = uri ? QString::fromUtf8(uri) : QString();
    cupsFreeDests(1, dest);
    return result;
}
} // namespace

CupsPrinter::CupsPrinter(QString queueName) : m_name(std::move(queueName)) {}

QList<PaperInfo> CupsPrinter::numberPapers(const QList<QPageSize> &queueSizes)
{
    QList<PaperInfo> list;
    QList<int> taken;
    int nextOwn = kFirstOwnPaperCode;
    for (const QPageSize &size : queueSizes) {
        int code = size.windowsId();
        // 256 is how Qt marks a size without a Windows number; a standard
        // number listed twice keeps its first entry and the second gets its own.
        if (code <= 0 || code >= 256 || taken.contains(code))
            code = nextOwn++;
        taken << code;
        list << infoFor(code, size);
    }
    return list;
}

std::shared_ptr<const CupsPrinter::QueueFacts> CupsPrinter::facts() const
{
    if (m_facts && !m_facts->papers.isEmpty())
        return m_facts;
    QueueFacts f;
    const QPrinterInfo info = QPrinterInfo::printerInfo(m_name);
    if (!info.isNull()) {
        f.sizes = info.supportedPageSizes();
        f.papers = numberPapers(f.sizes);
        f.customSizes = info.supportsCustomPageSizes();
        f.resolutions = info.supportedResolutions();
        f.defaultColor = info.defaultColorMode();
        f.defaultDuplex = info.defaultDuplexMode();
        f.driver = info.makeAndModel();
        const QPageSize def = info.defaultPageSize();
        for (int i = 0; i < f.sizes.size(); ++i) {
            if (f.sizes[i].isEquivalentTo(def)) {
                f.defaultPaper = f.papers[i].code;
                break;
            }
        }
        if (!f.resolutions.isEmpty())
            f.defaultResolution = f.resolutions.contains(300) ? 300 : f.resolutions.last();
        f.port = deviceUri(m_name);
    }
    // A queue that answered with no paper (the scheduler was down) is asked
    // again next time rather than remembered as having none.
    m_facts = std::make_shared<const QueueFacts>(std::move(f));
    return m_facts;
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
    if (const auto f = facts(); f->defaultPaper)
        return f->defaultPaper;
    return std::nullopt;
}

bool CupsPrinter::setPaperSize(int code)
{
    const auto f = facts();
    if (code == 256) {
        if (!f->customSizes)
            return false;
        if (m_customWidthTwips <= 0 || m_customHeightTwips <= 0) {
            // A new custom size starts from the paper in use.
            const QSizeF pt = currentPageSize().size(QPageSize::Point);
            m_customWidthTwips = twipsOf(pt.width());
            m_customHeightTwips = twipsOf(pt.height());
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
    return false;
}

QPageSize CupsPrinter::currentPageSize() const
{
    const auto f = facts();
    const int code = paperSize().value_or(0);
    if (code == 256 && m_customWidthTwips > 0 && m_customHeightTwips > 0)
        return QPageSize(QSizeF(m_customWidthTwips / 20.0, m_customHeightTwips / 20.0), QPageSize::Point,
                         QString(), QPageSize::ExactMatch);
    for (int i = 0; i < f->papers.size(); ++i) {
        if (f->papers[i].code == code)
            return f->sizes[i];
    }
    return QPageSize(QPageSize::A4);
}

std::optional<int> CupsPrinter::pageWidthTwips() const
{
    if (!paperSize())
        return std::nullopt;
    return twipsOf(currentPageSize().size(QPageSize::Point).width());
}

std::optional<int> CupsPrinter::pageHeightTwips() const
{
    if (!paperSize())
        return std::nullopt;
    return twipsOf(currentPageSize().size(QPageSize::Point).height());
}

bool CupsPrinter::setPageWidthTwips(int twips)
{
    if (paperSize() != 256 || twips <= 0)
        return false;
    m_customWidthTwips = twips;
    return true;
}

bool CupsPrinter::setPageHeightTwips(int twips)
{
    if (paperSize() != 256 || twips <= 0)
        return false;
    m_customHeightTwips = twips;
    return true;
}

bool CupsPrinter::setPaperBin(int bin)
{
    if (!sourceForBin(bin))
        return false;
    m_bin = bin;
    return true;
}

std::optional<int> CupsPrinter::printQuality() const
{
    if (m_quality)
        return m_quality;
    if (const auto f = facts(); f->defaultResolution)
        return f->defaultResolution;
    return std::nullopt;
}

bool CupsPrinter::setPrintQuality(int quality)
{
    const auto facts = this->facts();
    const QList<int> &res = facts->resolutions;
    // DMRES_HIGH (-4) .. DMRES_DRAFT (-1) pick from the queue's resolutions.
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
    return facts()->defaultColor == QPrinter::Color ? 2 : 1;
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
    if (m_duplex)
        return m_duplex;
    switch (facts()->defaultDuplex) {
    case QPrinter::DuplexLongSide:
        return 2;
    case QPrinter::DuplexShortSide:
        return 3;
    default:
        return 1;
    }
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

QList<PaperInfo> CupsPrinter::papers() const
{
    const auto f = facts();
    QList<PaperInfo> list = f->papers;
    if (f->customSizes) {
        const QSizeF pt = currentPageSize().size(QPageSize::Point);
        const bool custom = paperSize() == 256;
        list << PaperInfo{256, custom ? m_customWidthTwips : twipsOf(pt.width()),
                          custom ? m_customHeightTwips : twipsOf(pt.height()), QStringLiteral("Custom")};
    }
    std::stable_sort(list.begin(), list.end(), [](const PaperInfo &a, const PaperInfo &b) { return a.code < b.code; });
    return list;
}

void CupsPrinter::configure(QPrinter &printer) const
{
    printer.setPrinterName(m_name);
    printer.setPageSize(currentPageSize());
    printer.setPageOrientation(m_orientation == 2 ? QPageLayout::Landscape : QPageLayout::Portrait);
    printer.setColorMode(colorMode() == 2 ? QPrinter::Color : QPrinter::GrayScale);
    const int dup = duplex().value_or(1);
    printer.setDuplex(dup == 2 ? QPrinter::DuplexLongSide : dup == 3 ? QPrinter::DuplexShortSide : QPrinter::DuplexNone);
    if (const auto source = sourceForBin(m_bin))
        printer.setPaperSource(*source);
    const auto facts = this->facts();
    const QList<int> &res = facts->resolutions;
    if (const auto q = printQuality(); q && !res.isEmpty()) {
        if (*q > 0)
            printer.setResolution(*q);
        else
            printer.setResolution(*q <= -3 ? res.last() : res.first());
    }
}

PageGeometry CupsPrinter::pageGeometry() const
{
    QPrinter printer(QPrinter::HighResolution);
    if (installed(m_name))
        configure(printer);
    else
        printer.setPageSize(currentPageSize());
    const QPageLayout layout = printer.pageLayout();
    PageGeometry g;
    g.paperMm = layout.fullRect(QPageLayout::Millimeter).size();
    g.printableMm = layout.paintRect(QPageLayout::Millimeter);
    g.dpi = printer.resolution();
    return g;
}

void CupsPrinter::printDocument(const QList<QPicture> &pages)
{
    if (pages.isEmpty())
        return;
    // Qt quietly picks another queue for a name that is not installed.
    if (!installed(m_name))
        throw Failure(QStringLiteral("プリンター「%1」が見つかりません。印刷システム(CUPS)が動いているか、"
                                     "プリンターが削除されていないか確認してください。")
                          .arg(m_name));
    QPrinter printer(QPrinter::HighResolution);
    configure(printer);
    printer.setDocName(QStringLiteral("Zenlabo"));
    QPainter painter;
    if (!painter.begin(&printer))
        throw Failure(QStringLiteral("プリンター「%1」で印刷を始められません。印刷システム(CUPS)が動いているか確認してください。")
                          .arg(m_name));
    const double scale = printer.resolution() / 25.4 * (m_zoom / 100.0);
    for (int i = 0; i < pages.size(); ++i) {
        if (i > 0 && !printer.newPage()) {
            painter.end();
            throw Failure(QStringLiteral("プリンター「%1」で次のページを始められません。").arg(m_name));
        }
        // The painter's origin is the printable area's top-left corner.
        playPage(painter, pages[i], QPointF(0, 0), scale);
    }
    if (!painter.end() || printer.printerState() == QPrinter::Error)
        throw Failure(QStringLiteral("プリンター「%1」に印刷データを送れませんでした。").arg(m_name));
}

} // namespace zl::printer
