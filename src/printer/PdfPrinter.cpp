#include "printer/PdfPrinter.h"

#include "common/Failure.h"
#include "printer/PagePlayback.h"

#include <QDir>
#include <algorithm>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>
#include <cmath>

namespace zl::printer {

namespace {

constexpr double kTwipsPerMm = 1440 / 25.4;
const QList<QPageSize::PageSizeId> kStandardSizes{QPageSize::Letter, QPageSize::A3, QPageSize::A4, QPageSize::A5,
                                                  QPageSize::B4, QPageSize::B5, QPageSize::JisB4, QPageSize::JisB5,
                                                  QPageSize::Postcard};

int twipsOf(double mm)
{
    return int(std::lround(mm * kTwipsPerMm));
}

} // namespace

PdfPrinter::PdfPrinter(QString outputFolder)
    : m_folder(outputFolder.isEmpty() ? defaultOutputFolder() : std::move(outputFolder))
{
}

QString PdfPrinter::defaultOutputFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + QStringLiteral("/Zenlabo");
}

void PdfPrinter::setOutputFolder(const QString &folder)
{
    m_folder = folder;
    m_next = 0;
}

bool PdfPrinter::setPaperSize(int code)
{
    if (code == kUserSize) {
        m_paper = code;
        return true;
    }
    const QPageSize::PageSizeId id = QPageSize::id(code);
    if (id == QPageSize::Custom || !kStandardSizes.contains(id))
        return false;
    const QSizeF mm = QPageSize::size(id, QPageSize::Millimeter);
    m_paper = code;
    m_widthTwips = twipsOf(mm.width());
    m_heightTwips = twipsOf(mm.height());
    return true;
}

bool PdfPrinter::setPageWidthTwips(int twips)
{
    if (m_paper != kUserSize || twips <= 0)
        return false;
    m_widthTwips = twips;
    return true;
}

bool PdfPrinter::setPageHeightTwips(int twips)
{
    if (m_paper != kUserSize || twips <= 0)
        return false;
    m_heightTwips = twips;
    return true;
}

bool PdfPrinter::setPaperBin(int bin)
{
    m_bin = bin;
    return true;
}

bool PdfPrinter::setPrintQuality(int quality)
{
    // Positive values are dots per inch; the negative draft..high codes keep 300.
    if (quality > 0 && quality < 72)
        return false;
    m_dpi = quality > 0 ? quality : 300;
    return true;
}

bool PdfPrinter::setColorMode(int mode)
{
    if (mode != 1 && mode != 2)
        return false;
    m_color = mode;
    return true;
}

bool PdfPrinter::setDuplex(int duplex)
{
    if (duplex < 1 || duplex > 3)
        return false;
    m_duplex = duplex;
    return true;
}

bool PdfPrinter::setOrientation(int orientation)
{
    if (orientation != 1 && orientation != 2)
        return false;
    m_orientation = orientation;
    return true;
}

QList<PaperInfo> PdfPrinter::papers() const
{
    QList<PaperInfo> list;
    for (QPageSize::PageSizeId id : kStandardSizes) {
        const QSizeF mm = QPageSize::size(id, QPageSize::Millimeter);
        list.append({QPageSize::windowsId(id), twipsOf(mm.width()), twipsOf(mm.height()), QPageSize::name(id)});
    }
    list.append({kUserSize, m_widthTwips, m_heightTwips, QStringLiteral("ユーザー定義サイズ")});
    std::sort(list.begin(), list.end(), [](const PaperInfo &a, const PaperInfo &b) { return a.code < b.code; });
    return list;
}

PageGeometry PdfPrinter::pageGeometry() const
{
    QSizeF paper(m_widthTwips / kTwipsPerMm, m_heightTwips / kTwipsPerMm);
    if (m_orientation == 2)
        paper.transpose();
    return {paper, QRectF(QPointF(0, 0), paper), m_dpi};
}

int PdfPrinter::nextNumber()
{
    if (m_next == 0) {
        static const QRegularExpression pattern(QStringLiteral("^label-(\\d+)\\.pdf$"));
        int highest = 0;
        const QStringList names = QDir(m_folder).entryList({QStringLiteral("label-*.pdf")}, QDir::Files);
        for (const QString &name : names) {
            const QRegularExpressionMatch m = pattern.match(name);
            if (m.hasMatch())
                highest = std::max(highest, m.captured(1).toInt());
        }
        m_next = highest + 1;
    }
    return m_next++;
}

void PdfPrinter::printDocument(const QList<QPicture> &pages)
{
    if (!QDir().mkpath(m_folder))
        throw Failure(QStringLiteral("PDF の保存先フォルダ %1 を作成できません。").arg(m_folder));
    QString path;
    do {
        path = QStringLiteral("%1/label-%2.pdf").arg(m_folder).arg(nextNumber(), 6, 10, QLatin1Char('0'));
    } while (QFile::exists(path));

    const PageGeometry geometry = pageGeometry();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw Failure(QStringLiteral("PDF ファイル %1 を作成できません: %2").arg(path, file.errorString()));
    {
        QPdfWriter writer(&file);
        writer.setCreator(QStringLiteral("Zenlabo"));
        writer.setTitle(QStringLiteral("Zenlabo label"));
        writer.setResolution(geometry.dpi);
        writer.setPageSize(QPageSize(geometry.paperMm, QPageSize::Millimeter, QString(), QPageSize::ExactMatch));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        QPainter painter;
        if (!painter.begin(&writer))
            throw Failure(QStringLiteral("PDF ファイル %1 に書き込めません。").arg(path));
        const double unitsPerMm = geometry.dpi / 25.4;
        for (qsizetype i = 0; i < pages.size(); ++i) {
            if (i > 0)
                writer.newPage();
            playPage(painter, pages.at(i), geometry.printableMm.topLeft(), unitsPerMm);
        }
        painter.end();
    }
    if (!file.commit())
        throw Failure(QStringLiteral("PDF ファイル %1 を保存できません: %2").arg(path, file.errorString()));
    m_lastPath = path;
}

} // namespace zl::printer
