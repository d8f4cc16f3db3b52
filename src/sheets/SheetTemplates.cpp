#include "sheets/SheetTemplates.h"

#include "sheets/GlabelsTemplates.h"

#include <QCollator>
#include <QDir>
#include <QHash>
#include <QPageSize>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <future>
#include <memory>

namespace zl::printer {

namespace {

constexpr int kA4 = 9;
const QSizeF kA4Mm(210, 297);

QString lookupKey(const QString &id)
{
    return id.simplified().toCaseFolded();
}

QString mmText(double mm)
{
    return QString::number(std::round(mm * 10) / 10, 'g', 6);
}

// Geometry as Hisago publishes it for each product (the same sheets are sold
// under other makers' numbers with the same layout). These keep the ids
// stored before the library was read, and stand for the library's own
// entries of the same products.
const QList<SheetTemplate> &builtInSheets()
{
    // Never changed: shared by every thread, which hold pointers into it.
    static const QList<SheetTemplate> sheets = [] {
        auto sheet = [](const char *id, const char *name, const char *part, QSizeF label, SheetLayout grid) {
            SheetTemplate t;
            t.id = QString::fromLatin1(id);
            t.name = QString::fromUtf8(name);
            t.maker = QStringLiteral("Hisago");
            t.part = QString::fromLatin1(part);
            t.description = QStringLiteral("Rectangular labels");
            t.paperName = QStringLiteral("A4");
            t.paperCode = kA4;
            t.paperMm = kA4Mm;
            t.labelMm = label;
            t.layouts = {grid};
            return t;
        };
        return QList<SheetTemplate>{
            sheet("A4-12", "A4 12面 (2×6) ヒサゴ ELM008 86.4×42.3mm", "ELM008", QSizeF(86.4, 42.3),
                  {2, 6, 18.6, 21.2, 86.4, 42.3}),
            sheet("A4-24", "A4 24面 (3×8) ヒサゴ ELM012 66×33.9mm", "ELM012", QSizeF(66, 33.9), {3, 8, 6, 12.9, 66, 33.9}),
            sheet("A4-44", "A4 44面 (4×11) ヒサゴ ELM022 48.3×25.4mm", "ELM022", QSizeF(48.3, 25.4),
                  {4, 11, 8.4, 8.8, 48.3, 25.4}),
        };
    }();
    return sheets;
}

const SheetTemplate *findBuiltIn(const QString &key)
{
    for (const SheetTemplate &s : builtInSheets())
        if (lookupKey(s.id) == key || lookupKey(s.maker + QLatin1Char(' ') + s.part) == key)
            return &s;
    return nullptr;
}

// The Windows paper number for a sheet's paper, 256 (a size of its own)
// where none is exactly that size.
int paperCodeFor(QSizeF mm)
{
    const QPageSize::PageSizeId id = QPageSize::id(mm, QPageSize::Millimeter, QPageSize::ExactMatch);
    const int code = id == QPageSize::Custom ? 0 : QPageSize::windowsId(id);
    return code > 0 && code < 256 ? code : 256;
}

struct Library {
    QList<SheetTemplate> sheets;
    QHash<QString, qsizetype> byKey;
};

// Read once for the process and never changed after, so the screens and a
// run's thread can hold pointers into it.
const std::shared_future<std::shared_ptr<const Library>> &library()
{
    static const std::shared_future<std::shared_ptr<const Library>> future = [] {
        const SheetSources sources = systemSheetSources();
        return std::async(std::launch::async, [sources] {
                     QStringList problems;
                     auto lib = std::make_shared<Library>();
                     lib->sheets = readSheetLibrary(sources, &problems);
                     for (qsizetype i = 0; i < lib->sheets.size(); ++i) {
                         const SheetTemplate &s = lib->sheets[i];
                         lib->byKey.insert(lookupKey(s.id), i);
                         lib->byKey.insert(lookupKey(s.maker + QLatin1Char(' ') + s.part), i);
                     }
                     for (const QString &p : problems)
                         std::fprintf(stderr, "%s\n", p.toLocal8Bit().constData());
                     std::fflush(stderr);
                     return std::shared_ptr<const Library>(std::move(lib));
                 }).share();
    }();
    return future;
}

} // namespace

int SheetTemplate::positions() const
{
    int n = 0;
    for (const SheetLayout &l : layouts)
        n += l.columns * l.rows;
    return n;
}

QRectF SheetTemplate::positionRect(int n) const
{
    int index = n - 1;
    for (const SheetLayout &l : layouts) {
        if (index >= 0 && index < l.columns * l.rows)
            return {QPointF(l.leftMm + index % l.columns * l.pitchXMm, l.topMm + index / l.columns * l.pitchYMm), labelMm};
        index -= l.columns * l.rows;
    }
    return {};
}

int SheetTemplate::positionAt(QPointF mm) const
{
    for (int n = 1; n <= positions(); ++n)
        if (positionRect(n).contains(mm))
            return n;
    return 0;
}

QString SheetTemplate::labelSizeText() const
{
    return QStringLiteral("%1 x %2").arg(mmText(labelMm.width()), mmText(labelMm.height()));
}

SheetSources systemSheetSources()
{
    SheetSources s;
    for (const QString &data : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
        const QString folder = data + QStringLiteral("/libglabels-3.0/templates");
        if (QDir(folder).exists() && !s.libraryFolders.contains(folder))
            s.libraryFolders << folder;
    }
    s.userFolders << QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                         + QStringLiteral("/libglabels/templates")
                  << QDir::homePath() + QStringLiteral("/.glabels");
    return s;
}

QList<SheetTemplate> readSheetLibrary(const SheetSources &sources, QStringList *problems)
{
    QList<SheetTemplate> sheets = builtInSheets();
    QHash<QString, qsizetype> index;
    QStringList unheard;
    for (const glabels::ProductTemplate &t :
         glabels::readTemplates(sources.libraryFolders, sources.userFolders, problems ? problems : &unheard)) {
        const QString id = t.maker + QLatin1Char(' ') + t.part;
        const QString key = lookupKey(id);
        if (findBuiltIn(key))
            continue;
        SheetTemplate s;
        s.id = id;
        s.maker = t.maker;
        s.part = t.part;
        s.description = t.description;
        s.sameAs = t.sameAs;
        s.paperMm = t.paperMm;
        s.paperName = t.paperName.isEmpty()
                          ? QStringLiteral("%1 x %2 mm").arg(mmText(t.paperMm.width()), mmText(t.paperMm.height()))
                          : t.paperName;
        s.paperCode = paperCodeFor(t.paperMm);
        s.labelMm = t.labelMm;
        s.roundMm = t.roundMm;
        for (const glabels::ProductLayout &l : t.layouts)
            s.layouts << SheetLayout{l.columns, l.rows, l.leftMm, l.topMm, l.pitchXMm, l.pitchYMm};
        s.name = QStringLiteral("%1 (%2 %3面 %4 mm)").arg(id, s.paperName).arg(s.positions()).arg(s.labelSizeText());
        // A user's own template comes after the library's and replaces it.
        if (const auto it = index.constFind(key); it != index.cend())
            sheets[*it] = s;
        else {
            index.insert(key, sheets.size());
            sheets << s;
        }
    }
    QCollator order;
    order.setNumericMode(true);
    order.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(sheets.begin(), sheets.end(), [&](const SheetTemplate &a, const SheetTemplate &b) {
        if (const int c = order.compare(a.maker, b.maker))
            return c < 0;
        return order.compare(a.part, b.part) < 0;
    });
    return sheets;
}

void startReadingSheetLibrary()
{
    library();
}

const QList<SheetTemplate> &sheetTemplates()
{
    return library().get()->sheets;
}

const SheetTemplate *findSheet(const QString &id)
{
    const QString key = lookupKey(id);
    if (key.isEmpty())
        return nullptr;
    if (const SheetTemplate *s = findBuiltIn(key))
        return s;
    const Library &lib = *library().get();
    const auto it = lib.byKey.constFind(key);
    return it == lib.byKey.cend() ? nullptr : &lib.sheets[*it];
}

SheetPlan planSheets(const SheetTemplate &sheet, int start, int labels)
{
    SheetPlan plan;
    const int perSheet = sheet.positions();
    int position = std::clamp(start, 1, perSheet);
    plan.nextStart = position;
    while (labels > 0) {
        const int onPage = std::min(labels, perSheet - position + 1);
        plan.labelsPerPage.append(onPage);
        labels -= onPage;
        position += onPage;
        if (position > perSheet)
            position = 1;
        plan.nextStart = position;
    }
    return plan;
}

} // namespace zl::printer
