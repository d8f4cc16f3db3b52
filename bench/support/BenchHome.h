#pragma once
// A throw-away home for the benchmarks that run `zenlabo --print`: the
// environment the program sees there, its settings tables pointing at a
// Shift-JIS data file, and the run's PDF split into one file a label for lp.
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace zlbench {

QProcessEnvironment environmentFor(const QString &home);

// Seconds `zenlabo args` took in `home`, or a negative number when it failed.
// Seconds the program took, or a negative number when it failed. With
// `submitted`, also the seconds until every label was handed to the printer.
double timeRun(const QString &home, QStringList args, double *submitted = nullptr);

// `records` products, JAN 4912345nnnnn, as a shop's CSV text.
QString productsCsv(int records);

// The settings folder under `home` with `csv` as its data file, the given
// titles and paper code (YOSHI), the fixed connection type, no adjustments.
void writeSettings(const QString &home, const QString &csv, const QString &paper,
                   const QString &title1 = QStringLiteral("ゼンラボ商店"),
                   const QString &title2 = QStringLiteral("税込価格"));

// The path of the one PDF file a run left in `folder`, or an empty string when
// there is not exactly one.
QString runPdf(const QString &folder);

// The one PDF file of a run in `folder` split by poppler's pdfseparate into
// label-001.pdf, …: the file names, or none when there was not one run file.
QStringList splitRunPdf(const QString &folder);

} // namespace zlbench
