#pragma once
// A throw-away settings folder: points XDG_CONFIG_HOME and HOME at a
// temporary directory for the lifetime of the object.
#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace zltest {

class TempHome {
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome &) = delete;
    TempHome &operator=(const TempHome &) = delete;

    QString root() const { return m_dir.path(); }
    // The settings folder (with trailing '/'); not created until asked.
    QString settingsFolder() const;
    // Creates the settings folder and copies the four built-in default tables
    // and the sample data into it.
    void installDefaults();
    // Writes a file (relative paths are taken from the settings folder).
    void writeFile(const QString &path, const QByteArray &bytes);
    QByteArray readFile(const QString &path) const;
    // A table in the on-disk line format, CP932.
    void writeTable(const QString &fileName, const QStringList &columns, const QStringList &values);
    // A CP932 data file items.csv in the settings folder, one record a
    // barcode value (name 商品, text 規格, price 100), made the data source.
    void writeItems(const QStringList &barcodes);

private:
    QTemporaryDir m_dir;
    QByteArray m_oldXdg, m_oldHome;
};

// The program itself run in `home` (its settings, its Documents folder for
// the PDF printer) with these arguments; `server` is CUPS_SERVER, or a
// socket in `home` where no scheduler answers. The machine's own CUPS
// client settings (/etc/cups) are out of its sight: CUPS_SERVERROOT is a
// folder of `home`, etc-cups. `environment` sets more variables; a null
// value takes one away.
struct ProgramOutcome {
    int exitCode = -1; // -1: it crashed or did not end within two minutes
    QString out;
    QString err;
};
ProgramOutcome runProgram(const TempHome &home, const QStringList &args, const QString &server = QString(),
                          const QMap<QString, QString> &environment = {});
// The same with root as the home folder.
ProgramOutcome runProgram(const QString &root, const QStringList &args, const QString &server = QString(),
                          const QMap<QString, QString> &environment = {});

// Rows "nameless run files" and "named run files" of a bool column
// "named": the program's temporary files as most folders hold them, and as
// on a folder that cannot hold a file without a name.
void addTemporaryFileRows();
// While it lives, this program and those it starts make their temporary
// files named when `named`, as on such a folder.
class TemporaryFileNaming {
public:
    explicit TemporaryFileNaming(bool named);
    ~TemporaryFileNaming();
    TemporaryFileNaming(const TemporaryFileNaming &) = delete;
    TemporaryFileNaming &operator=(const TemporaryFileNaming &) = delete;
};

// Text to CP932 bytes (test data must be encodable).
QByteArray sjis(const QString &text);

} // namespace zltest
