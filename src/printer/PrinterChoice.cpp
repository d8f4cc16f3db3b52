#include "printer/PrinterChoice.h"

#include "common/Failure.h"
#include "printer/DeviceRecords.h"
#include "settings/SettingsTable.h"

#include <QDir>

namespace zl::printer {

namespace {

const QString kDeviceColumn = QStringLiteral("DEVICE");
const QString kPaperColumn = QStringLiteral("PAPER");
const QString kWidthColumn = QStringLiteral("WIDTH");
const QString kHeightColumn = QStringLiteral("HEIGHT");

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

// The name, and the paper of the printer so named (none for a queue, which
// keeps its own).
void store(const QString &name, const Printer *paperOf = nullptr)
{
    const auto number = [](std::optional<int> value) { return value ? QString::number(*value) : QString(); };
    settings::RewriteSettingsTable(kPrinterChoiceTable, {kDeviceColumn, kPaperColumn, kWidthColumn, kHeightColumn},
                                   {name, paperOf ? number(paperOf->paperSize()) : QString(),
                                    paperOf ? number(paperOf->pageWidthTwips()) : QString(),
                                    paperOf ? number(paperOf->pageHeightTwips()) : QString()});
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
            store(chosen.deviceName(), &chosen);
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

void restoreKeptPaper(Printer &builtIn)
{
    settings::SettingsRecord kept;
    try {
        kept = settings::QuerySettingsTable(kPrinterChoiceTable);
    } catch (const Failure &) {
        return; // the choice itself says what is wrong with the table
    }
    // Tables from before the paper was kept have the name alone.
    const auto field = [&kept](const QString &column) { return kept.has(column) ? kept.value(column).trimmed() : QString(); };
    if (field(kDeviceColumn).compare(builtIn.deviceName(), Qt::CaseInsensitive) != 0)
        return;
    bool ok = false;
    const int paper = field(kPaperColumn).toInt(&ok);
    if (!ok || !builtIn.setPaperSize(paper))
        return;
    if (paper != kUserPaperSize)
        return;
    const int width = field(kWidthColumn).toInt(&ok);
    if (ok)
        builtIn.setPageWidthTwips(width);
    const int height = field(kHeightColumn).toInt(&ok);
    if (ok)
        builtIn.setPageHeightTwips(height);
}

} // namespace zl::printer
