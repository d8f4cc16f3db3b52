#include "pdfwriter/PdfEngine.h"

#include <QGlyphRun>
#include <QSet>
#include <QTextItem>
#include <QTextLayout>
#include <cmath>

namespace zl::pdfwriter {

namespace {

// The stroke a face without a bold weight is widened by to look bold, as a
// share of the em: what FreeType adds when it emboldens a glyph on screen.
constexpr double kBoldStroke = 1.0 / 24;
// The slant given to a face without an italic style.
constexpr double kItalicSlant = 0.2126;

bool sameFace(const QRawFont &a, const QRawFont &b)
{
    return a.familyName() == b.familyName() && a.styleName() == b.styleName() && qFuzzyCompare(a.pixelSize(), b.pixelSize());
}

QPainterPath outlines(const QGlyphRun &run, const QPointF &origin)
{
    QPainterPath path;
    const QList<quint32> glyphs = run.glyphIndexes();
    const QList<QPointF> at = run.positions();
    for (qsizetype i = 0; i < glyphs.size(); ++i)
        path.addPath(run.rawFont().pathForGlyph(glyphs[i]).translated(origin + at[i]));
    return path;
}

// What each glyph stands for, for the text to be searched and copied:
// the character it is the face's glyph of, or the characters Qt made
// it of (a ligature).
QHash<quint32, QString> charactersOf(const QRawFont &face, const QString &text, const QTextLayout &layout,
                                     const QList<quint32> &shaped)
{
    QHash<quint32, QString> of;
    // A letter and its combining mark are shaped as the composed letter.
    const QString composed = text.normalized(QString::NormalizationForm_C);
    for (const QString &form : {text, composed}) {
        const QList<uint> chars = form.toUcs4();
        const QList<quint32> glyphs = face.glyphIndexesForString(form);
        for (qsizetype i = 0; i < glyphs.size() && i < chars.size(); ++i)
            of.insert(glyphs[i], QString::fromUcs4(reinterpret_cast<const char32_t *>(&chars[i]), 1));
        if (composed == text)
            break;
    }
    QSet<quint32> made;
    for (const quint32 g : shaped)
        if (!of.contains(g))
            made.insert(g);
    // Rare (a ligature): each character asked which glyph it became.
    for (int i = 0; !made.isEmpty() && i < text.size(); ++i) {
        const int length = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        QSet<quint32> became;
        for (const QGlyphRun &run : layout.glyphRuns(i, length))
            for (const quint32 g : run.glyphIndexes())
                if (made.contains(g) && !became.contains(g)) {
                    became.insert(g);
                    of[g] += text.mid(i, length);
                }
        i += length - 1;
    }
    return of;
}

} // namespace

void PdfEngine::drawTextItem(const QPointF &p, const QTextItem &item)
{
    applyClip();
    flushRects();
    if (m_pen.style() == Qt::NoPen)
        return;
    const QString text = item.text();
    if (text.isEmpty())
        return;
    const FontUse &use = m_resources.use(item.font());
    const QRgb color = m_pen.color().rgb();
    if (use.face && use.face->subset.hasOutlines() && showUnshaped(use, p, item, color))
        return;
    // The glyphs as Qt shapes them, where it places them: combining
    // marks over their letters, kerning, ligatures, and characters the
    // face lacks from the font Qt takes them from.
    QTextLayout layout(text, item.font(), paintDevice());
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    layout.endLayout();
    const QPointF origin = p - QPointF(0, line.ascent());
    for (const QGlyphRun &run : layout.glyphRuns()) {
        const QRawFont &raw = run.rawFont();
        const bool ownFace = use.face && sameFace(raw, use.raw);
        if (ownFace && use.face->subset.hasOutlines()) {
            showGlyphs(use, run.glyphIndexes(), run.positions(), origin,
                       charactersOf(raw, text, layout, run.glyphIndexes()), color, false);
            continue;
        }
        // A face whose outlines cannot be embedded (CFF), or the face Qt took
        // characters the font lacks from: drawn as outlines, exactly as Qt
        // draws them, with the text laid unseen over them to be searched.
        fillWith(outlines(run, origin), color);
        const FontUse unseen = ownFace ? use : FontUse{m_resources.face(raw), raw, raw.pixelSize()};
        if (unseen.face)
            showGlyphs(unseen, run.glyphIndexes(), run.positions(), origin,
                       charactersOf(raw, text, layout, run.glyphIndexes()), color, true);
    }
}

// Most label text is each character its face's glyph, one after the
// other: shown so without shaping it again, which would cost as much
// as the rest of the label. Where shaping changed anything (a mark, a
// kerning pair, a ligature, a character from another face) Qt's width
// for the text tells, and it is shaped.
bool PdfEngine::showUnshaped(const FontUse &use, const QPointF &p, const QTextItem &item, QRgb color)
{
    const QString text = item.text();
    const QList<uint> chars = text.toUcs4();
    for (const uint c : chars)
        if (QChar::isMark(char32_t(c)))
            return false;
    const QList<quint32> glyphs = use.raw.glyphIndexesForString(text);
    if (glyphs.size() != chars.size() || glyphs.contains(0))
        return false;
    const double scale = use.pixelSize / use.face->subset.unitsPerEm();
    QList<QPointF> at;
    at.reserve(glyphs.size());
    double x = 0;
    for (const quint32 g : glyphs) {
        at.append(QPointF(x, 0));
        x += use.face->subset.advance(g) * scale;
    }
    if (std::abs(x - item.width()) > 1e-3 * use.pixelSize)
        return false;
    QHash<quint32, QString> characters;
    for (qsizetype i = 0; i < glyphs.size(); ++i)
        characters.insert(glyphs[i], QString::fromUcs4(reinterpret_cast<const char32_t *>(&chars[i]), 1));
    showGlyphs(use, glyphs, at, p, characters, color, false);
    return true;
}

// Glyphs of the embedded face, each at its place: a line of
// them in one text object, its spacing as Qt laid it out; a glyph off
// the line (a mark raised or lowered) placed on its own. `unseen`: only
// for the text to be found, over outlines drawn already.
void PdfEngine::showGlyphs(const FontUse &use, const QList<quint32> &glyphs, const QList<QPointF> &at,
                           const QPointF &origin, const QHash<quint32, QString> &characters, QRgb color, bool unseen)
{
    EmbeddedFace &face = *use.face;
    if (glyphs.isEmpty())
        return;
    const double px = use.pixelSize;
    setFill(color);
    if (use.bold && !unseen) {
        setStroke(color);
        setLineWidth(px * std::sqrt(std::abs(m_transform.determinant())) * kBoldStroke);
        setJoin(Qt::RoundJoin);
    }
    content += "BT ";
    if (m_state.font != face.resource) {
        m_state.font = face.resource;
        content += face.resource + " 1 Tf ";
    }
    const int mode = unseen ? 3 : use.bold ? 2 : 0;
    if (m_state.textMode != mode) {
        m_state.textMode = mode;
        content += QByteArray::number(mode) + " Tr ";
    }
    if (m_state.charSpacing != 0) {
        m_state.charSpacing = 0;
        content += "0 Tc ";
    }
    const double em = 1.0 / face.subset.unitsPerEm();
    for (qsizetype from = 0; from < glyphs.size();) {
        qsizetype to = from + 1;
        while (to < glyphs.size() && at[to].y() == at[from].y())
            ++to;
        // Glyph space is y up and one em; an upright face drawn italic leans right.
        const QPointF start = origin + at[from];
        const QTransform glyphSpace(px, 0, use.italic ? kItalicSlant * px : 0, -px, start.x(), start.y());
        matrix(glyphSpace * m_transform, 3);
        content += "Tm [";
        double pen = 0; // ems from the line's start, as the glyphs' widths move it
        for (qsizetype i = from; i < to; ++i) {
            const double wanted = (at[i].x() - at[from].x()) / px;
            const int shift = int(std::lround((pen - wanted) * 1000));
            if (shift != 0) {
                content += QByteArray::number(shift);
                pen -= shift / 1000.0;
            }
            const quint16 id = face.subset.glyphFor(glyphs[i]);
            const QString character = characters.value(glyphs[i]);
            if (id == face.unicodes.size())
                face.unicodes.append(character);
            else if (face.unicodes[id].isEmpty())
                face.unicodes[id] = character;
            pen += face.subset.advance(glyphs[i]) * em;
            QByteArray string = "(";
            for (const char byte : {char(id >> 8), char(id & 0xff)}) {
                if (byte == '(' || byte == ')' || byte == '\\')
                    string += '\\';
                if (byte == '\r')
                    string += "\\r";
                else
                    string += byte;
            }
            content += string + ')';
        }
        content += "]TJ ";
        from = to;
    }
    content += "ET\n";
}

} // namespace zl::pdfwriter
