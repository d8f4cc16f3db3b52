#pragma once
// The built-in PDF printer: a print run becomes one PDF file in an output
// folder, one page per label page, named by the run's date and time
// (labels-20261207-093012.pdf, then -2, -3 … for runs in the same second).
// The file takes its name only when it is complete, so the folder never shows
// a half-written file, and a run that is killed leaves nothing behind (where
// the folder cannot hold a nameless file, a hidden one that the next run
// clears away). A document printed outside a run is a run of its own.
//
// Paper: Windows paper numbers for the standard sizes, and 256 for a
// user-defined size given in twips. It starts on 256 at 50 × 30 mm, the size
// of the label stock the label layout is drawn for. The whole page is
// printable.
#include "printer/Printer.h"

#include <QDateTime>
#include <functional>
#include <memory>

namespace zl::printer {

class PdfRunFile;

class PdfPrinter : public Printer {
public:
    static constexpr int kUserSize = 256;

    // An empty folder means the default, defaultOutputFolder().
    explicit PdfPrinter(QString outputFolder = QString());
    ~PdfPrinter() override;

    static QString defaultOutputFolder();
    // Where the documents go; told to the operator after printing.
    QString outputFolder() const { return m_settings.folder; }
    void setOutputFolder(const QString &folder);
    // The file the last run was written to (empty before the first, and when
    // the last run kept nothing).
    // Told by the printers this one makes for runs, too.
    QString lastDocumentPath() const { return lastDocument().path; }
    // Labels (documents) and pages in that file.
    int lastDocumentLabels() const { return lastDocument().labels; }
    int lastDocumentPages() const { return lastDocument().pages; }
    // The clock that names the files (tests set one).
    void setClock(std::function<QDateTime()> clock) { m_settings.clock = std::move(clock); }

    QString deviceName() const override { return QStringLiteral("Zenlabo PDF"); }
    QString driverName() const override { return QStringLiteral("Zenlabo"); }
    QString port() const override { return m_settings.folder; }

    std::optional<int> paperSize() const override { return m_settings.paper; }
    bool setPaperSize(int code) override;
    std::optional<int> pageWidthTwips() const override { return widthTwips(); }
    std::optional<int> pageHeightTwips() const override { return heightTwips(); }
    bool setPageWidthTwips(int twips) override;
    bool setPageHeightTwips(int twips) override;
    std::optional<int> paperBin() const override { return m_settings.bin; }
    bool setPaperBin(int bin) override;
    std::optional<int> printQuality() const override { return m_settings.dpi; }
    bool setPrintQuality(int quality) override;
    std::optional<int> colorMode() const override { return m_settings.color; }
    bool setColorMode(int mode) override;
    std::optional<int> duplex() const override { return m_settings.duplex; }
    bool setDuplex(int duplex) override;
    std::optional<int> orientation() const override { return m_settings.orientation; }
    bool setOrientation(int orientation) override;
    std::optional<int> zoom() const override { return 100; }
    bool setZoom(int percent) override { return percent == 100; }

    QList<PaperInfo> papers() const override;
    PageGeometry pageGeometry() const override;
    PageGeometry pageGeometryFor(int code) const override;
    void printDocument(const QList<QPicture> &pages) override;
    void printPlaced(const PaperPage &placed) override;
    void beginRun() override;
    QString endRun(bool ok) override;
    std::optional<int> documentsKept() const override { return lastDocumentLabels(); }
    RunPrinterMaker runPrinterMaker() const override;
    QString printingNotice() const override { return m_settings.standIn.notice; }
    void setStandIn(const StandIn &standIn) override { m_settings.standIn = standIn; }

private:
    // The file is opened at the run's first page: a run that prints nothing
    // leaves nothing behind.
    void print(const QList<PaperPage> &pages);
    void writePages(const QList<PaperPage> &pages);
    QString finishFile();

protected:
    // What the operator set, as one value: a run's printer takes it whole.
    struct Settings {
        QString folder;
        int paper = kUserSize;
        int widthTwips = 2835;  // 50 mm
        int heightTwips = 1701; // 30 mm
        // The user-defined size is kept apart from the standard one in
        // force, so a sheet's A4 leaves it as the operator set it.
        int userWidthTwips = 2835;
        int userHeightTwips = 1701;
        int bin = 15;           // automatic
        int dpi = kDefaultDpi;
        int color = 1;          // monochrome
        int duplex = 1;         // simplex
        int orientation = 1;    // portrait
        StandIn standIn;
        std::function<QDateTime()> clock;
    };
    // The file a run kept, shared by a printer and the printers it made for
    // runs: the operator is told where the labels went by the printer he chose.
    struct LastDocument {
        QString path;
        int labels = 0;
        int pages = 0;
    };
    struct LastDocumentRecord;
    // What a printer made to print one run like this one takes over.
    struct RunCopy {
        Settings settings;
        std::shared_ptr<LastDocumentRecord> last;
    };
    RunCopy runCopy() const;
    void takeOver(const RunCopy &copy);

private:
    LastDocument lastDocument() const;
    void keepLastDocument(const LastDocument &last);

    Settings m_settings;
    std::shared_ptr<LastDocumentRecord> m_last;
    bool m_inRun = false;
    QDateTime m_runStart;
    std::unique_ptr<PdfRunFile> m_file;
    int widthTwips() const { return m_settings.paper == kUserSize ? m_settings.userWidthTwips : m_settings.widthTwips; }
    int heightTwips() const { return m_settings.paper == kUserSize ? m_settings.userHeightTwips : m_settings.heightTwips; }
};

} // namespace zl::printer
