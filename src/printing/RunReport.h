#pragma once
// What a print run's end says to the operator: how far it got, where to go
// on, the rows printed without a barcode, where the labels went.
#include "printing/PrintRun.h"

#include <QString>
#include <optional>

namespace zl::printing {

// "…枚印刷しました。続きは…行目から": what an unfinished run got done.
QString progressText(int printed, int nextRow, int unknown = 0);

// What the screen says when a run stopped before its end (cancelled, or
// stopped by the counter inside its range): how far it got and where to go
// on. Empty for other outcomes.
QString stopMessage(const RunResult &result);

// The end message, naming the rows that were printed without a barcode.
QString endMessage(const QList<RowWithoutBarcode> &rows);
// What the print screens say when a run ends without failing, or nothing.
// sayCapStop: the counter stopping the run is always said (the partial run,
// whose range it cuts short).
std::optional<QString> runReport(const RunResult &result, bool sayCapStop);

} // namespace zl::printing
