#include "sheets/SheetPrinter.h"

#include "common/Failure.h"
#include "common/Length.h"
#include "printer/PagePlayback.h"
#include "pdf/PdfPrinter.h"

#include <QDir>
#include <algorithm>
#include <utility>

namespace zl::printer {

SheetPrinter::SheetPrinter(Printer &target, const SheetTemplate &sheet, int start)
    : m_target(target), m_sheet(sheet), m_position(std::clamp(start, 1, sheet.positions()))
{
}

bool SheetPrinter::setPaperSize(int code)
{
    return code == m_sheet.paperCode && m_target.setPaperSize(code);
}

PageGeometry SheetPrinter::pageGeometry() const
{
    // The printable area is the position itself: the renderer measures from
    // its corner and lays the barcode's bars on the printer's dots counted
    // from the paper's corner.
    PageGeometry g = m_target.pageGeometry();
    g.printableMm = m_sheet.positionRect(m_position);
    g.sheetLabel = true;
    return g;
}

PageGeometry SheetPrinter::pageGeometryFor(int code) const
{
    PageGeometry g = m_target.pageGeometryFor(code);
    g.printableMm = m_sheet.positionRect(m_position);
    g.sheetLabel = true;
    return g;
}

void SheetPrinter::printDocument(const QList<QPicture> &pages)
{
    const QPointF printableCorner = m_target.pageGeometry().printableMm.topLeft();
    // A label is counted on the sheet its first page lands on.
    bool firstPage = true;
    for (const QPicture &page : pages) {
        m_sheetPages.append({page, m_sheet.positionRect(m_position).translated(-printableCorner)});
        ++m_placed;
        if (std::exchange(firstPage, false))
            ++m_onPage;
        if (++m_position > m_sheet.positions()) {
            m_position = 1;
            flush();
        }
    }
}

void SheetPrinter::flush()
{
    if (m_sheetPages.isEmpty())
        return;
    const PaperPage sheet = std::exchange(m_sheetPages, {});
    const int labels = std::exchange(m_onPage, 0);
    m_target.printPlaced(sheet);
    m_labelsPerSheet.append(labels);
    m_nextAfterSheet.append(m_position);
    ++m_sent;
}

int SheetPrinter::labelsOnSheets(int sheets) const
{
    int labels = 0;
    for (int i = 0; i < sheets && i < m_labelsPerSheet.size(); ++i)
        labels += m_labelsPerSheet[i];
    return labels;
}

DocumentsEnd SheetPrinter::finishDocuments(const DocumentsWait &wait)
{
    try {
        flush();
    } catch (const Cancelled &) {
        // The run's cancel came first: the sheet was not sent, and its
        // labels count as not printed.
    }
    DocumentsWait inLabels = wait;
    if (wait.progress)
        inLabels.progress = [this, &wait](int sent, int processed, int out) {
            wait.progress(labelsOnSheets(sent), labelsOnSheets(processed), labelsOnSheets(out));
        };
    DocumentsEnd end = m_target.finishDocuments(inLabels);
    m_sheetsEnd = end;
    // A sheet's labels share its fate.
    QList<LabelFate> perLabel;
    int twice = 0;
    for (int i = 0; i < end.fates.size() && i < m_labelsPerSheet.size(); ++i) {
        for (int n = 0; n < m_labelsPerSheet[i]; ++n)
            perLabel.append(end.fates[i]);
        if (i < end.twice)
            twice += m_labelsPerSheet[i];
    }
    end.fates = perLabel;
    end.twice = twice;
    return end;
}

std::optional<int> SheetPrinter::nextPositionAfterWhatCameOut() const
{
    const std::optional<int> kept = m_target.documentsKept();
    std::optional<int> next;
    for (int i = 0; i < m_nextAfterSheet.size(); ++i)
        if ((!m_sheetsEnd.known || m_sheetsEnd.fates.value(i, LabelFate::NotOut) == LabelFate::Out) && (!kept || i < *kept))
            next = m_nextAfterSheet[i];
    return next;
}

std::optional<int> SheetPrinter::documentsKept() const
{
    const std::optional<int> sheets = m_target.documentsKept();
    if (!sheets)
        return std::nullopt;
    return labelsOnSheets(*sheets);
}

QString SheetPrinter::endRun(bool ok)
{
    QString lost;
    try {
        flush();
    } catch (const Failure &f) {
        lost = f.description();
        ok = false;
    }
    QString said = m_target.endRun(ok);
    // The PDF printer counts documents, which are sheets here.
    if (auto *pdf = dynamic_cast<PdfPrinter *>(&m_target); pdf && !pdf->lastDocumentPath().isEmpty())
        said = QStringLiteral("ラベル%1枚を%2のシート%3枚に並べてPDFファイル %4 に保存しました。")
                   .arg(m_placed)
                   .arg(m_sheet.id)
                   .arg(pdf->lastDocumentPages())
                   .arg(QDir::toNativeSeparators(pdf->lastDocumentPath()));
    if (!lost.isEmpty())
        throw Failure(said.isEmpty() ? lost : lost + QLatin1Char('\n') + said);
    return said;
}

SheetRun::SheetRun(Printer &target, const SheetTemplate &sheet, int start, bool stored, PaperInForce before,
                   std::optional<int> orientationBefore)
    : m_printer(std::make_unique<SheetPrinter>(target, sheet, start)), m_stored(stored), m_target(target),
      m_paperBefore(before), m_orientationBefore(orientationBefore)
{
}

SheetRun::PaperInForce SheetRun::paperInForce(const Printer &p)
{
    PaperInForce paper{p.paperSize(), std::nullopt, std::nullopt};
    if (paper.code == kUserPaperSize) {
        paper.widthTwips = p.pageWidthTwips();
        paper.heightTwips = p.pageHeightTwips();
    }
    return paper;
}

void SheetRun::putBack(Printer &p, const PaperInForce &paper)
{
    if (!paper.code)
        return;
    p.setPaperSize(*paper.code);
    if (paper.widthTwips)
        p.setPageWidthTwips(*paper.widthTwips);
    if (paper.heightTwips)
        p.setPageHeightTwips(*paper.heightTwips);
}

SheetRun::~SheetRun()
{
    putBack(m_target, m_paperBefore);
    if (m_orientationBefore)
        m_target.setOrientation(*m_orientationBefore);
}

std::unique_ptr<SheetRun> SheetRun::start(Printer &target, const SheetTemplate &sheet, int start, bool stored)
{
    const PaperInForce before = paperInForce(target);
    const std::optional<int> orientationBefore = target.orientation();
    // A paper with no Windows number of its own is given by its size.
    bool taken = target.setPaperSize(sheet.paperCode);
    if (taken && sheet.paperCode == kUserPaperSize)
        taken = target.setPageWidthTwips(Length::mm(sheet.paperMm.width()).wholeTwips())
                && target.setPageHeightTwips(Length::mm(sheet.paperMm.height()).wholeTwips());
    if (!taken) {
        putBack(target, before);
        throw Failure(QStringLiteral("プリンター「%1」は用紙 %2 (%3 x %4 mm) に印刷できないため、シート「%5」には印刷できません。"
                                     "%2の用紙のプリンターを選ぶか、プリンター設定の画面でシートなしを選んでください。")
                          .arg(target.deviceName(), sheet.paperName)
                          .arg(sheet.paperMm.width())
                          .arg(sheet.paperMm.height())
                          .arg(sheet.name));
    }
    target.setOrientation(1);
    return std::unique_ptr<SheetRun>(new SheetRun(target, sheet, start, stored, before, orientationBefore));
}

std::unique_ptr<SheetRun> SheetRun::start(Printer &target, const SheetChoice &choice, bool stored)
{
    const SheetTemplate *sheet = choice.sheet();
    if (!sheet)
        return nullptr;
    return start(target, *sheet, choice.start, stored);
}

QString SheetRun::storeNextPosition()
{
    // Positions of sheets the printer never printed (cancelled, failed) are
    // still free on the sheet the operator holds.
    const std::optional<int> next = m_printer->nextPositionAfterWhatCameOut();
    if (!m_stored || !next)
        return {};
    try {
        saveSheetChoice({m_printer->sheet().id, *next});
    } catch (const Failure &f) {
        return QStringLiteral("シートの次の開始位置を保存できませんでした: %1").arg(f.description());
    }
    return {};
}

} // namespace zl::printer
