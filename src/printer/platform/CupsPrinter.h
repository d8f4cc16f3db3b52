#pragma once
// A CUPS queue as the program's printer. The settings the operator chooses
// are kept here and handed to a fresh QPrinter for each document, so a queue
// that disappears or a scheduler that stops shows up as a clear failure of
// that document rather than as output sent to another queue.
#include "printer/Printer.h"

#include <QPageSize>
#include <QPrinter>
#include <memory>
#include <optional>

namespace zl::printer {

class CupsPrinter : public Printer {
public:
    explicit CupsPrinter(QString queueName);

    QString deviceName() const override { return m_name; }
    QString driverName() const override;
    QString port() const override;

    std::optional<int> paperSize() const override;
    bool setPaperSize(int code) override;
    std::optional<int> pageWidthTwips() const override;
    std::optional<int> pageHeightTwips() const override;
    bool setPageWidthTwips(int twips) override;
    bool setPageHeightTwips(int twips) override;
    std::optional<int> paperBin() const override { return m_bin; }
    bool setPaperBin(int bin) override;
    std::optional<int> printQuality() const override;
    bool setPrintQuality(int quality) override;
    std::optional<int> colorMode() const override;
    bool setColorMode(int mode) override;
    std::optional<int> duplex() const override;
    bool setDuplex(int duplex) override;
    std::optional<int> orientation() const override { return m_orientation; }
    bool setOrientation(int orientation) override;
    std::optional<int> zoom() const override { return m_zoom; }
    bool setZoom(int percent) override;

    QList<PaperInfo> papers() const override;
    PageGeometry pageGeometry() const override;
    void printDocument(const QList<QPicture> &pages) override;

    // The queue's sizes with their paper codes, in the order the queue lists
    // them: Windows numbers where the size has one, 257 upward otherwise.
    static QList<PaperInfo> numberPapers(const QList<QPageSize> &queueSizes);

private:
    // What the queue says about itself, asked once.
    struct QueueFacts {
        bool answered = false;
        QList<PaperInfo> papers;           // in the queue's order
        QList<QPageSize> sizes;            // same positions as papers
        bool customSizes = false;
        QList<int> resolutions;
        int defaultResolution = 0;
        QPrinter::ColorMode defaultColor = QPrinter::GrayScale;
        QPrinter::DuplexMode defaultDuplex = QPrinter::DuplexNone;
        QString driver;
        QString port;
        int defaultPaper = 0;
    };
    std::shared_ptr<const QueueFacts> facts() const;
    QPageSize currentPageSize() const;
    void configure(QPrinter &printer) const;
    // The document as the PDF the scheduler is handed.
    QByteArray renderPdf(const QList<QPicture> &pages) const;

    QString m_name;
    mutable std::shared_ptr<const QueueFacts> m_facts;
    // Chosen settings; unset ones follow the queue's defaults.
    std::optional<int> m_paper;
    int m_customWidthTwips = 0;
    int m_customHeightTwips = 0;
    int m_bin = 7; // DMBIN_AUTO: the queue picks the source
    std::optional<int> m_quality;
    std::optional<int> m_color;
    std::optional<int> m_duplex;
    int m_orientation = 1; // DMORIENT_PORTRAIT
    int m_zoom = 100;
    mutable std::optional<PageGeometry> m_geometry;
    mutable QString m_geometryKey;
};

} // namespace zl::printer
