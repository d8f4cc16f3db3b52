#pragma once
// gLabels' product templates, in its documented XML: <Template brand part
// size [width height] description|equiv> holding a <Label-rectangle width
// height round waste|x_waste|y_waste> with one <Layout nx ny x0 y0 dx dy> a
// grid. Lengths carry a unit (pt, in, mm, cm, pc); a bare number is points,
// as gLabels itself reads it. Only rectangular labels are kept: round,
// elliptic and CD labels are left out without a word.
#include <QList>
#include <QSizeF>
#include <QString>
#include <QStringList>

namespace zl::printer::glabels {

struct ProductLayout {
    int columns = 1;
    int rows = 1;
    double leftMm = 0;
    double topMm = 0;
    double pitchXMm = 0;
    double pitchYMm = 0;
};

struct ProductTemplate {
    QString maker;
    QString part;
    QString description;
    QString sameAs; // for an equivalent: the part of the same maker it copies
    QString paperName; // the library's name for a named paper; empty for a size of its own
    QSizeF paperMm;
    QSizeF labelMm;
    double roundMm = 0;
    QList<ProductLayout> layouts;
};

// Every rectangular product of the *-templates.xml files in `libraryFolders`
// (papers named as their paper-sizes.xml names them) and then of the
// *.template files in `userFolders`, in file order, equivalents as copies of
// the product they name. A template or a file that cannot be read is left
// out with one line in `problems`.
QList<ProductTemplate> readTemplates(const QStringList &libraryFolders, const QStringList &userFolders,
                                     QStringList *problems);

} // namespace zl::printer::glabels
