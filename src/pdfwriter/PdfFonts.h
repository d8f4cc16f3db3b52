#pragma once
// The fonts and images a document's pages share: one resource dictionary for
// all pages, each face embedded once as the subset of glyphs the pages use,
// with what each glyph stands for so that the text can be searched.
#include "pdfwriter/FontSubset.h"
#include "pdfwriter/PdfOutput.h"

#include <QFont>
#include <QHash>
#include <QList>
#include <QRawFont>
#include <QString>
#include <memory>
#include <utility>
#include <vector>

namespace zl::pdfwriter {

// A face embedded in the document: one font resource, whatever the sizes,
// weights and slants its texts are drawn at.
struct EmbeddedFace {
    FontSubset subset;
    bool embeddable = false;
    QByteArray resource;                // "/F1"
    QList<QString> unicodes{QString()}; // the text each subset glyph stands for; empty: none known
};

// A font as the painter gives it, and how it is drawn from its face.
struct FontUse {
    EmbeddedFace *face = nullptr; // none: drawn as outlines, not searchable
    QRawFont raw;
    double pixelSize = 0;
    bool bold = false;   // widened by a stroke
    bool italic = false; // slanted
};

// What the pages of a document draw with.
struct Resources {
    std::vector<std::unique_ptr<EmbeddedFace>> faces;
    QHash<QString, EmbeddedFace *> faceByKey;
    // A run draws a handful of fonts over and over: compared as they are,
    // not by the long key QFont makes of itself.
    std::vector<std::pair<QFont, std::unique_ptr<FontUse>>> uses;
    QByteArray images; // "/Im1 7 0 R…"
    int imageCount = 0;

    // The font `font` is drawn with; its face is taken in at its first use.
    const FontUse &use(const QFont &font);
    // The face `raw` is drawn from, taken in at its first use; none when
    // it cannot be embedded.
    EmbeddedFace *face(const QRawFont &raw);
};

// Writes the embedded subsets of `resources` with their ToUnicode maps;
// gives the entries of the resource dictionary's /Font.
QByteArray writeFonts(Output &out, Resources &resources);

} // namespace zl::pdfwriter
