#pragma once
// Replacing files whole: each is written in full beside the old one and
// renamed over it, so a crash leaves either the old file or the new one.
#include "common/Failure.h"
#include "common/SystemErrors.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace zl::settings {

// A save that failed, and the kind of problem behind it (what the operator
// has to free or fix).
class SaveFailure : public Failure {
public:
    SaveFailure(QString description, SystemProblem problem) : Failure(std::move(description)), m_problem(problem) {}
    SystemProblem problem() const { return m_problem; }

private:
    SystemProblem m_problem;
};

// Writes every file in full before any of them replaces what stands at its
// path; on any failure none is replaced. Throws SaveFailure naming the file
// and the reason in the operator's words; the old files then stay as they were.
// replaced, when given, says how many of them were in place when it threw
// (only a failed rename after others leaves some replaced).
void writeFiles(const QList<QPair<QString, QByteArray>> &files, int *replaced = nullptr);

// Removes the temporary files of saves that a crash interrupted: in each
// folder, "<name>.XXXXXX" for the given file names, unless a save that is
// still running holds it.
void clearStaleSaveFiles(const QStringList &folders, const QStringList &names);

} // namespace zl::settings
