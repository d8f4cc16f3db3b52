#pragma once
// Label sheets: many labels a page, laid out in grids the maker publishes.
// Three A4 sheets are the program's own; every other one comes from gLabels'
// product-template library (Debian's glabels-data) and the user's own
// gLabels template files, read once, off the windows' thread. A position is
// numbered from 1, left to right, then top to bottom, grid after grid in the
// order the template lists them, as the operator counts the labels on the
// sheet in hand.
#include <QList>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>

namespace zl::printer {

// One grid of labels on the sheet, in millimetres from the paper's corner.
struct SheetLayout {
    int columns = 1;
    int rows = 1;
    double leftMm = 0; // the first label's corner
    double topMm = 0;
    double pitchXMm = 0; // from one label's corner to the next one's
    double pitchYMm = 0;
};

struct SheetTemplate {
    QString id;   // stored in the sheet table: "A4-44", "Avery 5160"
    QString name; // what the operator reads, with the maker's product number
    QString maker;
    QString part;
    QString description; // the library's words for the product
    QString sameAs;      // the library's equivalent: the part of the same maker it is a copy of
    QString paperName;   // "A4", "US Letter", or the paper's own size
    int paperCode = 9;   // the printer's paper for the sheet (Windows number; 256: paperMm itself)
    QSizeF paperMm;
    QSizeF labelMm;
    double roundMm = 0; // the labels' corner radius
    QList<SheetLayout> layouts;

    int positions() const;
    // Position n (1-based) on the paper, in millimetres from its corner.
    QRectF positionRect(int n) const;
    // The position at `mm` on the paper, or 0 between and around them.
    int positionAt(QPointF mm) const;
    // "86.4 x 42.3"
    QString labelSizeText() const;
};

// Every sheet the program knows, sorted by maker and part. Waits for the
// library when it is still being read.
const QList<SheetTemplate> &sheetTemplates();
// The sheet with this id or "maker part" (letter case and runs of spaces
// ignored), or null. The program's own sheets answer without waiting for
// the library.
const SheetTemplate *findSheet(const QString &id);
// Starts reading the library on a thread of its own, so the first screen
// that lists the sheets finds it read. Does nothing the second time.
void startReadingSheetLibrary();

// Where the library is read from: glabels-data's folder under every data
// folder (XDG_DATA_DIRS), then the user's own template files (gLabels 3's
// $XDG_CONFIG_HOME/libglabels/templates, glabels-qt's ~/.glabels).
struct SheetSources {
    QStringList libraryFolders; // *-templates.xml, beside paper-sizes.xml
    QStringList userFolders;    // *.template
};
SheetSources systemSheetSources();

// The rectangular sheets of `sources`, sorted by maker and part, the
// program's own three among them. A template or file that cannot be read is
// left out with one line in `problems`; a user's template replaces the
// library's of the same maker and part.
QList<SheetTemplate> readSheetLibrary(const SheetSources &sources, QStringList *problems);

// The pages of a run of `labels` labels on `sheet` starting at position
// `start`: how many labels each page holds, and the position the next run
// starts from (1 again when the last page came out full).
struct SheetPlan {
    QList<int> labelsPerPage;
    int nextStart = 1;
};
SheetPlan planSheets(const SheetTemplate &sheet, int start, int labels);

} // namespace zl::printer
