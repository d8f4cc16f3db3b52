#pragma once
// Choosing a label sheet on the printer and paper screen as the operator
// does: its row in the sheet list made the current one.
#include <QString>

class QWidget;

namespace zltest {

// The row of `sheetId` (empty: 「シートなし」) in `screen`'s sheet list, as the
// list shows it now (filtered, the sheets chosen last on top); -1 when none.
int sheetRow(QWidget *screen, const QString &sheetId);
// Makes row `row` the current one. False when the screen has no such row.
bool pickSheetRow(QWidget *screen, int row);
// The same by id.
bool pickSheet(QWidget *screen, const QString &sheetId);
// The id of the current row; a null string when none is current.
QString currentSheetRow(QWidget *screen);

} // namespace zltest
