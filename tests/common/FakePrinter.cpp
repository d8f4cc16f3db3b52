#include "FakePrinter.h"

#include "common/Failure.h"

namespace zltest {

using zl::printer::PaperInfo;

FakePrinter::FakePrinter(QString name, QString driver, QString port)
{
    m_s.name = std::move(name);
    m_s.driver = std::move(driver);
    m_s.port = std::move(port);
}

FakePrinter::FakePrinter(const FakePrinter &from) : Printer(), m_log(from.m_log), m_s(from.m_s) {}

zl::printer::RunPrinterMaker FakePrinter::runPrinterMaker() const
{
    return [copy = std::make_shared<FakePrinter>(*this)] { return std::make_unique<FakePrinter>(*copy); };
}

FakePrinter &FakePrinter::accept(int code, int widthTwips, int heightTwips, const QString &name)
{
    m_s.accepted.insert(code, {widthTwips, heightTwips});
    if (!name.isEmpty())
        m_s.names.insert(code, name);
    if (m_s.paper == 0) {
        m_s.paper = code;
        m_s.width = widthTwips;
        m_s.height = heightTwips;
    }
    return *this;
}

FakePrinter &FakePrinter::failing(Property p)
{
    m_s.failing.insert(p);
    return *this;
}

FakePrinter &FakePrinter::refusing(Property p)
{
    m_s.refusing.insert(p);
    return *this;
}

FakePrinter &FakePrinter::failingToPrint(QString description)
{
    m_s.printFailure = std::move(description);
    return *this;
}

std::optional<int> FakePrinter::get(Property p, int value) const
{
    if (m_s.failing.contains(p))
        return std::nullopt;
    return value;
}

bool FakePrinter::set(Property p, int &field, int value)
{
    static const char *const names[] = {"paper", "page", "bin", "quality", "color", "duplex", "orientation", "zoom"};
    setCalls << QStringLiteral("%1=%2").arg(QLatin1String(names[int(p)])).arg(value);
    if (m_s.failing.contains(p) || m_s.refusing.contains(p))
        return false;
    field = value;
    return true;
}

bool FakePrinter::setPaperSize(int code)
{
    int dummy = m_s.paper;
    if (!m_s.accepted.contains(code)) {
        setCalls << QStringLiteral("paper=%1").arg(code);
        return false;
    }
    if (!set(Property::PaperSize, dummy, code))
        return false;
    m_s.paper = code;
    m_s.width = m_s.accepted[code].first;
    m_s.height = m_s.accepted[code].second;
    return true;
}

bool FakePrinter::setPageWidthTwips(int twips)
{
    setCalls << QStringLiteral("width=%1").arg(twips);
    if (m_s.paper != 256 || m_s.failing.contains(Property::PageSize) || m_s.refusing.contains(Property::PageSize))
        return false;
    m_s.width = twips;
    return true;
}

bool FakePrinter::setPageHeightTwips(int twips)
{
    setCalls << QStringLiteral("height=%1").arg(twips);
    if (m_s.paper != 256 || m_s.failing.contains(Property::PageSize) || m_s.refusing.contains(Property::PageSize))
        return false;
    m_s.height = twips;
    return true;
}

QList<PaperInfo> FakePrinter::papers() const
{
    const_cast<FakePrinter *>(this)->papersAsked++;
    QList<PaperInfo> list;
    for (auto it = m_s.accepted.cbegin(); it != m_s.accepted.cend(); ++it) {
        const bool current = it.key() == 256 && m_s.paper == 256;
        list << PaperInfo{it.key(), current ? m_s.width : it.value().first, current ? m_s.height : it.value().second,
                          m_s.names.value(it.key(), QStringLiteral("paper %1").arg(it.key()))};
    }
    return list;
}

zl::printer::PageGeometry FakePrinter::pageGeometry() const
{
    zl::printer::PageGeometry g;
    g.paperMm = QSizeF(m_s.width / 56.7, m_s.height / 56.7);
    g.printableMm = QRectF(QPointF(0, 0), g.paperMm);
    return g;
}

zl::printer::PageGeometry FakePrinter::pageGeometryFor(int code) const
{
    // A paper it would refuse leaves its own, as a run finds it.
    if (code == m_s.paper || !m_s.accepted.contains(code) || m_s.failing.contains(Property::PaperSize)
        || m_s.refusing.contains(Property::PaperSize))
        return pageGeometry();
    zl::printer::PageGeometry g;
    g.paperMm = QSizeF(m_s.accepted[code].first / 56.7, m_s.accepted[code].second / 56.7);
    g.printableMm = QRectF(QPointF(0, 0), g.paperMm);
    return g;
}

void FakePrinter::printDocument(const QList<QPicture> &pages)
{
    if (!m_s.printFailure.isEmpty())
        throw zl::Failure(m_s.printFailure);
    if (beforeDocument)
        beforeDocument(int(documents.size()) + 1);
    documents << pages;
}

QList<FakePrinter *> installFakePrinters(std::vector<std::unique_ptr<FakePrinter>> list, int current)
{
    QList<FakePrinter *> raw;
    std::vector<std::unique_ptr<zl::printer::Printer>> owned;
    for (auto &p : list) {
        raw << p.get();
        owned.push_back(std::move(p));
    }
    zl::printer::installPrinters(std::make_unique<zl::printer::OwnedPrinterCollection>(std::move(owned), current));
    return raw;
}

bool ScriptedPrintSetupDialog::run(zl::printer::PrintSetupRecords &records, uint32_t flags, QWidget *)
{
    ++runs;
    lastFlags = flags;
    handedIn = records;
    return m_answer(records);
}

ScriptedPrintSetupDialog *installScriptedDialog(ScriptedPrintSetupDialog::Answer answer)
{
    auto d = std::make_unique<ScriptedPrintSetupDialog>(std::move(answer));
    ScriptedPrintSetupDialog *raw = d.get();
    zl::printer::installPrintSetupDialog(std::move(d));
    return raw;
}

} // namespace zltest
