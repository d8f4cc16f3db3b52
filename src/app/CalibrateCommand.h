#pragma once
#include <QString>
#include <QTextStream>
#include <utility>

namespace zl::app {

// zenlabo --calibrate X Y: the numbers read off the calibration label added
// to the stored adjustments; the new ones on `out`. A reading that is no
// number, or one that would take an adjustment out of its range, stores
// nothing and is explained on `err`. Returns an ExitStatus.
int runCalibrateCommand(const std::pair<QString, QString> &reading, QTextStream &out, QTextStream &err);

} // namespace zl::app
