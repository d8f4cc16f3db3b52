#pragma once
// The printer every start of the program takes, the windows' and the
// command line's alike, until the operator chooses another with
// 「プリンターの設定」. A CUPS queue is kept as the user's own default queue
// (lpoptions), where every program finds it; the built-in PDF printer, which
// no other program knows, in a table of the program's own in the settings
// folder (printer.txt, two CP932 lines like the other tables: "DEVICE",
// "PAPER","WIDTH","HEIGHT": the printer, and the paper code in force on it
// with the user-defined size in twips, as a queue keeps its paper in
// lpoptions).
#include "printer/Printer.h"

#include <QString>

namespace zl::printer {

inline const QString kPrinterChoiceTable = QStringLiteral("printer.txt");

// The printer the table keeps: `builtInName` when it names the built-in
// printer, empty when the user's default queue is the one (no table, or no
// name in it). Throws zl::Failure naming the table when it is there but
// cannot be read, or names a printer that is not the program's own.
QString readPrinterChoice(const QString &builtInName);

// Makes `chosen`, one of the installed printers, the one every later start
// takes. Throws zl::Failure saying what could not be kept and what to do.
void keepPrinterChoice(Printer &chosen);

// Puts the paper kept with the built-in printer's choice back on it, so a
// start shows and prints on the paper the operator confirmed before. Leaves
// the printer as it is when none is kept or the table cannot be read.
void restoreKeptPaper(Printer &builtIn);

} // namespace zl::printer
