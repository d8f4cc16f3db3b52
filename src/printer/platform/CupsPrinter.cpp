#include "printer/platform/CupsPrinter.h"

#include "printer/PagePlayback.h"

#include "common/Failure.h"

#include <QBuffer>
#include <QPainter>
#include <QPdfWriter>
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
    if (m_facts && m_facts->answered)
        return m_facts;
    QueueFacts f;
    const QPrinterInfo info = QPrinterInfo::printerInfo(m_name);
    if (!info.isNull()) {
        f.answered = true;
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
    // A queue that did not answer (the scheduler was down) is asked again
    // next time rather than remembered as having nothing; a raw queue that
    // answered with no paper list is remembered as it is.
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
    // Asking QPrinter costs several round trips to the scheduler; a run asks
    // for every label, so the answer is kept until a setting changes.
    const QPageSize size = currentPageSize();
    const QString key = QStringLiteral("%1|%2|%3|%4")
                            .arg(size.key())
                            .arg(size.size(QPageSize::Point).width())
                            .arg(m_orientation)
                            .arg(printQuality().value_or(0));
    if (m_geometry && m_geometryKey == key)
        return *m_geometry;
    QPrinter printer(QPrinter::HighResolution);
    if (installed(m_name))
        configure(printer);
    else
        printer.setPageSize(size);
    const QPageLayout layout = printer.pageLayout();
    PageGeometry g;
    g.paperMm = layout.fullRect(QPageLayout::Millimeter).size();
    g.printableMm = layout.paintRect(QPageLayout::Millimeter);
    g.dpi = printer.resolution();
    m_geometry = g;
    m_geometryKey = key;
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
    writer.setResolution(g.dpi > 0 ? g.dpi : 300);
    writer.setPageLayout(QPageLayout(QPageSize(g.paperMm, QPageSize::Millimeter, QString(), QPageSize::ExactMatch),
                                     QPageLayout::Portrait, QMarginsF(), QPageLayout::Millimeter));
    QPainter painter;
    if (!painter.begin(&writer))
        throw Failure(QStringLiteral("プリンター「%1」の印刷データを作れません。").arg(m_name));
    const double unitsPerMm = writer.resolution() / 25.4 * (m_zoom / 100.0);
    for (int i = 0; i < pages.size(); ++i) {
        if (i > 0)
            writer.newPage();
        // The page is the whole paper; the label starts at the printable area.
        playPage(painter, pages[i], g.printableMm.topLeft() * (100.0 / m_zoom), unitsPerMm);
    }
    painter.end();
    return pdf;
}

void CupsPrinter::printDocument(const QList<QPicture> &pages)
{
    if (pages.isEmpty())
        return;
    const QByteArray pdf = renderPdf(pages);

    // Submitted straight to the scheduler, as lp does: a queue that is not
    // there is refused by name, never swapped for another.
    cups_option_t *options = nullptr;
    int count = 0;
    const QByteArray media = currentPageSize().key().toUtf8();
    if (!media.isEmpty())
        count = cupsAddOption("media", media.constData(), count, &options);
    const int dup = duplex().value_or(1);
    count = cupsAddOption("sides", dup == 2 ? "two-sided-long-edge" : dup == 3 ? "two-sided-short-edge" : "one-sided",
                          count, &options);
    count = cupsAddOption("print-color-mode", colorMode() == 2 ? "color" : "monochrome", count, &options);
    if (const auto q = printQuality(); q && *q > 0)
        count = cupsAddOption("Resolution", QByteArray::number(*q).append("dpi").constData(), count, &options);
    const QByteArray queue = m_name.toUtf8();
    const int job = cupsCreateJob(CUPS_HTTP_DEFAULT, queue.constData(), "Zenlabo", count, options);
    cupsFreeOptions(count, options);
    auto failure = [this](const char *what) {
        return Failure(QStringLiteral("プリンター「%1」%2 (%3)。印刷システム(CUPS)が動いているか、プリンターが"
                                      "削除されていないか確認してください。")
                           .arg(m_name, QString::fromUtf8(what), QString::fromUtf8(cupsLastErrorString())));
    };
    if (job <= 0)
        throw failure("で印刷を始められません");
    if (cupsStartDocument(CUPS_HTTP_DEFAULT, queue.constData(), job, "label", CUPS_FORMAT_PDF, 1) != HTTP_STATUS_CONTINUE
        || cupsWriteRequestData(CUPS_HTTP_DEFAULT, pdf.constData(), size_t(pdf.size())) != HTTP_STATUS_CONTINUE) {
        const Failure f = failure("に印刷データを送れませんでした");
        cupsFinishDocument(CUPS_HTTP_DEFAULT, queue.constData());
        cupsCancelJob2(CUPS_HTTP_DEFAULT, queue.constData(), job, 0);
        throw f;
    }
    if (cupsFinishDocument(CUPS_HTTP_DEFAULT, queue.constData()) != IPP_STATUS_OK)
        throw failure("に印刷データを送れませんでした");
}

} // namespace zl::printer
