#include "BenchHome.h"

#include "common/Cp932.h"
#include "settings/SettingsTable.h"

#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QProcess>
#include <cstdio>

namespace zlbench {

QProcessEnvironment environmentFor(const QString &home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    env.remove(QStringLiteral("XDG_DOCUMENTS_DIR"));
    return env;
}

double timeRun(const QString &home, QStringList args, double *submitted)
{
    QProcess p;
    p.setProcessEnvironment(environmentFor(home));
    QElapsedTimer t;
    if (submitted) {
        args << QStringLiteral("--verbose");
        *submitted = -1;
        QObject::connect(&p, &QProcess::readyReadStandardError, [&p, &t, submitted] {
            // The first count line comes once the last label was sent.
            if (*submitted < 0 && p.readAllStandardError().contains("送信 "))
                *submitted = t.nsecsElapsed() / 1e9;
        });
    }
    t.start();
    p.start(QStringLiteral(ZENLABO_BINARY), args);
    if (!p.waitForFinished(600000) || p.exitCode() != 0) {
        std::fprintf(stderr, "zenlabo failed: %s\n", p.readAllStandardError().constData());
        return -1;
    }
    return t.nsecsElapsed() / 1e9;
}

QString productsCsv(int records)
{
    QString csv = QStringLiteral("JANコード,商品名,規格,価格\r\n");
    for (int i = 1; i <= records; ++i)
        csv += QStringLiteral("4912345%1,商品 %2 番,500ml,%3\r\n").arg(i, 5, 10, QLatin1Char('0')).arg(i).arg(100 + i);
    return csv;
}

void writeSettings(const QString &home, const QString &csv, const QString &paper, const QString &title1,
                   const QString &title2)
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home + QStringLiteral("/config")));
    const QString folder = zl::settings::folderPath();
    QDir().mkpath(folder);
    QFile f(folder + QStringLiteral("items.csv"));
    const QByteArray bytes = *zl::cp932::encode(csv);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(f.fileName()));
    f.close();
    using namespace zl::settings;
    RewriteSettingsTable(kGeneralTable, {QStringLiteral("APP")}, {QStringLiteral("Zenlabo")});
    RewriteSettingsTable(kDataSourceTable, dataSourceColumns(), {folder, QStringLiteral("items.csv")});
    RewriteSettingsTable(kLayoutTable, layoutColumns(), {title1, title2, paper, QStringLiteral("0")});
    RewriteSettingsTable(kAdjustmentTable, adjustmentColumns(), QStringList(99, QStringLiteral("0")));
}

QString runPdf(const QString &folder)
{
    const QStringList runs = QDir(folder).entryList({QStringLiteral("labels-*.pdf")}, QDir::Files, QDir::Name);
    return runs.size() == 1 ? folder + QLatin1Char('/') + runs.first() : QString();
}

QStringList splitRunPdf(const QString &folder)
{
    const QString run = runPdf(folder);
    if (run.isEmpty())
        return {};
    QProcess split;
    split.start(QStringLiteral("pdfseparate"), {run, folder + QStringLiteral("/label-%03d.pdf")});
    split.waitForFinished(120000);
    return QDir(folder).entryList({QStringLiteral("label-*.pdf")}, QDir::Files, QDir::Name);
}

} // namespace zlbench
