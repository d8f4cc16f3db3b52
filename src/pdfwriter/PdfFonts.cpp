#include "pdfwriter/PdfFonts.h"

#include <algorithm>

namespace zl::pdfwriter {

const FontUse &Resources::use(const QFont &font)
{
    for (const auto &[known, use] : uses)
        if (known == font)
            return *use;
    FontUse use;
    use.raw = QRawFont::fromFont(font);
    use.pixelSize = use.raw.pixelSize();
    use.face = face(use.raw);
    if (use.face) {
        use.bold = font.weight() >= QFont::DemiBold && !use.face->subset.isBold();
        use.italic = font.style() != QFont::StyleNormal && !use.face->subset.isItalic();
    }
    uses.emplace_back(font, std::make_unique<FontUse>(use));
    return *uses.back().second;
}

EmbeddedFace *Resources::face(const QRawFont &raw)
{
    if (!raw.isValid())
        return nullptr;
    const QByteArray head = raw.fontTable("head");
    // The same file answers for every size and weight drawn from it.
    const QString faceKey = raw.familyName() + QLatin1Char('\n') + QString::fromLatin1(head.toHex());
    EmbeddedFace *&face = faceByKey[faceKey];
    if (!face) {
        faces.push_back(std::make_unique<EmbeddedFace>());
        face = faces.back().get();
        face->embeddable = face->subset.load(raw);
        face->resource = "/F" + QByteArray::number(faces.size());
    }
    return face->embeddable ? face : nullptr;
}

QByteArray writeFonts(Output &out, Resources &resources)
{
    QByteArray fonts;
    for (const auto &face : resources.faces) {
        if (!face->embeddable || face->subset.glyphCount() <= 1)
            continue;
        const QByteArray file = face->subset.fontFile();
        // A subset is named by a tag of its own, so that a reader never takes
        // it for the whole face or for another subset of it.
        size_t seed = qHash(file);
        QByteArray name(6, 'A');
        for (char &c : name) {
            c = char('A' + seed % 26);
            seed /= 26;
        }
        name += '+' + face->subset.postScriptName();
        const int fileId = out.reserve();
        out.stream(fileId, "/Length1 " + QByteArray::number(file.size()) + "/Filter/FlateDecode", deflated(file));
        const QRectF box = face->subset.box();
        QByteArray descriptor = "<</Type/FontDescriptor/FontName/" + name + "/Flags 4/FontBBox [";
        for (double v : {box.left(), box.top(), box.right(), box.bottom()})
            number(descriptor, v, 0);
        descriptor += "]/ItalicAngle 0/Ascent " + QByteArray::number(face->subset.ascent()) + "/Descent "
            + QByteArray::number(face->subset.descent()) + "/CapHeight " + QByteArray::number(face->subset.ascent())
            + "/StemV 80/FontFile2 " + QByteArray::number(fileId) + " 0 R>>";
        const int descriptorId = out.reserve();
        out.object(descriptorId, descriptor);
        QByteArray widths = "[0[";
        for (int w : face->subset.widths())
            widths += QByteArray::number(w) + ' ';
        widths += "]]";
        const int cidId = out.reserve();
        out.object(cidId, "<</Type/Font/Subtype/CIDFontType2/BaseFont/" + name
                              + "/CIDSystemInfo<</Registry(Adobe)/Ordering(Identity)/Supplement 0>>/FontDescriptor "
                              + QByteArray::number(descriptorId) + " 0 R/CIDToGIDMap/Identity/W " + widths + ">>");
        // What each glyph stands for, so that the text can be searched and copied.
        QByteArray cmap = "/CIDInit/ProcSet findresource begin 12 dict begin begincmap\n"
                          "/CIDSystemInfo<</Registry(Adobe)/Ordering(UCS)/Supplement 0>>def\n"
                          "/CMapName/Adobe-Identity-UCS def /CMapType 2 def\n"
                          "1 begincodespacerange <0000><FFFF> endcodespacerange\n";
        QList<qsizetype> mapped;
        for (qsizetype id = 1; id < face->unicodes.size(); ++id)
            if (!face->unicodes[id].isEmpty())
                mapped.append(id);
        for (qsizetype from = 0; from < mapped.size(); from += 100) {
            const qsizetype to = std::min<qsizetype>(from + 100, mapped.size());
            cmap += QByteArray::number(to - from) + " beginbfchar\n";
            for (qsizetype k = from; k < to; ++k) {
                const qsizetype id = mapped[k];
                const QString &ch = face->unicodes[id];
                cmap += '<' + QByteArray::number(quint16(id), 16).rightJustified(4, '0') + "><";
                for (QChar c : ch)
                    cmap += QByteArray::number(c.unicode(), 16).rightJustified(4, '0');
                cmap += ">\n";
            }
            cmap += "endbfchar\n";
        }
        cmap += "endcmap CMapName currentdict /CMap defineresource pop end end";
        const int cmapId = out.reserve();
        out.stream(cmapId, "/Filter/FlateDecode", deflated(cmap));
        const int fontId = out.reserve();
        out.object(fontId, "<</Type/Font/Subtype/Type0/BaseFont/" + name + "/Encoding/Identity-H/DescendantFonts["
                               + QByteArray::number(cidId) + " 0 R]/ToUnicode " + QByteArray::number(cmapId) + " 0 R>>");
        fonts += face->resource + ' ' + QByteArray::number(fontId) + " 0 R";
    }
    return fonts;
}

} // namespace zl::pdfwriter
