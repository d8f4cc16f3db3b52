#pragma once
// Doubles and helpers the printing tests share.
#include "printer/Printer.h"
#include "printing/LabelRenderer.h"

#include <QImage>
#include <QStringList>
#include <functional>

namespace zltest {

// A printer that keeps every document it is given.
class KeepingPrinter : public zl::printer::Printer {
public:
    explicit KeepingPrinter(QList<QList<QPicture>> *documents, QSizeF paperMm = QSizeF(50, 30))
        : m_documents(documents), m_paper(paperMm) {}
    QString deviceName() const override { return QStringLiteral("Keeping"); }
    QString driverName() const override { return QStringLiteral("test"); }
    QString port() const override { return {}; }
    std::optional<int> paperSize() const override { return 256; }
    bool setPaperSize(int) override { return false; }
    std::optional<int> pageWidthTwips() const override { return {}; }
    std::optional<int> pageHeightTwips() const override { return {}; }
    bool setPageWidthTwips(int) override { return false; }
    bool setPageHeightTwips(int) override { return false; }
    std::optional<int> paperBin() const override { return {}; }
    bool setPaperBin(int) override { return false; }
    std::optional<int> printQuality() const override { return 300; }
    bool setPrintQuality(int) override { return false; }
    std::optional<int> colorMode() const override { return {}; }
    bool setColorMode(int) override { return false; }
    std::optional<int> duplex() const override { return {}; }
    bool setDuplex(int) override { return false; }
    std::optional<int> orientation() const override { return {}; }
    bool setOrientation(int) override { return false; }
    std::optional<int> zoom() const override { return {}; }
    bool setZoom(int) override { return false; }
    QList<zl::printer::PaperInfo> papers() const override { return {}; }
    zl::printer::PageGeometry pageGeometry() const override
    {
        return {m_paper, QRectF(QPointF(0, 0), m_paper), 300};
    }
    void printDocument(const QList<QPicture> &pages) override { m_documents->append(pages); }

private:
    QList<QList<QPicture>> *m_documents;
    QSizeF m_paper;
};

// A progress window that remembers what it was told; `onEvents` runs where
// the real window would let a click in.
struct ProgressDouble : zl::printing::ProgressView {
    int opened = 0;
    int closed = 0;
    QStringList texts;
    std::function<void()> onEvents;
    void open() override { ++opened; }
    void setProgressText(const QString &text) override { texts << text; }
    void processEvents() override
    {
        if (onEvents)
            onEvents();
    }
    void close() override { ++closed; }
};

// The label fields of a record, X/Y/S as given.
zl::printing::LabelFields labelFor(const QStringList &columns, const QString &x = QStringLiteral("0"),
                                   const QString &y = QStringLiteral("0"), const QString &s = QStringLiteral("0"));

// Barcodes zbar finds in an image, as "TYPE:digits" (EAN-13, EAN-8, UPC-A…).
QStringList decodeBarcodes(const QImage &image);

// Renders a label at `dpi` and returns its (first) page image.
QImage renderLabel(zl::printing::LabelFields &fields, int dpi);

} // namespace zltest
