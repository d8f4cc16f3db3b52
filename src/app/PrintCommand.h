#pragma once
#include "app/CommandLine.h"

#include <QTextStream>

namespace zl::app {

// Runs a print request without windows on the stored settings: the
// continuous run, or the partial run for a range, on the current printer or
// the named one. Returns an ExitStatus; every one but 0 is explained on
// `err` (or, for the 300-label cap, on `out` with the row to go on from).
// Missing or damaged settings print nothing and change nothing.
int runPrintCommand(const PrintRequest &request, QTextStream &out, QTextStream &err);

// Every label sheet the program knows, one a line, tab-separated: ID, maker,
// part, paper, label size in mm, labels a sheet, description.
int listSheets(QTextStream &out);

} // namespace zl::app
