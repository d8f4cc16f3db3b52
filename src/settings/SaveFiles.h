#pragma once
// Replacing files whole: each is written in full beside the old one and
// renamed over it, so a crash leaves either the old file or the new one.
#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace zl::settings {

// Writes every file in full before any of them replaces what stands at its
// path; on any failure none is replaced. Throws zl::Failure naming the file
// and the reason in the operator's words; the old files then stay as they were.
// replaced, when given, says how many of them were in place when it threw
// (only a failed rename after others leaves some replaced).
void writeFiles(const QList<QPair<QString, QByteArray>> &files, int *replaced = nullptr);

// Removes the temporary files of saves that a crash interrupted: in each
// folder, "<name>.XXXXXX" for the given file names, unless a save that is
// still running holds it.
void clearStaleSaveFiles(const QStringList &folders, const QStringList &names);

} // namespace zl::settings
