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
    QString outputFolder() const { return m_folder; }
    void setOutputFolder(const QString &folder);
    // The file the last run was written to (empty before the first, and when
    // the last run kept nothing).
    QString lastDocumentPath() const { return m_lastPath; }
    // Labels (documents) and pages in that file.
    int lastDocumentLabels() const { return m_lastLabels; }
    int lastDocumentPages() const { return m_lastPages; }
    // The clock that names the files (tests set one).
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

    QString deviceName() const override { return QStringLiteral("Zenlabo PDF"); }
    QString driverName() const override { return QStringLiteral("Zenlabo"); }
    QString port() const override { return m_folder; }

    std::optional<int> paperSize() const override { return m_paper; }
    bool setPaperSize(int code) override;
    std::optional<int> pageWidthTwips() const override { return widthTwips(); }
    std::optional<int> pageHeightTwips() const override { return heightTwips(); }
    bool setPageWidthTwips(int twips) override;
    bool setPageHeightTwips(int twips) override;
    std::optional<int> paperBin() const override { return m_bin; }
    bool setPaperBin(int bin) override;
    std::optional<int> printQuality() const override { return m_dpi; }
    bool setPrintQuality(int quality) override;
    std::optional<int> colorMode() const override { return m_color; }
    bool setColorMode(int mode) override;
    std::optional<int> duplex() const override { return m_duplex; }
    bool setDuplex(int duplex) override;
    std::optional<int> orientation() const override { return m_orientation; }
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
    std::optional<int> documentsKept() const override { return m_lastLabels; }
    QString printingNotice() const override { return m_standIn.notice; }
    void setStandIn(const StandIn &standIn) override { m_standIn = standIn; }

private:
    // The file is opened at the run's first page: a run that prints nothing
    // leaves nothing behind.
    void print(const QList<PaperPage> &pages);
    void writePages(const QList<PaperPage> &pages);
    QString finishFile();

    QString m_folder;
    QString m_lastPath;
    int m_lastLabels = 0;
    int m_lastPages = 0;
    bool m_inRun = false;
    QDateTime m_runStart;
    std::unique_ptr<PdfRunFile> m_file;
    std::function<QDateTime()> m_clock;
    int m_paper = kUserSize;
    // The user-defined size is kept apart from the standard one in force,
    // so a sheet's A4 leaves it as the operator set it.
    int widthTwips() const { return m_paper == kUserSize ? m_userWidthTwips : m_widthTwips; }
    int heightTwips() const { return m_paper == kUserSize ? m_userHeightTwips : m_heightTwips; }
    int m_widthTwips = 2835;  // 50 mm
    int m_heightTwips = 1701; // 30 mm
    int m_userWidthTwips = 2835;
    int m_userHeightTwips = 1701;
    int m_bin = 15;           // automatic
    int m_dpi = kDefaultDpi;
    int m_color = 1;          // monochrome
    int m_duplex = 1;         // simplex
    int m_orientation = 1;    // portrait
    StandIn m_standIn;
};

} // namespace zl::printer
