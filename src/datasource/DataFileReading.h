#pragma once
// Opening and reading the data file, and the words for what can go wrong on
// the way; shared by the record count and the opened data source.
#include "datasource/CsvScanner.h"
#include "datasource/TextDecoding.h"

#include <QFile>
#include <QString>

namespace zl::datasource::detail {

// Opens the file for reading, telling apart the reasons it cannot be read.
// Only an ordinary file is read: a device such as /dev/zero never ends and
// a pipe may never say anything.
void openForReading(QFile &file);

[[noreturn]] void throwReadError(const QFile &file);
[[noreturn]] void throwScanProblem(const LineScanner &scanner, const QString &name);
[[noreturn]] void throwEmpty(const QString &name);

// Ends the audit of a data file's text (after its byte-order mark): text
// that is UTF-8 but for a few bytes is refused rather than read as
// Shift-JIS, every row turned to nonsense without a word.
void refuseDamagedUtf8(Utf8Audit &audit, const QString &name);

} // namespace zl::datasource::detail
