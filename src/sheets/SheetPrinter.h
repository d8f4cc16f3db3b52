#pragma once
// Printing on a label sheet: stands in front of the printer a run prints on
// and gathers the run's labels onto sheets. Each label is drawn by the
// renderer as usual, on a page the size of one position whose corner is
// that position's corner on the paper; its pages go to the next free
// positions, and a sheet is handed to the printer as one document when it
// is full and when the run ends. A label that never arrives (cancelled)
// leaves its position empty; a sheet with no label is never sent.
#include "printer/Printer.h"
#include "sheets/SheetChoice.h"

#include <QPainter>

#include <memory>

namespace zl::printer {

class SheetPrinter : public Printer {
public:
    // `target` must outlive this printer. Its paper is not changed here.
    SheetPrinter(Printer &target, const SheetTemplate &sheet, int start);

    const SheetTemplate &sheet() const { return m_sheet; }
    // The position the next label goes to.
    int nextPosition() const { return m_position; }
    // Labels placed so far, on sheets sent or still gathering.
    int placed() const { return m_placed; }
    int sheetsSent() const { return m_sent; }
    // After the run: the position after the last label on the last sheet
    // that came out of the printer (or was kept in the PDF); nothing when
    // no sheet did, so the sheet in the printer is as it was.
    std::optional<int> nextPositionAfterWhatCameOut() const;
    // Sends the sheet being filled, when it holds a label.
    void flush();

    // Lives inside a run, on the run's own printer.
    RunPrinterMaker runPrinterMaker() const override { return {}; }
    QString deviceName() const override { return m_target.deviceName(); }
    QString driverName() const override { return m_target.driverName(); }
    QString port() const override { return m_target.port(); }
    std::optional<int> paperSize() const override { return m_target.paperSize(); }
    // The sheet's paper is the only one.
    bool setPaperSize(int code) override;
    std::optional<int> pageWidthTwips() const override { return m_target.pageWidthTwips(); }
    std::optional<int> pageHeightTwips() const override { return m_target.pageHeightTwips(); }
    bool setPageWidthTwips(int) override { return false; }
    bool setPageHeightTwips(int) override { return false; }
    std::optional<int> paperBin() const override { return m_target.paperBin(); }
    bool setPaperBin(int bin) override { return m_target.setPaperBin(bin); }
    std::optional<int> printQuality() const override { return m_target.printQuality(); }
    bool setPrintQuality(int quality) override { return m_target.setPrintQuality(quality); }
    std::optional<int> colorMode() const override { return m_target.colorMode(); }
    bool setColorMode(int mode) override { return m_target.setColorMode(mode); }
    std::optional<int> duplex() const override { return m_target.duplex(); }
    bool setDuplex(int duplex) override { return m_target.setDuplex(duplex); }
    std::optional<int> orientation() const override { return m_target.orientation(); }
    bool setOrientation(int orientation) override { return orientation == 1; }
    std::optional<int> zoom() const override { return m_target.zoom(); }
    bool setZoom(int percent) override { return m_target.setZoom(percent); }
    QList<PaperInfo> papers() const override { return m_target.papers(); }
    QStringList driverOptions() const override { return m_target.driverOptions(); }
    bool setDriverOptions(const QStringList &options) override { return m_target.setDriverOptions(options); }
    bool makeUserDefault() override { return m_target.makeUserDefault(); }

    // The next free position, as a page of its own.
    PageGeometry pageGeometry() const override;
    PageGeometry pageGeometryFor(int code) const override;
    void printDocument(const QList<QPicture> &pages) override;
    void beginRun() override { m_target.beginRun(); }
    QString endRun(bool ok) override;
    // The printer tells of sheets; the run counts labels: each sheet's
    // outcome stands for every label placed on it.
    DocumentsEnd finishDocuments(const DocumentsWait &wait) override;
    std::optional<int> documentsKept() const override;

private:
    // Labels up to the end of sheet `sheets` (those before it included).
    int labelsOnSheets(int sheets) const;

    Printer &m_target;
    const SheetTemplate &m_sheet;
    int m_position;
    int m_placed = 0;
    int m_sent = 0;
    QList<int> m_labelsPerSheet; // of the sheets sent, in order
    QList<int> m_nextAfterSheet; // the position after each sent sheet's last label
    DocumentsEnd m_sheetsEnd;    // how the sheets sent ended at the printer
    int m_onPage = 0;             // labels begun on the sheet being filled
    PaperPage m_sheetPages; // the labels on the sheet being filled
};

// A run on the sheet chosen for it: while it lives, the run prints on the
// sheet in front of its printer, which is put on the sheet's paper.
class SheetRun {
public:
    // Nothing when `choice` has no sheet (one label a page). `stored`: the
    // choice is the stored one, whose first free position moves on. Throws
    // zl::Failure when the printer cannot take the sheet's paper; the
    // printer then stays as it was.
    static std::unique_ptr<SheetRun> start(Printer &target, const SheetChoice &choice, bool stored);
    static std::unique_ptr<SheetRun> start(Printer &target, const SheetTemplate &sheet, int start, bool stored);
    ~SheetRun();

    SheetPrinter &printer() { return *m_printer; }
    // After the run's end: the stored sheet's first free position moves on
    // to the position after the last label. Empty, or why it could not be
    // stored.
    QString storeNextPosition();

private:
    // The paper in force before the sheet's, put back when the run ends with
    // the orientation: the next run without a sheet prints on them.
    struct PaperInForce {
        std::optional<int> code;
        std::optional<int> widthTwips; // of a paper given by its size (256)
        std::optional<int> heightTwips;
    };
    static constexpr int kUserPaperSize = 256;
    static PaperInForce paperInForce(const Printer &p);
    static void putBack(Printer &p, const PaperInForce &paper);
    SheetRun(Printer &target, const SheetTemplate &sheet, int start, bool stored, PaperInForce before,
             std::optional<int> orientationBefore);
    std::unique_ptr<SheetPrinter> m_printer;
    bool m_stored;
    Printer &m_target;
    PaperInForce m_paperBefore;
    std::optional<int> m_orientationBefore;
};

} // namespace zl::printer
