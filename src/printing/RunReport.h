#pragma once
// What a print run's end says to the operator: how far it got, where to go
// on, the rows printed without a barcode, where the labels went.
#include "printing/PrintRun.h"

#include <QString>
#include <functional>
#include <optional>

namespace zl::printing {

// "3行目〜5行目、8行目".
QString rowSpansText(const QList<RowSpan> &spans);

// How the operator prints the rest from `row`: on the screens with
// 「部分発行」 (screenGoOn), on the command line with a command.
using GoOnFrom = std::function<QString(int row)>;
QString screenGoOn(int row);

// "…枚印刷しました。続きは…行目から": what an unfinished run got done;
// labels whether printed or not is not known, and those that may have
// come out twice, named by rows.
QString progressText(const LabelTally &tally, const GoOnFrom &goOn = screenGoOn);

// What the screen says when a run stopped before its end (cancelled, or
// stopped by the counter inside its range): how far it got and where to go
// on. Empty for other outcomes.
QString stopMessage(const RunResult &result);

// The end message, naming the rows that were printed without a barcode.
QString endMessage(const QList<RowWithoutBarcode> &rows);
// What the print screens say when a run ends without failing, or nothing.
// sayCapStop: the counter stopping the run is always said (the partial run,
// whose range it cuts short). `printer` names where the labels went.
std::optional<QString> runReport(const RunResult &result, bool sayCapStop, const QString &printer = QString());

} // namespace zl::printing
