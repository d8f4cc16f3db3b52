#include "pdfwriter/FontSubset.h"

#include <QHash>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <map>

namespace zl::pdfwriter {

namespace {

quint16 u16(const QByteArray &t, qsizetype at)
{
    return at + 2 <= t.size() ? qFromBigEndian<quint16>(t.constData() + at) : 0;
}

qint16 s16(const QByteArray &t, qsizetype at)
{
    return qint16(u16(t, at));
}

quint32 u32(const QByteArray &t, qsizetype at)
{
    return at + 4 <= t.size() ? qFromBigEndian<quint32>(t.constData() + at) : 0;
}

void put16(QByteArray &t, qsizetype at, quint16 v)
{
    if (at + 2 <= t.size())
        qToBigEndian<quint16>(v, t.data() + at);
}

void put32(QByteArray &t, qsizetype at, quint32 v)
{
    if (at + 4 <= t.size())
        qToBigEndian<quint32>(v, t.data() + at);
}

quint32 checksum(const QByteArray &data)
{
    quint32 sum = 0;
    QByteArray padded = data;
    padded.append(QByteArray((4 - padded.size() % 4) % 4, '\0'));
    for (qsizetype i = 0; i < padded.size(); i += 4)
        sum += u32(padded, i);
    return sum;
}

// Composite glyph flags.
constexpr quint16 kArgsAreWords = 0x0001, kHaveScale = 0x0008, kMoreComponents = 0x0020, kXYScale = 0x0040,
                  kTwoByTwo = 0x0080;

// Calls `component(offset of its glyph index)` for each glyph a composite
// glyph is made of; nothing for a simple one.
template <typename F>
void forEachComponent(const QByteArray &glyph, F component)
{
    if (glyph.size() < 10 || s16(glyph, 0) >= 0)
        return;
    qsizetype at = 10;
    for (;;) {
        if (at + 4 > glyph.size())
            return;
        const quint16 flags = u16(glyph, at);
        component(at + 2);
        at += 4 + ((flags & kArgsAreWords) ? 4 : 2);
        if (flags & kHaveScale)
            at += 2;
        else if (flags & kXYScale)
            at += 4;
        else if (flags & kTwoByTwo)
            at += 8;
        if (!(flags & kMoreComponents))
            return;
    }
}

} // namespace

QByteArray FontSubset::table(const char *tag) const
{
    return m_face.fontTable(tag);
}

bool FontSubset::load(const QRawFont &face)
{
    m_face = face;
    m_head = table("head");
    m_hhea = table("hhea");
    m_maxp = table("maxp");
    m_hmtx = table("hmtx");
    m_loca = table("loca");
    m_glyf = table("glyf");
    if (m_head.size() < 54 || m_hhea.size() < 36 || m_maxp.size() < 6 || m_hmtx.isEmpty())
        return false;
    if (m_loca.isEmpty() || m_glyf.isEmpty()) {
        m_loca.clear();
        m_glyf.clear();
        if (table("CFF ").isEmpty() && table("CFF2").isEmpty())
            return false;
    }
    m_unitsPerEm = std::max<int>(16, u16(m_head, 18));
    m_longLoca = s16(m_head, 50) == 1;
    m_glyphs = u16(m_maxp, 4);
    m_hMetrics = std::max<int>(1, u16(m_hhea, 34));
    const quint16 macStyle = u16(m_head, 44);
    m_bold = macStyle & 1;
    m_italic = macStyle & 2;
    if (const QByteArray os2 = table("OS/2"); os2.size() >= 6)
        m_bold = m_bold || u16(os2, 4) >= 600;
    m_used = {0};
    m_subset = {{0, 0}};
    return true;
}

quint16 FontSubset::glyphFor(quint32 glyph)
{
    if (glyph >= quint32(m_glyphs))
        return 0;
    if (auto it = m_subset.constFind(glyph); it != m_subset.cend())
        return *it;
    const auto id = quint16(m_used.size());
    m_used.append(glyph);
    m_subset.insert(glyph, id);
    return id;
}

int FontSubset::advance(quint32 glyph) const
{
    const quint32 metric = std::min<quint32>(glyph, quint32(m_hMetrics - 1));
    return u16(m_hmtx, qsizetype(metric) * 4);
}

QList<int> FontSubset::widths() const
{
    QList<int> list;
    list.reserve(m_used.size());
    for (quint32 glyph : m_used)
        list.append(int(std::lround(advance(glyph) * 1000.0 / m_unitsPerEm)));
    return list;
}

QRectF FontSubset::box() const
{
    const double k = 1000.0 / m_unitsPerEm;
    return QRectF(QPointF(s16(m_head, 36) * k, s16(m_head, 38) * k), QPointF(s16(m_head, 40) * k, s16(m_head, 42) * k));
}

int FontSubset::ascent() const
{
    return int(std::lround(s16(m_hhea, 4) * 1000.0 / m_unitsPerEm));
}

int FontSubset::descent() const
{
    return int(std::lround(s16(m_hhea, 6) * 1000.0 / m_unitsPerEm));
}

QByteArray FontSubset::postScriptName() const
{
    QByteArray name;
    for (QChar c : m_face.familyName() + m_face.styleName()) {
        if (c.unicode() < 128 && c.isLetterOrNumber())
            name.append(char(c.unicode()));
    }
    return name.isEmpty() ? QByteArray("Font") : name;
}

QByteArray FontSubset::fontFile()
{
    auto glyphData = [this](quint32 glyph) {
        const qsizetype from = m_longLoca ? u32(m_loca, glyph * 4) : qsizetype(u16(m_loca, glyph * 2)) * 2;
        const qsizetype to = m_longLoca ? u32(m_loca, glyph * 4 + 4) : qsizetype(u16(m_loca, glyph * 2 + 2)) * 2;
        return to > from && to <= m_glyf.size() ? m_glyf.mid(from, to - from) : QByteArray();
    };
    // Glyphs taken in here (components) are appended, so the loop reaches them too.
    QByteArray glyf, loca, hmtx;
    for (qsizetype i = 0; i < m_used.size(); ++i) {
        QByteArray data = glyphData(m_used[i]);
        forEachComponent(data, [&](qsizetype at) { put16(data, at, glyphFor(u16(data, at))); });
        loca.append(QByteArray(4, '\0'));
        put32(loca, loca.size() - 4, quint32(glyf.size()));
        glyf.append(data);
        glyf.append(QByteArray((4 - data.size() % 4) % 4, '\0'));
        const quint32 glyph = m_used[i];
        const quint16 lsb = glyph < quint32(m_hMetrics)
            ? u16(m_hmtx, qsizetype(glyph) * 4 + 2)
            : u16(m_hmtx, qsizetype(m_hMetrics) * 4 + (qsizetype(glyph) - m_hMetrics) * 2);
        hmtx.append(QByteArray(4, '\0'));
        put16(hmtx, hmtx.size() - 4, quint16(advance(glyph)));
        put16(hmtx, hmtx.size() - 2, lsb);
    }
    loca.append(QByteArray(4, '\0'));
    put32(loca, loca.size() - 4, quint32(glyf.size()));

    const auto count = quint16(m_used.size());
    QByteArray head = m_head, hhea = m_hhea, maxp = m_maxp;
    put32(head, 8, 0);  // checkSumAdjustment, set once the whole file is known
    put16(head, 50, 1); // long offsets
    put16(hhea, 34, count);
    if (u32(maxp, 0) != 0x00010000) {
        // A CFF face's short maxp: TrueType's, every glyph empty.
        maxp = QByteArray(32, '\0');
        put32(maxp, 0, 0x00010000);
        put16(maxp, 14, 1); // maxZones
    }
    put16(maxp, 4, count);

    std::map<QByteArray, QByteArray> tables{{"head", head}, {"hhea", hhea}, {"maxp", maxp},
                                            {"hmtx", hmtx}, {"loca", loca}, {"glyf", glyf}};
    // The hinting programs the glyphs' instructions call on.
    for (const char *tag : {"cvt ", "fpgm", "prep"}) {
        if (QByteArray t = table(tag); !t.isEmpty())
            tables.emplace(tag, t);
    }

    const auto numTables = quint16(tables.size());
    quint16 entrySelector = 0;
    while ((2u << entrySelector) <= numTables)
        ++entrySelector;
    const quint16 searchRange = quint16(16u << entrySelector);
    QByteArray file(12 + 16 * numTables, '\0');
    put32(file, 0, 0x00010000);
    put16(file, 4, numTables);
    put16(file, 6, searchRange);
    put16(file, 8, entrySelector);
    put16(file, 10, quint16(numTables * 16 - searchRange));
    qsizetype entry = 12;
    qsizetype headAt = 0;
    for (const auto &[tag, data] : tables) {
        file.replace(entry, 4, tag);
        put32(file, entry + 4, checksum(data));
        put32(file, entry + 8, quint32(file.size()));
        put32(file, entry + 12, quint32(data.size()));
        if (tag == "head")
            headAt = file.size();
        file.append(data);
        file.append(QByteArray((4 - data.size() % 4) % 4, '\0'));
        entry += 16;
    }
    put32(file, headAt + 8, 0xB1B0AFBA - checksum(file));
    return file;
}

} // namespace zl::pdfwriter
