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
    // What every printer made for a run reports to the one it was made from.
    struct Log {
        QStringList setCalls;
        QList<QList<QPicture>> documents;
        std::function<void(int)> beforeDocument;
        int papersAsked = 0;
    };
    std::shared_ptr<Log> m_log = std::make_shared<Log>();

public:
    explicit FakePrinter(QString name, QString driver = QStringLiteral("fake driver"),
                         QString port = QStringLiteral("fake:"));
    // The same printer for a run: what it is told and given shows here.
    FakePrinter(const FakePrinter &from);
    FakePrinter &operator=(const FakePrinter &) = delete;
    zl::printer::RunPrinterMaker runPrinterMaker() const override;

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

    QString deviceName() const override { return m_s.name; }
    QString driverName() const override { return m_s.driver; }
    QString port() const override { return m_s.port; }
    std::optional<int> paperSize() const override { return get(Property::PaperSize, m_s.paper); }
    bool setPaperSize(int code) override;
    std::optional<int> pageWidthTwips() const override { return get(Property::PageSize, m_s.width); }
    std::optional<int> pageHeightTwips() const override { return get(Property::PageSize, m_s.height); }
    bool setPageWidthTwips(int twips) override;
    bool setPageHeightTwips(int twips) override;
    std::optional<int> paperBin() const override { return get(Property::PaperBin, m_s.bin); }
    bool setPaperBin(int bin) override { return set(Property::PaperBin, m_s.bin, bin); }
    std::optional<int> printQuality() const override { return get(Property::PrintQuality, m_s.quality); }
    bool setPrintQuality(int q) override { return set(Property::PrintQuality, m_s.quality, q); }
    std::optional<int> colorMode() const override { return get(Property::ColorMode, m_s.color); }
    bool setColorMode(int m) override { return set(Property::ColorMode, m_s.color, m); }
    std::optional<int> duplex() const override { return get(Property::Duplex, m_s.duplex); }
    bool setDuplex(int d) override { return set(Property::Duplex, m_s.duplex, d); }
    std::optional<int> orientation() const override { return get(Property::Orientation, m_s.orientation); }
    bool setOrientation(int o) override { return set(Property::Orientation, m_s.orientation, o); }
    std::optional<int> zoom() const override { return get(Property::Zoom, m_s.zoom); }
    bool setZoom(int z) override { return set(Property::Zoom, m_s.zoom, z); }

    QList<zl::printer::PaperInfo> papers() const override;
    zl::printer::PageGeometry pageGeometry() const override;
    zl::printer::PageGeometry pageGeometryFor(int code) const override;
    void printDocument(const QList<QPicture> &pages) override;

    // Every setter call, in order, as "name=value" (refused ones too).
    QStringList &setCalls = m_log->setCalls;
    QList<QList<QPicture>> &documents = m_log->documents;
    // Called with the document's number (from 1) before it is taken, on the
    // thread that prints it: a printer that takes its time.
    std::function<void(int)> &beforeDocument = m_log->beforeDocument;
    int &papersAsked = m_log->papersAsked;

private:
    std::optional<int> get(Property p, int value) const;
    bool set(Property p, int &field, int value);

    struct State {
        QString name, driver, port;
        QMap<int, QPair<int, int>> accepted;
        QMap<int, QString> names;
        QSet<Property> failing, refusing;
        QString printFailure;
        int paper = 0, width = 0, height = 0;
        int bin = 7, quality = 300, color = 1, duplex = 1, orientation = 1, zoom = 100;
    };
    State m_s;
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
