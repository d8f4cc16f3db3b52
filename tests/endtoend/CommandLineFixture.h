#pragma once
// What the test classes of the program run from the command line share:
// `zenlabo --print …` in a fresh home folder each test, printing to the
// built-in PDF printer, with products to print and the PDFs it wrote.
#include "TestEnv.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <functional>
#include <memory>

Q_DECLARE_METATYPE(std::function<void(zltest::TempHome &)>)

class CommandLineFixture : public QObject {
    Q_OBJECT
private slots:
    void init() { m_home = std::make_unique<zltest::TempHome>(); }
    void cleanup() { m_home.reset(); }

protected:
    struct Outcome {
        int exitCode = -1;
        QString out;
        QString err;
    };

    // The program did not end: it opened its windows.
    static constexpr int kWindowsOpened = -100;

    static QByteArray products(int records)
    {
        QString text = QStringLiteral("JANコード,商品名,規格,価格\r\n");
        for (int i = 1; i <= records; ++i)
            text += QStringLiteral("4912345%1,商品%2,規格,%3\r\n").arg(i, 5, 10, QLatin1Char('0')).arg(i).arg(100 + i);
        return zltest::sjis(text);
    }

    // Pages of every PDF the built-in printer wrote: one page per label here,
    // however the printer splits its files.
    static int pdfPages(const QString &folder)
    {
        int pages = 0;
        static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?!s)"));
        QDirIterator it(folder, {QStringLiteral("*.pdf")}, QDir::Files);
        while (it.hasNext()) {
            QFile f(it.next());
            if (f.open(QIODevice::ReadOnly))
                pages += int(QString::fromLatin1(f.readAll()).count(page));
        }
        return pages;
    }

    void useProducts(int records)
    {
        m_home->installDefaults();
        m_home->writeFile(QStringLiteral("items.csv"), products(records));
        m_home->writeTable(QStringLiteral("vokiconfig2.txt"), {QStringLiteral("DB1"), QStringLiteral("DB2")},
                           {m_home->settingsFolder(), QStringLiteral("items.csv")});
    }
    QString pdfFolder() const { return m_home->root() + QStringLiteral("/Documents/Zenlabo"); }
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), m_home->root());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home->root() + QStringLiteral("/config"));
        env.remove(QStringLiteral("XDG_DOCUMENTS_DIR"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        // These runs print to the built-in printer: no scheduler to find.
        env.insert(QStringLiteral("CUPS_SERVER"), m_home->root() + QStringLiteral("/no-cups.sock"));
        return env;
    }
    // windows: the program is expected to open its windows and keep running;
    // it is given a moment to print anything it wrongly would, then ended.
    Outcome run(const QStringList &args, bool windows = false)
    {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.setWorkingDirectory(m_home->root());
        p.start(QStringLiteral(ZENLABO_BINARY), args);
        if (windows) {
            if (p.waitForFinished(3000))
                return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                        QString::fromUtf8(p.readAllStandardError())};
            p.kill();
            p.waitForFinished();
            return {kWindowsOpened, QString(), QString()};
        }
        if (!p.waitForFinished(120000))
            return {};
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }

    std::unique_ptr<zltest::TempHome> m_home;
};
