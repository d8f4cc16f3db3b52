#pragma once
// Scripted printers for tests: which paper codes a printer takes, what it is
// called, which properties it cannot report or refuses to take, and every
// document it was handed.
#include "printer/PrinterSetup.h"

#include <QMap>
#include <QSet>
#include <functional>

namespace zltest {

enum class Property { PaperSize, PageSize, PaperBin, PrintQuality, ColorMode, Duplex, Orientation, Zoom };

class FakePrinter : public zl::printer::Printer {
public:
    explicit FakePrinter(QString name, QString driver = QStringLiteral("fake driver"),
                         QString port = QStringLiteral("fake:"));

    // Accepted paper codes with their size in twips and, when given, the
    // name the printer calls the paper ("paper CODE" otherwise). 256 takes
    // any size.
    FakePrinter &accept(int code, int widthTwips, int heightTwips, const QString &name = QString());
    // The property can neither be read nor set.
    FakePrinter &failing(Property p);
    // The property can be read but refuses every new value.
    FakePrinter &refusing(Property p);
    // Throws from printDocument with this description.
    FakePrinter &failingToPrint(QString description);

    QString deviceName() const override { return m_name; }
    QString driverName() const override { return m_driver; }
    QString port() const override { return m_port; }
    std::optional<int> paperSize() const override { return get(Property::PaperSize, m_paper); }
    bool setPaperSize(int code) override;
    std::optional<int> pageWidthTwips() const override { return get(Property::PageSize, m_width); }
    std::optional<int> pageHeightTwips() const override { return get(Property::PageSize, m_height); }
    bool setPageWidthTwips(int twips) override;
    bool setPageHeightTwips(int twips) override;
    std::optional<int> paperBin() const override { return get(Property::PaperBin, m_bin); }
    bool setPaperBin(int bin) override { return set(Property::PaperBin, m_bin, bin); }
    std::optional<int> printQuality() const override { return get(Property::PrintQuality, m_quality); }
    bool setPrintQuality(int q) override { return set(Property::PrintQuality, m_quality, q); }
    std::optional<int> colorMode() const override { return get(Property::ColorMode, m_color); }
    bool setColorMode(int m) override { return set(Property::ColorMode, m_color, m); }
    std::optional<int> duplex() const override { return get(Property::Duplex, m_duplex); }
    bool setDuplex(int d) override { return set(Property::Duplex, m_duplex, d); }
    std::optional<int> orientation() const override { return get(Property::Orientation, m_orientation); }
    bool setOrientation(int o) override { return set(Property::Orientation, m_orientation, o); }
    std::optional<int> zoom() const override { return get(Property::Zoom, m_zoom); }
    bool setZoom(int z) override { return set(Property::Zoom, m_zoom, z); }

    QList<zl::printer::PaperInfo> papers() const override;
    zl::printer::PageGeometry pageGeometry() const override;
    zl::printer::PageGeometry pageGeometryFor(int code) const override;
    void printDocument(const QList<QPicture> &pages) override;

    // Every setter call, in order, as "name=value" (refused ones too).
    QStringList setCalls;
    QList<QList<QPicture>> documents;
    // Called with the document's number (from 1) before it is taken, on the
    // thread that prints it: a printer that takes its time.
    std::function<void(int)> beforeDocument;
    int papersAsked = 0;

private:
    std::optional<int> get(Property p, int value) const;
    bool set(Property p, int &field, int value);

    QString m_name, m_driver, m_port;
    QMap<int, QPair<int, int>> m_accepted;
    QMap<int, QString> m_names;
    QSet<Property> m_failing, m_refusing;
    QString m_printFailure;
    int m_paper = 0, m_width = 0, m_height = 0;
    int m_bin = 7, m_quality = 300, m_color = 1, m_duplex = 1, m_orientation = 1, m_zoom = 100;
};

// Installs the given printers as the process-wide collection (the first
// current unless told) and gives back raw pointers to them.
QList<FakePrinter *> installFakePrinters(std::vector<std::unique_ptr<FakePrinter>> list, int current = 0);

// A print-setup dialog that answers as scripted: `answer` sees the records
// handed in, may change them, and returns confirm (true) or cancel (false).
class ScriptedPrintSetupDialog : public zl::printer::PrintSetupDialog {
public:
    using Answer = std::function<bool(zl::printer::PrintSetupRecords &)>;
    explicit ScriptedPrintSetupDialog(Answer answer) : m_answer(std::move(answer)) {}
    bool run(zl::printer::PrintSetupRecords &records, uint32_t flags, QWidget *owner) override;

    int runs = 0;
    uint32_t lastFlags = 0;
    zl::printer::PrintSetupRecords handedIn{};

private:
    Answer m_answer;
};

// Installs a scripted dialog and returns it (owned by the printer module).
ScriptedPrintSetupDialog *installScriptedDialog(ScriptedPrintSetupDialog::Answer answer);

} // namespace zltest
