#pragma once
// The built-in PDF printer: every document becomes one PDF file in an output
// folder, named label-000001.pdf, label-000002.pdf, … so that the files sort
// in printing order; numbering continues after the highest file there.
//
// Paper: Windows paper numbers for the standard sizes, and 256 for a
// user-defined size given in twips. It starts on 256 at 50 × 30 mm, the size
// of the label stock the label layout is drawn for. The whole page is
// printable.
#include "printer/Printer.h"

namespace zl::printer {

class PdfPrinter : public Printer {
public:
    static constexpr int kUserSize = 256;

    // An empty folder means the default, defaultOutputFolder().
    explicit PdfPrinter(QString outputFolder = QString());

    static QString defaultOutputFolder();
    // Where the documents go; told to the operator after printing.
    QString outputFolder() const { return m_folder; }
    void setOutputFolder(const QString &folder);
    // The file the last document was written to (empty before the first).
    QString lastDocumentPath() const { return m_lastPath; }

    QString deviceName() const override { return QStringLiteral("Zenlabo PDF"); }
    QString driverName() const override { return QStringLiteral("Zenlabo"); }
    QString port() const override { return m_folder; }

    std::optional<int> paperSize() const override { return m_paper; }
    bool setPaperSize(int code) override;
    std::optional<int> pageWidthTwips() const override { return m_widthTwips; }
    std::optional<int> pageHeightTwips() const override { return m_heightTwips; }
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
    void printDocument(const QList<QPicture> &pages) override;

private:
    int nextNumber();

    QString m_folder;
    QString m_lastPath;
    int m_next = 0; // 0: not yet looked at the folder
    int m_paper = kUserSize;
    int m_widthTwips = 2835;  // 50 mm
    int m_heightTwips = 1701; // 30 mm
    int m_bin = 15;           // automatic
    int m_dpi = 300;
    int m_color = 1;          // monochrome
    int m_duplex = 1;         // simplex
    int m_orientation = 1;    // portrait
};

} // namespace zl::printer
