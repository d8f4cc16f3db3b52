#pragma once
// A TrueType face cut down to the glyphs a document uses, for embedding:
// the glyphs are numbered anew in the order they are first used (0 stays the
// missing-glyph box), so the embedded font holds nothing else, not even an
// empty entry for each of the face's other glyphs.
// A face whose outlines are not TrueType (CFF) is cut down the same way
// without its outlines: a font of empty glyphs with the face's advances, for
// the text laid unseen over the outlines it is drawn as, so that it can
// still be searched and copied.
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QRawFont>
#include <QRectF>

namespace zl::pdfwriter {

class FontSubset {
public:
    // False when the face lacks the tables of its metrics (a face that is
    // not OpenType): its texts are drawn as outlines, unsearchable.
    bool load(const QRawFont &face);
    // The subset holds the glyphs' outlines; without them (a CFF face) its
    // texts are drawn as outlines with the subset's glyphs unseen over them.
    bool hasOutlines() const { return !m_glyf.isEmpty(); }

    // The subset's glyph for the face's glyph `glyph`, taken in at its first use.
    quint16 glyphFor(quint32 glyph);
    // How many glyphs the subset holds so far (the missing-glyph box included).
    int glyphCount() const { return int(m_used.size()); }
    // Glyph advance in the face's design units.
    int advance(quint32 glyph) const;
    int unitsPerEm() const { return m_unitsPerEm; }
    // The face itself is bold or italic (rather than drawn so).
    bool isBold() const { return m_bold; }
    bool isItalic() const { return m_italic; }
    // Advances of the subset's glyphs, in thousandths of the em.
    QList<int> widths() const;
    // The face's box, ascent, descent and cap height in thousandths of the em.
    QRectF box() const;
    int ascent() const;
    int descent() const;
    // The face's name as PostScript writes it (letters and digits only).
    QByteArray postScriptName() const;

    // The font file of the subset as it stands: glyphs that composite glyphs
    // are made of are taken in as well.
    QByteArray fontFile();

private:
    QByteArray table(const char *tag) const;
    QRawFont m_face;
    QByteArray m_head, m_hhea, m_maxp, m_hmtx, m_loca, m_glyf;
    int m_unitsPerEm = 1000;
    int m_glyphs = 0;
    int m_hMetrics = 0;
    bool m_longLoca = false;
    bool m_bold = false;
    bool m_italic = false;
    QList<quint32> m_used;           // the face's glyph of each subset glyph
    QHash<quint32, quint16> m_subset; // and back
};

} // namespace zl::pdfwriter
