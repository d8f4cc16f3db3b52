#include "sheets/GlabelsTemplates.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QXmlStreamReader>

#include <algorithm>
#include <optional>

namespace zl::printer::glabels {

namespace {

struct Paper {
    QString name;
    QSizeF mm;
};

// Why a template is left out; thrown while reading it.
struct Unreadable {
    QString why;
};

// "3.2mm", "0.125in", "9pt", "181" (points).
double lengthMm(const QXmlStreamAttributes &a, QLatin1StringView name, std::optional<double> fallback = std::nullopt)
{
    const QString text = a.value(name).toString().trimmed();
    // An empty value is no value, as gLabels reads it (Zweckform 3490's x0).
    if (text.isEmpty()) {
        if (fallback)
            return *fallback;
        throw Unreadable{QStringLiteral("%1 がありません").arg(name)};
    }
    // The number as strtod reads it ("3.93386e-16pt" is in the library),
    // then the unit.
    qsizetype end = text[0] == QLatin1Char('-') || text[0] == QLatin1Char('+') ? 1 : 0;
    while (end < text.size() && (text[end].isDigit() || text[end] == QLatin1Char('.')))
        ++end;
    if (end + 1 < text.size() && (text[end] == QLatin1Char('e') || text[end] == QLatin1Char('E'))) {
        qsizetype exp = end + 1;
        if (text[exp] == QLatin1Char('-') || text[exp] == QLatin1Char('+'))
            ++exp;
        if (exp < text.size() && text[exp].isDigit()) {
            while (exp < text.size() && text[exp].isDigit())
                ++exp;
            end = exp;
        }
    }
    bool ok = false;
    const double value = text.left(end).toDouble(&ok);
    const QString unit = text.mid(end).trimmed().toLower();
    // "5,0mm": a number written the way no reader of the format takes.
    if (!ok || std::any_of(unit.cbegin(), unit.cend(), [](QChar c) { return !c.isLetter(); }))
        throw Unreadable{QStringLiteral("%1「%2」が数値ではありません").arg(name, text)};
    static const QHash<QString, double> mmPer{{QString(), 25.4 / 72},          {QStringLiteral("pt"), 25.4 / 72},
                                               {QStringLiteral("in"), 25.4},    {QStringLiteral("mm"), 1},
                                               {QStringLiteral("cm"), 10},      {QStringLiteral("pc"), 25.4 / 6}};
    const auto it = mmPer.constFind(unit);
    if (it == mmPer.cend())
        throw Unreadable{QStringLiteral("%1「%2」の単位「%3」は pt, in, mm, cm, pc のどれでもありません").arg(name, text, unit)};
    return value * *it;
}

int count(const QXmlStreamAttributes &a, QLatin1StringView name)
{
    if (!a.hasAttribute(name))
        return 1;
    bool ok = false;
    const int n = a.value(name).toInt(&ok);
    if (!ok || n < 1)
        throw Unreadable{QStringLiteral("%1「%2」が1以上の整数ではありません").arg(name, a.value(name).toString())};
    return n;
}

QHash<QString, Paper> readPapers(const QString &file)
{
    // The two papers nearly every product is on, for a user's own template
    // read without the library.
    QHash<QString, Paper> papers{{QStringLiteral("A4"), {QStringLiteral("A4"), QSizeF(210, 297)}},
                                 {QStringLiteral("US-Letter"), {QStringLiteral("US Letter"), QSizeF(215.9, 279.4)}}};
    QFile f(file);
    if (file.isEmpty() || !f.open(QIODevice::ReadOnly))
        return papers;
    QXmlStreamReader xml(&f);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != QLatin1StringView("Paper-size"))
            continue;
        const QXmlStreamAttributes a = xml.attributes();
        try {
            papers.insert(a.value(QLatin1StringView("id")).toString(),
                          {a.value(QLatin1StringView("_name")).toString(),
                           QSizeF(lengthMm(a, QLatin1StringView("width")), lengthMm(a, QLatin1StringView("height")))});
        } catch (const Unreadable &) {
        }
    }
    return papers;
}

struct Read {
    ProductTemplate product;
    QString equiv; // the part of the same maker this one is a copy of
    bool rectangular = false;
    bool otherShape = false;
    QString where; // file:line, for the operator
};

QString productName(const ProductTemplate &t)
{
    return t.maker + QLatin1Char(' ') + t.part;
}

QString leftOut(const QString &where, const QString &product, const QString &why)
{
    return QStringLiteral("ラベルシートの定義 %1: 「%2」を読み飛ばしました: %3").arg(where, product, why);
}

// The templates of one file; a file that is no well-formed XML gives none.
void readFile(const QString &path, const QHash<QString, Paper> &papers, QList<Read> *out, QStringList *problems)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        problems->append(QStringLiteral("ラベルシートの定義ファイル %1 を読めません: %2").arg(QDir::toNativeSeparators(path), f.errorString()));
        return;
    }
    QXmlStreamReader xml(&f);
    QList<Read> found;
    QStringList skipped;
    std::optional<Read> cur;
    QString error;
    bool inRectangle = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const QStringView name = xml.name();
            const QXmlStreamAttributes a = xml.attributes();
            if (name == QLatin1StringView("Template")) {
                cur = Read{};
                error.clear();
                cur->where = QStringLiteral("%1:%2").arg(QDir::toNativeSeparators(path)).arg(xml.lineNumber());
                ProductTemplate &t = cur->product;
                t.maker = a.value(QLatin1StringView("brand")).toString().simplified();
                t.part = a.value(QLatin1StringView("part")).toString().simplified();
                if (t.maker.isEmpty() && t.part.isEmpty()) {
                    // gLabels 2's single name: "Avery 5160".
                    const QString whole = a.value(QLatin1StringView("name")).toString().simplified();
                    t.maker = whole.section(QLatin1Char(' '), 0, 0);
                    t.part = whole.section(QLatin1Char(' '), 1);
                }
                t.description = a.value(QLatin1StringView("_description")).toString();
                if (t.description.isEmpty())
                    t.description = a.value(QLatin1StringView("description")).toString();
                cur->equiv = a.value(QLatin1StringView("equiv")).toString().simplified();
                try {
                    if (t.maker.isEmpty() || t.part.isEmpty())
                        throw Unreadable{QStringLiteral("brand と part がありません")};
                    if (cur->equiv.isEmpty()) {
                        const QString size = a.value(QLatin1StringView("size")).toString();
                        if (const auto p = papers.constFind(size); p != papers.cend()) {
                            t.paperName = p->name;
                            t.paperMm = p->mm;
                        } else if (size.isEmpty() || size == QLatin1StringView("Other")) {
                            t.paperMm = QSizeF(lengthMm(a, QLatin1StringView("width")), lengthMm(a, QLatin1StringView("height")));
                        } else {
                            throw Unreadable{QStringLiteral("用紙「%1」を知りません").arg(size)};
                        }
                    }
                } catch (const Unreadable &u) {
                    error = u.why;
                }
            } else if (cur && name == QLatin1StringView("Label-rectangle")) {
                inRectangle = true;
                if (cur->rectangular)
                    cur->otherShape = true; // labels of two sizes on one sheet
                cur->rectangular = true;
                try {
                    cur->product.labelMm = QSizeF(lengthMm(a, QLatin1StringView("width")), lengthMm(a, QLatin1StringView("height")));
                    try {
                        cur->product.roundMm = lengthMm(a, QLatin1StringView("round"), 0.0);
                    } catch (const Unreadable &) {
                        // Only the picture draws the corners; gLabels reads
                        // Online Labels OL320's round="in" as square too.
                    }
                    if (cur->product.labelMm.width() <= 0 || cur->product.labelMm.height() <= 0)
                        throw Unreadable{QStringLiteral("ラベルの大きさが 0 です")};
                } catch (const Unreadable &u) {
                    if (error.isEmpty())
                        error = u.why;
                }
            } else if (cur && name.startsWith(QLatin1StringView("Label-"))) {
                cur->otherShape = true;
            } else if (cur && inRectangle && name == QLatin1StringView("Layout")) {
                try {
                    cur->product.layouts << ProductLayout{count(a, QLatin1StringView("nx")), count(a, QLatin1StringView("ny")),
                                                          lengthMm(a, QLatin1StringView("x0"), 0.0),
                                                          lengthMm(a, QLatin1StringView("y0"), 0.0),
                                                          lengthMm(a, QLatin1StringView("dx"), 0.0),
                                                          lengthMm(a, QLatin1StringView("dy"), 0.0)};
                } catch (const Unreadable &u) {
                    if (error.isEmpty())
                        error = u.why;
                }
            }
        } else if (xml.isEndElement()) {
            if (xml.name() == QLatin1StringView("Label-rectangle"))
                inRectangle = false;
            else if (cur && xml.name() == QLatin1StringView("Template")) {
                if (cur->equiv.isEmpty() && cur->rectangular && !cur->otherShape && error.isEmpty()
                    && cur->product.layouts.isEmpty())
                    error = QStringLiteral("ラベルの並び (Layout) がありません");
                if (!error.isEmpty() && (cur->rectangular || !cur->equiv.isEmpty() || !cur->otherShape))
                    skipped << leftOut(cur->where, productName(cur->product), error);
                else if (!cur->equiv.isEmpty() || (cur->rectangular && !cur->otherShape))
                    found << *cur;
                else
                    found << Read{cur->product, QString(), false, true, cur->where}; // named by equivalents, never listed
                cur.reset();
            }
        }
    }
    if (xml.hasError()) {
        problems->append(QStringLiteral("ラベルシートの定義ファイル %1 を読めません: %2行目: %3")
                             .arg(QDir::toNativeSeparators(path))
                             .arg(xml.lineNumber())
                             .arg(xml.errorString()));
        return;
    }
    problems->append(skipped);
    out->append(found);
}

QString key(const QString &maker, const QString &part)
{
    return (maker + QLatin1Char(' ') + part).toCaseFolded();
}

} // namespace

QList<ProductTemplate> readTemplates(const QStringList &libraryFolders, const QStringList &userFolders, QStringList *problems)
{
    QHash<QString, Paper> papers = readPapers(QString());
    for (const QString &folder : libraryFolders)
        papers.insert(readPapers(folder + QStringLiteral("/paper-sizes.xml")));
    QList<Read> all;
    for (const QString &folder : libraryFolders)
        for (const QString &file : QDir(folder).entryList({QStringLiteral("*-templates.xml")}, QDir::Files | QDir::Readable, QDir::Name))
            readFile(QDir(folder).filePath(file), papers, &all, problems);
    for (const QString &folder : userFolders)
        for (const QString &file : QDir(folder).entryList({QStringLiteral("*.template")}, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name))
            readFile(QDir(folder).filePath(file), papers, &all, problems);

    // An equivalent names a part of its own maker, defined anywhere in the
    // library, possibly through another equivalent.
    QHash<QString, qsizetype> byKey;
    for (qsizetype i = 0; i < all.size(); ++i)
        if (all[i].equiv.isEmpty())
            byKey.insert(key(all[i].product.maker, all[i].product.part), i);
    for (bool more = true; more;) {
        more = false;
        for (qsizetype i = 0; i < all.size(); ++i) {
            Read &r = all[i];
            if (r.equiv.isEmpty())
                continue;
            const auto it = byKey.constFind(key(r.product.maker, r.equiv));
            if (it == byKey.cend() || *it == i)
                continue;
            const Read &original = all[*it];
            ProductTemplate copy = original.product;
            copy.maker = r.product.maker;
            copy.part = r.product.part;
            copy.sameAs = r.equiv;
            r = Read{copy, QString(), original.rectangular, original.otherShape, r.where};
            byKey.insert(key(copy.maker, copy.part), i);
            more = true;
        }
    }
    QList<ProductTemplate> products;
    for (const Read &r : std::as_const(all)) {
        if (!r.equiv.isEmpty())
            problems->append(leftOut(r.where, productName(r.product),
                                     QStringLiteral("equiv「%1」に当たる %2 の品番がありません").arg(r.equiv, r.product.maker)));
        else if (r.rectangular && !r.otherShape)
            products << r.product;
    }
    return products;
}

} // namespace zl::printer::glabels
