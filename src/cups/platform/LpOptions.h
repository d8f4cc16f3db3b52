#pragma once
// The user's saved printer options as lp and every CUPS program keep them:
// the system's /etc/cups/lpoptions (under CUPS_SERVERROOT when set), then the user's own ~/.cups/lpoptions,
// which wins. A line "Dest NAME[/INSTANCE] options…" holds a queue's options,
// one "Default NAME …" line also names the user's default queue. Other
// programs own the other lines (and may write them in any encoding), so
// they are read and written as bytes and left as they are.
#include <QByteArray>
#include <QList>
#include <QString>
#include <utility>

namespace zl::printer {

class LpOptions {
public:
    using Values = QList<std::pair<QString, QString>>;

    // One line as read.
    struct Line {
        QByteArray bytes;          // as in the file, without its line end
        bool isDest = false;       // a Dest or a Default line
        bool isDefault = false;    // the Default line
        QByteArray destination;    // NAME or NAME/INSTANCE
        QByteArray options;        // the rest, as cupsParseOptions reads it
    };
    static Line parseLine(const QByteArray &bytes);
    // Every line of a file; none for a file that is not there.
    static QList<Line> readFile(const QString &path);

    static QString systemFile();
    static QString userFile();

    // A queue's saved options, the user's file winning over the system's.
    static Values savedOptions(const QString &queue);
    // The saved default queue (without an instance), or empty.
    static QString savedDefaultQueue();

    // Makes the queue, with these options, the user's default in the
    // user's own file (never the system's): its former lines go, another
    // queue's Default line becomes a Dest line, and every other line stays
    // byte for byte. The file is replaced whole or not at all, keeping its
    // mode. False when it cannot be written.
    static bool saveUserDefault(const QString &queue, const Values &options);
};

} // namespace zl::printer
