#include "cups/platform/LpOptions.h"

#include "cups/platform/CupsConnection.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <cups/cups.h>

namespace zl::printer {

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// The first word of `bytes` from `at` on, `at` moved past it and the spaces after it.
QByteArray nextWord(const QByteArray &bytes, int &at)
{
    const int start = at;
    while (at < bytes.size() && !isSpace(bytes[at]))
        ++at;
    const QByteArray word = bytes.mid(start, at - start);
    while (at < bytes.size() && isSpace(bytes[at]))
        ++at;
    return word;
}

} // namespace

LpOptions::Line LpOptions::parseLine(const QByteArray &bytes)
{
    Line line;
    line.bytes = bytes;
    int at = 0;
    while (at < bytes.size() && isSpace(bytes[at]))
        ++at;
    const QByteArray kind = nextWord(bytes, at).toLower();
    if (kind != "dest" && kind != "default")
        return line;
    line.destination = nextWord(bytes, at);
    if (line.destination.isEmpty())
        return line;
    line.isDest = true;
    line.isDefault = kind == "default";
    line.options = bytes.mid(at).trimmed();
    return line;
}

QList<LpOptions::Line> LpOptions::readFile(const QString &path)
{
    QList<Line> lines;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    QList<QByteArray> raw = file.readAll().split('\n');
    if (!raw.isEmpty() && raw.last().isEmpty())
        raw.removeLast(); // the file's last line end
    for (const QByteArray &bytes : raw)
        lines << parseLine(bytes);
    return lines;
}

QString LpOptions::systemFile()
{
    return cupsServerRoot() + QStringLiteral("/lpoptions");
}

QString LpOptions::userFile()
{
    return QDir::homePath() + QStringLiteral("/.cups/lpoptions");
}

LpOptions::Values LpOptions::savedOptions(const QString &queue)
{
    Values options;
    const QByteArray name = queue.toUtf8();
    for (const QString &file : {systemFile(), userFile()}) {
        for (const Line &line : readFile(file)) {
            if (!line.isDest || line.destination != name)
                continue;
            cups_option_t *parsed = nullptr;
            const int n = cupsParseOptions(line.options.constData(), 0, &parsed);
            for (int i = 0; i < n; ++i) {
                const QString key = QString::fromUtf8(parsed[i].name);
                options.erase(std::remove_if(options.begin(), options.end(),
                                             [&key](const auto &o) { return o.first == key; }),
                              options.end());
                options.append({key, QString::fromUtf8(parsed[i].value)});
            }
            cupsFreeOptions(n, parsed);
        }
    }
    return options;
}

QString LpOptions::savedDefaultQueue()
{
    QString queue;
    for (const QString &file : {systemFile(), userFile()}) {
        for (const Line &line : readFile(file)) {
            if (line.isDefault)
                queue = QString::fromUtf8(line.destination.split('/').first());
        }
    }
    return queue;
}

bool LpOptions::saveUserDefault(const QString &queue, const Values &options)
{
    // Written here rather than through cupsSetDests: run as root, that one
    // rewrites the system-wide file.
    const QString path = userFile();
    const QByteArray name = queue.toUtf8();
    QByteArray bytes;
    for (const Line &line : readFile(path)) {
        if (line.isDest && line.destination == name)
            continue;
        if (line.isDefault) {
            // One default only: the word is swapped, the rest kept.
            const int at = line.bytes.toLower().indexOf("default");
            bytes += line.bytes.left(at) + "Dest" + line.bytes.mid(at + 7) + '\n';
            continue;
        }
        bytes += line.bytes + '\n';
    }
    QByteArray saved = "Default " + name;
    for (const auto &[key, value] : options) {
        // Values with spaces are quoted as lpoptions quotes them.
        saved += ' ' + key.toUtf8() + '='
            + (value.contains(QLatin1Char(' ')) ? '"' + value.toUtf8() + '"' : value.toUtf8());
    }
    bytes += saved + '\n';
    if (!QDir().mkpath(QFileInfo(path).path()))
        return false;
    // A new file in the same folder takes the old one's place only once it
    // is complete on the disk, with the old one's mode.
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    if (out.write(bytes) != bytes.size())
        return false;
    return out.commit();
}

} // namespace zl::printer
