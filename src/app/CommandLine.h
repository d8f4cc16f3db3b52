#pragma once
// Printing without windows, for shop systems and scripts:
//   zenlabo --print [--from N --to M] [--printer NAME] [--verbose]
#include <QString>
#include <QStringList>
#include <optional>

namespace zl::app {

struct PrintRequest {
    bool print = false;       // without --print the program starts its windows
    std::optional<QString> from;
    std::optional<QString> to;
    std::optional<QString> printer;
    bool verbose = false;
    bool help = false;
};

// Throws zl::Failure with a usage message on words it does not know.
PrintRequest parseCommandLine(const QStringList &arguments);

QString usageText();

} // namespace zl::app
