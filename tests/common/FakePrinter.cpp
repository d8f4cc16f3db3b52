#include "FakePrinter.h"

#include "common/Failure.h"

namespace zltest {

using zl::printer::PaperInfo;

FakePrinter::FakePrinter(QString name, QString driver, QString port)
    : m_name(std::move(name)), m_driver(std::move(driver)), m_port(std::move(port))
{
}

FakePrinter &FakePrinter::accept(int code, int widthTwips, int heightTwips, const QString &name)
{
    m_accepted.insert(code, {widthTwips, heightTwips});
    if (!name.isEmpty())
        m_names.insert(code, name);
    if (m_paper == 0) {
        m_paper = code;
        m_width = widthTwips;
        m_height = heightTwips;
    }
    return *this;
}

FakePrinter &FakePrinter::failing(Property p)
{
    m_failing.insert(p);
    return *this;
}

FakePrinter &FakePrinter::refusing(Property p)
{
    m_refusing.insert(p);
    return *this;
}

FakePrinter &FakePrinter::failingToPrint(QString description)
{
    m_printFailure = std::move(description);
    return *this;
}

std::optional<int> FakePrinter::get(Property p, int value) const
{
    if (m_failing.contains(p))
        return std::nullopt;
    return value;
}

bool FakePrinter::set(Property p, int &field, int value)
{
    static const char *const names[] = {"paper", "page", "bin", "quality", "color", "duplex", "orientation", "zoom"};
    setCalls << QStringLiteral("%1=%2").arg(QLatin1String(names[int(p)])).arg(value);
    if (m_failing.contains(p) || m_refusing.contains(p))
        return false;
    field = value;
    return true;
}

bool FakePrinter::setPaperSize(int code)
{
    int dummy = m_paper;
    if (!m_accepted.contains(code)) {
        setCalls << QStringLiteral("paper=%1").arg(code);
        return false;
    }
    if (!set(Property::PaperSize, dummy, code))
        return false;
    m_paper = code;
    m_width = m_accepted[code].first;
    m_height = m_accepted[code].second;
    return true;
}

bool FakePrinter::setPageWidthTwips(int twips)
{
    setCalls << QStringLiteral("width=%1").arg(twips);
    if (m_paper != 256 || m_failing.contains(Property::PageSize) || m_refusing.contains(Property::PageSize))
        return false;
    m_width = twips;
    return true;
}

bool FakePrinter::setPageHeightTwips(int twips)
{
    setCalls << QStringLiteral("height=%1").arg(twips);
    if (m_paper != 256 || m_failing.contains(Property::PageSize) || m_refusing.contains(Property::PageSize))
        return false;
    m_height = twips;
    return true;
}

QList<PaperInfo> FakePrinter::papers() const
{
    const_cast<FakePrinter *>(this)->papersAsked++;
    QList<PaperInfo> list;
    for (auto it = m_accepted.cbegin(); it != m_accepted.cend(); ++it) {
        const bool current = it.key() == 256 && m_paper == 256;
        list << PaperInfo{it.key(), current ? m_width : it.value().first, current ? m_height : it.value().second,
                          m_names.value(it.key(), QStringLiteral("paper %1").arg(it.key()))};
    }
    return list;
}

zl::printer::PageGeometry FakePrinter::pageGeometry() const
{
    zl::printer::PageGeometry g;
    g.paperMm = QSizeF(m_width / 56.7, m_height / 56.7);
    g.printableMm = QRectF(QPointF(0, 0), g.paperMm);
    return g;
}

zl::printer::PageGeometry FakePrinter::pageGeometryFor(int code) const
{
    // A paper it would refuse leaves its own, as a run finds it.
    if (code == m_paper || !m_accepted.contains(code) || m_failing.contains(Property::PaperSize)
        || m_refusing.contains(Property::PaperSize))
        return pageGeometry();
    zl::printer::PageGeometry g;
    g.paperMm = QSizeF(m_accepted[code].first / 56.7, m_accepted[code].second / 56.7);
    g.printableMm = QRectF(QPointF(0, 0), g.paperMm);
    return g;
}

void FakePrinter::printDocument(const QList<QPicture> &pages)
{
    if (!m_printFailure.isEmpty())
        throw zl::Failure(m_printFailure);
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
