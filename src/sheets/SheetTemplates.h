#pragma once
// A4 label sheets: many labels a page, laid out in a grid the maker
// publishes. A position is numbered from 1, left to right, then top to
// bottom, as the operator counts the labels on the sheet in hand.
#include <QList>
#include <QRectF>
#include <QSizeF>
#include <QString>

namespace zl::printer {

struct SheetTemplate {
    QString id;   // stored in the sheet table: "A4-44"
    QString name; // what the operator reads, with the maker's product number
    int paperCode = 9; // the printer's paper for the sheet (Windows number; A4)
    QSizeF paperMm;
    QSizeF labelMm;
    int columns = 1;
    int rows = 1;
    double leftMm = 0; // the first label's corner from the paper's corner
    double topMm = 0;
    double pitchXMm = 0; // from one label's corner to the next one's
    double pitchYMm = 0;

    int positions() const { return columns * rows; }
    // Position n (1-based) on the paper, in millimetres from its corner.
    QRectF positionRect(int n) const;
    // The position at `mm` on the paper, or 0 between and around them.
    int positionAt(QPointF mm) const;
};

// Every sheet the program knows, in the order the screens list them.
const QList<SheetTemplate> &sheetTemplates();
// The sheet with this id (letter case ignored), or null.
const SheetTemplate *findSheet(const QString &id);

// The pages of a run of `labels` labels on `sheet` starting at position
// `start`: how many labels each page holds, and the position the next run
// starts from (1 again when the last page came out full).
struct SheetPlan {
    QList<int> labelsPerPage;
    int nextStart = 1;
};
SheetPlan planSheets(const SheetTemplate &sheet, int start, int labels);

} // namespace zl::printer
