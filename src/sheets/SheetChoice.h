#pragma once
// Which label sheet the runs print on and the first free position on it,
// kept in the settings folder's sheet table (vokiconfig6.txt, two CP932
// lines like the other tables: "SHEET","START","SCALE","PAPER","RECENT"). No table,
// or an empty SHEET, is one label a page on the printer's own paper. SCALE
// is how the layout meets a label larger than itself: "FIT" (also when the
// column is missing, as in tables from before it) or "ACTUAL"
// (「原寸で印刷」). PAPER is the paper code chosen before the sheet took its
// own paper, chosen again when the sheet is left (empty: none kept). RECENT
// is the sheets chosen last, the latest first, separated by "|".
#include "printer/Printer.h"
#include "sheets/SheetTemplates.h"

#include <QString>
#include <optional>

namespace zl::printer {

inline const QString kSheetTable = QStringLiteral("vokiconfig6.txt");

struct SheetChoice {
    QString sheetId; // empty: no sheet
    int start = 1;   // first free position on the first sheet, 1-based

    const SheetTemplate *sheet() const { return findSheet(sheetId); }
};

// The stored choice. Throws zl::Failure naming the table when it cannot be
// read or holds a sheet the program does not know or a position that is not
// on it.
SheetChoice readSheetChoice();
// Throws zl::Failure when the table cannot be written (the old one stays).
// The stored scale stays as it is, and so does the paper before the sheet
// when the sheet is the one stored.
void saveSheetChoice(const SheetChoice &choice);
// The paper (YOSHI) chosen before the stored sheet took its own; empty when
// there is no sheet, none was kept or the table cannot be read.
QString readPaperBeforeSheet();

// The sheets chosen last, the latest first; those the program no longer
// knows are left out. Empty when the table cannot be read.
QStringList recentSheets();

// The stored scale: Fit without a table or a SCALE column. Throws
// zl::Failure naming the table when it holds another value.
LabelScale readLabelScale();
// Stores the scale beside the sheet choice; nothing is written when it is
// already stored. Throws zl::Failure when the table cannot be written.
void saveLabelScale(LabelScale scale);

// The page one label is drawn on: one position of `sheet` when there is
// one, else the printer's `paper` itself.
PageGeometry labelPage(const PageGeometry &paper, const SheetTemplate *sheet);

// The printer and paper screen's save: the sheet chosen there (empty: none)
// and the paper chosen before it. The same sheet as stored keeps its first
// free position, another starts at 1. Nothing is written when nothing
// changes, so a program that never printed on sheets gets no sheet table.
void chooseSheet(const QString &sheetId, const QString &paperBefore = QString());

// Refuses a position that is not on the sheet, saying which positions are.
void checkSheetStart(const SheetTemplate &sheet, int start);

// What the command line asks for one run, over the stored choice: another
// sheet (an empty id is no sheet) and another first position. Lives as long
// as the process; the windows never set it.
struct SheetOverride {
    std::optional<QString> sheetId;
    std::optional<int> start;
    std::optional<LabelScale> scale;
};
void setSheetOverride(const SheetOverride &override);

// The choice the next run prints with: the stored one with the override on
// top. stored tells whether it is the stored sheet, whose first free
// position the run moves on.
SheetChoice runSheetChoice(bool *stored = nullptr);
// The scale the next run prints with: the override, else the stored one.
LabelScale runLabelScale();

} // namespace zl::printer
