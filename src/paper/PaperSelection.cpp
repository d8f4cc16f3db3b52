#include "paper/PaperSelection.h"

#include "common/Failure.h"
#include "common/Length.h"
#include "printer/DeviceRecords.h"
#include "printer/PaperCodes.h"
#include "sheets/SheetChoice.h"
#include "paper/StoredChoices.h"
#include "settings/SettingsTable.h"

#include <QRegularExpression>
#include <QtMath>
#include <algorithm>

namespace zl::printer {

namespace {
// The paper the next run takes: with the fixed connection type the stored
// one, when the printer lists it; else the printer's own. Only exactly "1"
// is the variable type for a run, whose dialog decides the paper then; an
// unreadable layout table leaves the printer's own paper (the run itself
// will say what is wrong with the table).
int paperCodeInForce(const Printer &p, const StoredChoices &stored)
{
    const int own = p.paperSize().value_or(0);
    if (!stored.layout || stored.layout->printer == QStringLiteral("1"))
        return own;
    bool ok = false;
    const int code = stored.layout->yoshi.trimmed().toInt(&ok);
    if (!ok || code <= 0 || code == own)
        return own;
    const QList<PaperInfo> papers = p.papers();
    const bool listed =
        std::any_of(papers.begin(), papers.end(), [code](const PaperInfo &i) { return i.code == code; });
    return listed ? code : own;
}
} // namespace

std::optional<PageGeometry> pageInForce()
{
    Printer *p = currentPrinter();
    if (!p)
        return std::nullopt;
    const StoredChoices stored = storedChoices();
    const int code = paperCodeInForce(*p, stored);
    const PageGeometry page = code == p->paperSize() ? p->pageGeometry() : p->pageGeometryFor(code);
    // On a label sheet each label is one position of the sheet.
    if (stored.sheet)
        if (const SheetTemplate *sheet = stored.sheet->sheet())
            return labelPage(page, sheet);
    return page;
}

LabelScale labelScaleInForce()
{
    return storedChoices().scale;
}

namespace {
constexpr int kHighestProbedCode = 1024;

QString orPlaceholder(const QString &value)
{
    return value.isEmpty() ? QStringLiteral("_") : value;
}
} // namespace

QString paperEntry(int code, int widthTwips, int heightTwips)
{
    return QStringLiteral("%1\t%2 x %3")
        .arg(code)
        .arg(qRound(Length::storedMmFromTwips(widthTwips)))
        .arg(qRound(Length::storedMmFromTwips(heightTwips)));
}

namespace {
QString sizeText(const PaperInfo &p)
{
    return QStringLiteral("%1 x %2 mm")
        .arg(qRound(Length::storedMmFromTwips(p.widthTwips)))
        .arg(qRound(Length::storedMmFromTwips(p.heightTwips)));
}

// Within half a millimetre, as CUPS matches a size to a name.
bool sameSize(const PaperInfo &a, const PaperInfo &b)
{
    const double slackTwips = Length::mm(0.5).twips();
    return qAbs(a.widthTwips - b.widthTwips) <= slackTwips && qAbs(a.heightTwips - b.heightTwips) <= slackTwips;
}

} // namespace

bool listsLabelStock(const QList<PaperInfo> &papers)
{
    int own = 0, all = 0;
    for (const PaperInfo &p : papers) {
        if (p.code == kUserPaperSize)
            continue;
        ++all;
        own += p.code > kUserPaperSize;
    }
    return own * 2 > all;
}

PaperChoices paperChoices(const Printer *printer)
{
    PaperChoices c;
    if (!printer)
        return c;
    QList<PaperInfo> papers = printer->papers();
    std::stable_sort(papers.begin(), papers.end(), [](const PaperInfo &a, const PaperInfo &b) { return a.code < b.code; });
    const int inForce = printer->paperSize().value_or(0);
    QList<PaperInfo> shown;
    for (const PaperInfo &p : papers) {
        if (p.code < 1 || p.code > kHighestProbedCode || (!shown.isEmpty() && shown.last().code == p.code))
            continue;
        // The user-defined size is a size of its own, whatever it is now.
        const auto twin = std::find_if(shown.begin(), shown.end(), [&p](const PaperInfo &s) {
            return p.code != kUserPaperSize && s.code != kUserPaperSize && sameSize(s, p);
        });
        if (twin != shown.end()) {
            if (p.code != inForce)
                continue;
            shown.erase(twin);
        }
        shown << p;
    }
    const bool labels = listsLabelStock(papers);
    for (const PaperInfo &p : shown) {
        const QString name = readablePaperName(p, labels);
        const QString size = sizeText(p);
        c.entries << paperEntry(p.code, p.widthTwips, p.heightTwips);
        c.codes << QString::number(p.code);
        c.names << name;
        c.rows << QStringLiteral("%1\t%2\t%3").arg(name, name == size ? QString() : size).arg(p.code);
    }
    return c;
}

QString readablePaperName(const PaperInfo &paper, bool labelPrinter)
{
    static const QRegularExpression keyword(QStringLiteral(
        "^(?:[0-9.]+x[0-9.]+(?:mm|in)?(?:\\.[A-Za-z]+)?|w[0-9.]+h[0-9.]+|[a-z]+_[^ ]*_[0-9.]+x[0-9.]+(?:mm|in)"
        "|[Cc]ustom\\.[0-9.]+x[0-9.]+[a-z]*)$"));
    static const QRegularExpression variant(QStringLiteral("^(.+)\\.[A-Za-z]+$"));
    QString name = paper.name;
    if (const auto m = variant.match(name); m.hasMatch() && paperCodeForName(m.captured(1)) > 0)
        name = m.captured(1);
    const bool bySize = name.isEmpty() || keyword.match(name).hasMatch()
        || (labelPrinter && name.startsWith(QLatin1String("Env")));
    if (!bySize)
        return name;
    if (paper.widthTwips <= 0 || paper.heightTwips <= 0)
        return paper.name;
    const double wMm = Length::storedMmFromTwips(paper.widthTwips), hMm = Length::storedMmFromTwips(paper.heightTwips);
    // Whole millimetres come out within a twip.
    if (qAbs(wMm - qRound(wMm)) < 0.05 && qAbs(hMm - qRound(hMm)) < 0.05)
        return QStringLiteral("%1 x %2 mm").arg(qRound(wMm)).arg(qRound(hMm));
    return QStringLiteral("%1x%2\"")
        .arg(paper.widthTwips / Length::kTwipsPerInch, 0, 'f', 2)
        .arg(paper.heightTwips / Length::kTwipsPerInch, 0, 'f', 2);
}

LayoutRow readLayoutRow()
{
    const settings::SettingsRecord r = settings::QuerySettingsTable(settings::kLayoutTable);
    return {r.value(QStringLiteral("TITLE1")), r.value(QStringLiteral("TITLE2")), r.value(QStringLiteral("YOSHI")),
            r.value(QStringLiteral("PRINTER"))};
}

namespace {
// The paper as the printer lists it, or, in force, as it stands.
QString paperText(const Printer &p, int code)
{
    const QList<PaperInfo> papers = p.papers();
    const auto listed =
        std::find_if(papers.begin(), papers.end(), [code](const PaperInfo &i) { return i.code == code; });
    const bool inForce = code == p.paperSize();
    const int width = inForce || listed == papers.end() ? p.pageWidthTwips().value_or(0) : listed->widthTwips;
    const int height = inForce || listed == papers.end() ? p.pageHeightTwips().value_or(0) : listed->heightTwips;
    const QString size = QStringLiteral("%1 x %2 mm")
                             .arg(qRound(Length::storedMmFromTwips(width)))
                             .arg(qRound(Length::storedMmFromTwips(height)));
    if (listed != papers.end())
        if (const QString name = readablePaperName(*listed, listsLabelStock(papers)); name != size)
            return QStringLiteral("%1（%2）").arg(name, size);
    return size;
}
} // namespace

QString printerInForceText()
{
    // Asked first: an answer taken in between would leave no printer named.
    if (PrinterCollection *all = printers(); all && all->stillAsking())
        return QStringLiteral("プリンター: 確認しています…");
    Printer *p = currentPrinter();
    if (!p)
        return QStringLiteral("プリンター: なし");
    // A printer that merely stands in for one nobody knows is not named as
    // the run's: the run refuses, and the line says why.
    if (PrinterCollection *all = printers(); all && !all->currentProblem().isEmpty())
        return QStringLiteral("プリンター: なし（印刷しません）\n注意: ") + all->currentProblem();
    const StoredChoices stored = storedChoices();
    const bool variable = stored.layout && stored.layout->printer == QStringLiteral("1");
    // Read where nothing waits, a queue not heard from yet says so instead
    // of a paper it may not have.
    const QString paper =
        p->stillAsking() ? QStringLiteral("確認しています…") : paperText(*p, paperCodeInForce(*p, stored));
    const QString now = QStringLiteral("%1　用紙: %2").arg(p->deviceName(), paper);
    QString text = variable ? QStringLiteral("プリンター: 印刷のたびに選択（いま %1）").arg(now) : QStringLiteral("プリンター: %1").arg(now);
    if (stored.sheet)
        if (const SheetTemplate *sheet = stored.sheet->sheet())
            text += QStringLiteral("　シート: %1").arg(sheet->name);
    if (const QString notice = p->printingNotice(); !notice.isEmpty())
        text += QStringLiteral("\n注意: ") + notice;
    if (const QString problem = p->unansweredProblem(); !problem.isEmpty())
        text += QStringLiteral("\n注意: ") + problem;
    return text;
}

QString unusablePrinterProblem()
{
    // Asked before a run waits for anything: what is known now.
    const WithoutWaiting withoutWaiting;
    if (PrinterCollection *all = printers(); all && !all->currentProblem().isEmpty())
        return all->currentProblem();
    if (const Printer *p = currentPrinter())
        return p->unansweredProblem();
    return {};
}

void savePaperChoice(const LayoutRow &row)
{
    settings::RewriteSettingsTable(settings::kLayoutTable, settings::layoutColumns(),
                                   {orPlaceholder(row.title1), orPlaceholder(row.title2), orPlaceholder(row.yoshi),
                                    row.printer});
    PrinterInForceNews::instance().tell();
}

bool isVariableConnection(const QString &printerValue, bool *readable)
{
    bool ok = false;
    const double number = printerValue.trimmed().toDouble(&ok);
    if (readable)
        *readable = ok;
    return ok && number != 0;
}

void saveConnectionType(const LayoutRow &asRead, bool variable)
{
    const QStringList values = variable
        ? QStringList{asRead.title1, asRead.title2, QStringLiteral("999"), QStringLiteral("1")}
        : QStringList{asRead.title1, asRead.title2, asRead.yoshi, QStringLiteral("0")};
    settings::RewriteSettingsTable(settings::kLayoutTable, settings::layoutColumns(), values);
    PrinterInForceNews::instance().tell();
}

} // namespace zl::printer
