#pragma once
#include "app/CommandLine.h"

#include <QTextStream>

namespace zl::app {

// Runs a print request without windows on the stored settings: the
// continuous run, or the partial run for a range, on the current printer or
// the named one. Returns the exit code: 0 after the end of the data or the
// 300-label cap, 1 on any failure (said on `err`), 2 for a printer name that
// is not installed.
int runPrintCommand(const PrintRequest &request, QTextStream &out, QTextStream &err);

} // namespace zl::app
