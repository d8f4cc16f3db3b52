#include "printer/PrinterChoice.h"

#include "common/Failure.h"
#include "settings/SettingsTable.h"

#include <QDir>

namespace zl::printer {

namespace {

const QString kDeviceColumn = QStringLiteral("DEVICE");

QString shownPath()
{
    return QDir::toNativeSeparators(settings::tablePath(kPrinterChoiceTable));
}

// The name as stored; empty without a table.
QString storedName()
{
    try {
        return settings::QuerySettingsTable(kPrinterChoiceTable, {kDeviceColumn}).value(kDeviceColumn).trimmed();
    } catch (const settings::TableFailure &f) {
        if (f.kind() == settings::TableFailure::Missing)
            return {};
        // The operator must know which file to look at.
        if (f.description().contains(kPrinterChoiceTable))
            throw;
        throw Failure(QStringLiteral("設定ファイル %1: %2").arg(shownPath(), f.description()));
    }
}

void store(const QString &name)
{
    settings::RewriteSettingsTable(kPrinterChoiceTable, {kDeviceColumn}, {name});
}

} // namespace

QString readPrinterChoice(const QString &builtInName)
{
    const QString name = storedName();
    if (name.isEmpty())
        return {};
    if (name.compare(builtInName, Qt::CaseInsensitive) == 0)
        return builtInName;
    throw Failure(QStringLiteral("設定ファイル %1 のプリンター「%2」が分からないため、どのプリンターに印刷するか決められません。"
                                 "「プリンター/用紙設定」の「プリンターの設定」でプリンターを選び直してください。")
                      .arg(shownPath(), name));
}

void keepPrinterChoice(Printer &chosen)
{
    PrinterCollection *all = printers();
    if (all && all->builtIn() == &chosen) {
        try {
            store(chosen.deviceName());
        } catch (const Failure &f) {
            throw Failure(QStringLiteral("「%1」を次の起動でも使うプリンターとして保存できませんでした。%2")
                              .arg(chosen.deviceName(), f.description()));
        }
        return;
    }
    // A queue: the program's own choice gives way to the user's default
    // queue. A table that cannot be read is replaced all the same.
    bool keptBuiltIn = true;
    try {
        keptBuiltIn = !storedName().isEmpty();
    } catch (const Failure &) {
    }
    if (keptBuiltIn) {
        try {
            store(QString());
        } catch (const Failure &f) {
            throw Failure(QStringLiteral("プリンター「%1」を次の起動でも使うプリンターとして保存できませんでした。%2")
                              .arg(chosen.deviceName(), f.description()));
        }
    }
    if (!chosen.makeUserDefault())
        throw Failure(QStringLiteral("プリンター「%1」を通常使うプリンターとして保存できませんでした。ホームフォルダーの"
                                     ".cups/lpoptions に書き込めるか確認してください。")
                          .arg(chosen.deviceName()));
}

} // namespace zl::printer
