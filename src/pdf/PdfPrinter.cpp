#include "pdf/PdfPrinter.h"

#include "common/SystemErrors.h"
#include "common/Failure.h"
#include "common/Length.h"
#include "common/UnseenFile.h"
#include "printer/PagePlayback.h"
#include "pdfwriter/PdfDocument.h"

#include <QDir>
#include <algorithm>
#include <QPageSize>
#include <QFileInfo>
#include <QStandardPaths>
#include <cerrno>
#include <cmath>
#include <mutex>
#include <unistd.h>

namespace zl::printer {

namespace {

constexpr double kTwipsPerMm = Length::twipsPerMm();
const QList<QPageSize::PageSizeId> kStandardSizes{QPageSize::Letter, QPageSize::A3, QPageSize::A4, QPageSize::A5,
                                                  QPageSize::B4, QPageSize::B5, QPageSize::JisB4, QPageSize::JisB5,
                                                  QPageSize::Postcard};

int twipsOf(double mm)
{
    return int(std::lround(mm * kTwipsPerMm));
}

} // namespace

PdfPrinter::PdfPrinter(QString outputFolder) : m_last(std::make_shared<LastDocumentRecord>())
{
    m_settings.folder = outputFolder.isEmpty() ? defaultOutputFolder() : std::move(outputFolder);
}

QString PdfPrinter::defaultOutputFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + QStringLiteral("/Zenlabo");
}

void PdfPrinter::setOutputFolder(const QString &folder)
{
    m_settings.folder = folder;
}

bool PdfPrinter::setPaperSize(int code)
{
    if (code == kUserSize) {
        m_settings.paper = code;
        return true;
    }
    const QPageSize::PageSizeId id = QPageSize::id(code);
    if (id == QPageSize::Custom || !kStandardSizes.contains(id))
        return false;
    const QSizeF mm = QPageSize::size(id, QPageSize::Millimeter);
    m_settings.paper = code;
    m_settings.widthTwips = twipsOf(mm.width());
    m_settings.heightTwips = twipsOf(mm.height());
    return true;
}

bool PdfPrinter::setPageWidthTwips(int twips)
{
    if (m_settings.paper != kUserSize || twips <= 0)
        return false;
    m_settings.userWidthTwips = twips;
    return true;
}

bool PdfPrinter::setPageHeightTwips(int twips)
{
    if (m_settings.paper != kUserSize || twips <= 0)
        return false;
    m_settings.userHeightTwips = twips;
    return true;
}

bool PdfPrinter::setPaperBin(int bin)
{
    m_settings.bin = bin;
    return true;
}

bool PdfPrinter::setPrintQuality(int quality)
{
    // Positive values are dots per inch; the negative draft..high codes keep 300.
    if (quality > 0 && quality < 72)
        return false;
    m_settings.dpi = quality > 0 ? quality : kDefaultDpi;
    return true;
}

bool PdfPrinter::setColorMode(int mode)
{
    if (!isColorModeCode(mode))
        return false;
    m_settings.color = mode;
    return true;
}

bool PdfPrinter::setDuplex(int duplex)
{
    if (!isDuplexCode(duplex))
        return false;
    m_settings.duplex = duplex;
    return true;
}

bool PdfPrinter::setOrientation(int orientation)
{
    if (!isOrientationCode(orientation))
        return false;
    m_settings.orientation = orientation;
    return true;
}

QList<PaperInfo> PdfPrinter::papers() const
{
    QList<PaperInfo> list;
    for (QPageSize::PageSizeId id : kStandardSizes) {
        const QSizeF mm = QPageSize::size(id, QPageSize::Millimeter);
        list.append({QPageSize::windowsId(id), twipsOf(mm.width()), twipsOf(mm.height()), QPageSize::name(id)});
    }
    list.append({kUserSize, m_settings.userWidthTwips, m_settings.userHeightTwips, QStringLiteral("ユーザー定義サイズ")});
    std::sort(list.begin(), list.end(), [](const PaperInfo &a, const PaperInfo &b) { return a.code < b.code; });
    return list;
}

PageGeometry PdfPrinter::pageGeometry() const
{
    QSizeF paper(widthTwips() / kTwipsPerMm, heightTwips() / kTwipsPerMm);
    if (m_settings.orientation == 2)
        paper.transpose();
    return {paper, QRectF(QPointF(0, 0), paper), m_settings.dpi};
}

PageGeometry PdfPrinter::pageGeometryFor(int code) const
{
    for (const PaperInfo &p : papers()) {
        if (p.code != code)
            continue;
        QSizeF paper(p.widthTwips / kTwipsPerMm, p.heightTwips / kTwipsPerMm);
        if (m_settings.orientation == 2)
            paper.transpose();
        return {paper, QRectF(QPointF(0, 0), paper), m_settings.dpi};
    }
    return pageGeometry();
}

// One run's file while it is being written: a file in the output folder that
// the folder shows only once it is complete, and the PDF written on it.
class PdfRunFile {
public:
    explicit PdfRunFile(QString folder) : m_folder(std::move(folder)) {}

    // Made with the mode any new file of this user gets, since the labels
    // are not private the way a temporary file is. Where the folder needs a
    // temporary name, what killed runs left under theirs goes first.
    bool open()
    {
        removeUnheldFiles(m_folder, isRunTemporary);
        return file.create(m_folder, QStringLiteral(".labels-"), QStringLiteral(".part"))
            && temp.open(file.handle(), QIODevice::ReadWrite, QFileDevice::DontCloseHandle);
    }

    static bool isRunTemporary(const QString &name)
    {
        return name.startsWith(QLatin1String(".labels-")) && name.endsWith(QLatin1String(".part"));
    }

    UnseenFile file;   // outlives temp, which writes through its descriptor
    QFile temp;
    // Declared last, so it goes first: an unfinished document is dropped,
    // its ending never written, before the file under it is closed.
    std::unique_ptr<pdfwriter::PdfDocument> document;
    int labels = 0;
    int pages = 0;

private:
    QString m_folder;
};

namespace {

// What went wrong with a write, in the operator's words. errno is read by
// the caller right after the failing call.
QString writeProblem(const QFileDevice &file, int error, const QString &folder)
{
    return QStringLiteral("保存先のフォルダ %1 に書き込めませんでした。%2")
        .arg(QDir::toNativeSeparators(folder), writeProblemText(&file, error, folder));
}

QString nothingKept()
{
    return QStringLiteral("この印刷のPDFファイルは保存されていません(保存されたラベルは0枚です)。");
}

} // namespace

PdfPrinter::~PdfPrinter() = default;

struct PdfPrinter::LastDocumentRecord {
    mutable std::mutex mutex;
    LastDocument last;
};

PdfPrinter::LastDocument PdfPrinter::lastDocument() const
{
    const std::lock_guard<std::mutex> lock(m_last->mutex);
    return m_last->last;
}

void PdfPrinter::keepLastDocument(const LastDocument &last)
{
    const std::lock_guard<std::mutex> lock(m_last->mutex);
    m_last->last = last;
}

PdfPrinter::RunCopy PdfPrinter::runCopy() const
{
    return {m_settings, m_last};
}

void PdfPrinter::takeOver(const RunCopy &copy)
{
    m_settings = copy.settings;
    m_last = copy.last;
}

RunPrinterMaker PdfPrinter::runPrinterMaker() const
{
    return [copy = runCopy()] {
        auto run = std::make_unique<PdfPrinter>(copy.settings.folder);
        run->takeOver(copy);
        return run;
    };
}

void PdfPrinter::beginRun()
{
    m_file.reset();
    keepLastDocument({});
    m_inRun = true;
    m_runStart = m_settings.clock ? m_settings.clock() : QDateTime::currentDateTime();
}

void PdfPrinter::printDocument(const QList<QPicture> &pages)
{
    print(paperPages(pages));
}

void PdfPrinter::printPlaced(const PaperPage &placed)
{
    print({placed});
}

void PdfPrinter::print(const QList<PaperPage> &pages)
{
    if (m_inRun) {
        writePages(pages);
        return;
    }
    beginRun();
    try {
        writePages(pages);
    } catch (...) {
        m_file.reset();
        m_inRun = false;
        throw;
    }
    endRun(true);
}

void PdfPrinter::writePages(const QList<PaperPage> &pages)
{
    const PageGeometry geometry = pageGeometry();
    if (!m_file) {
        if (!QDir().mkpath(m_settings.folder))
            throw Failure(QStringLiteral("PDF の保存先フォルダ %1 を作成できません。").arg(QDir::toNativeSeparators(m_settings.folder)));
        auto file = std::make_unique<PdfRunFile>(m_settings.folder);
        if (!file->open()) {
            const int error = errno;
            throw Failure(QStringLiteral("PDFファイルを作成できません。") + writeProblem(file->temp, error, m_settings.folder));
        }
        file->document = std::make_unique<pdfwriter::PdfDocument>(&file->temp, QStringLiteral("Zenlabo labels"));
        m_file = std::move(file);
    }
    PdfRunFile &f = *m_file;
    // Every label keeps its own paper size and orientation.
    const QSizeF pagePt = geometry.paperMm * Length::mm(1).pt();
    bool written = true;
    for (const PaperPage &page : pages) {
        QPainter &painter = f.document->beginPage(pagePt, geometry.dpi);
        playPlaced(painter, page, geometry.printableMm.topLeft(), Length::dotsPerMm(geometry.dpi));
        written = f.document->endPage() && written;
        ++f.pages;
    }
    ++f.labels;
    // A full disk shows at the label that did not fit, not 300 labels later.
    if (!written || !f.temp.flush() || f.temp.error() != QFileDevice::NoError) {
        const int error = errno;
        const QString problem = writeProblem(f.temp, error, m_settings.folder);
        m_file.reset();
        throw Failure(QStringLiteral("PDFファイルに書き込めません。") + problem + QLatin1Char('\n') + nothingKept());
    }
}

QString PdfPrinter::endRun(bool ok)
{
    m_inRun = false;
    if (!m_file)
        return {};
    const QString path = finishFile();
    const QString shown = QDir::toNativeSeparators(path);
    const QString why = m_settings.standIn.done.isEmpty() ? QString() : m_settings.standIn.done + QLatin1Char('\n');
    const int labels = lastDocumentLabels();
    if (ok)
        return why + QStringLiteral("ラベル%1枚をPDFファイル %2 に保存しました。").arg(labels).arg(shown);
    return why + QStringLiteral("それまでに印刷したラベル%1枚はPDFファイル %2 に保存しました。").arg(labels).arg(shown);
}

QString PdfPrinter::finishFile()
{
    std::unique_ptr<PdfRunFile> file = std::move(m_file);
    keepLastDocument({});
    const bool ended = file->document->finish();
    // Every error up to the disk's own copy is seen before the file takes its
    // name; one sync for the whole run.
    bool written = ended && file->temp.flush() && file->temp.error() == QFileDevice::NoError;
    int error = written ? 0 : errno;
    if (written && ::fdatasync(file->temp.handle()) != 0) {
        written = false;
        error = errno;
    }
    if (!written)
        throw Failure(QStringLiteral("PDFファイルを保存できません。") + writeProblem(file->temp, error, m_settings.folder)
                      + QLatin1Char('\n') + nothingKept());
    const QString stem = QStringLiteral("%1/labels-%2").arg(m_settings.folder, m_runStart.toString(QStringLiteral("yyyyMMdd-HHmmss")));
    // Runs in the same second get -2, -3 …; a name already taken is never replaced.
    error = EEXIST;
    for (int n = 1; n < 10000 && error == EEXIST; ++n) {
        const QString path = n == 1 ? stem + QStringLiteral(".pdf") : QStringLiteral("%1-%2.pdf").arg(stem).arg(n);
        if (file->file.place(path)) {
            keepLastDocument({path, file->labels, file->pages});
            return path;
        }
        error = errno;
    }
    throw Failure(QStringLiteral("PDFファイルに名前を付けて保存できません。") + writeProblem(file->temp, error, m_settings.folder)
                  + QLatin1Char('\n') + nothingKept());
}

} // namespace zl::printer
