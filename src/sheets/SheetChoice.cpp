#include "sheets/SheetChoice.h"

#include "common/Failure.h"
#include "settings/SettingsTable.h"

#include <QDir>
#include <QFile>

namespace zl::printer {

namespace {

const QString kSheetColumn = QStringLiteral("SHEET");
const QString kStartColumn = QStringLiteral("START");
const QString kScaleColumn = QStringLiteral("SCALE");
const QString kPaperColumn = QStringLiteral("PAPER");
const QString kRecentColumn = QStringLiteral("RECENT");
constexpr int kRecentKept = 8;
const QString kFitValue = QStringLiteral("FIT");
const QString kActualValue = QStringLiteral("ACTUAL");

QString scaleValue(LabelScale scale)
{
    return scale == LabelScale::ActualSize ? kActualValue : kFitValue;
}

void writeTable(const SheetChoice &choice, LabelScale scale, const QString &paperBefore)
{
    const SheetTemplate *sheet = choice.sheet();
    QStringList recent = recentSheets();
    if (sheet) {
        recent.removeAll(sheet->id);
        recent.prepend(sheet->id);
    }
    settings::RewriteSettingsTable(kSheetTable, {kSheetColumn, kStartColumn, kScaleColumn, kPaperColumn, kRecentColumn},
                                   {sheet ? sheet->id : QString(), QString::number(sheet ? choice.start : 1),
                                    scaleValue(scale), sheet ? paperBefore : QString(),
                                    recent.mid(0, kRecentKept).join(QLatin1Char('|'))});
}

SheetOverride &sheetOverride()
{
    // The command line's, for the process's one run (the windows never set it).
    static SheetOverride o;
    return o;
}

// Well over a thousand sheets: the operator is pointed to the list.
QString knownSheetIds()
{
    return QStringLiteral("zenlabo --list-sheets の一覧の ID か「メーカー 品番」");
}

} // namespace

void checkSheetStart(const SheetTemplate &sheet, int start)
{
    if (start < 1 || start > sheet.positions())
        throw Failure(QStringLiteral("シート「%1」の開始位置 %2 はシートにありません。開始位置は 1 から %3 で指定してください"
                                     "（左上が1、左から右、上から下の順）。")
                          .arg(sheet.id)
                          .arg(start)
                          .arg(sheet.positions()));
}

SheetChoice readSheetChoice()
{
    // A table that was never written: the labels print one a page, as
    // before sheets existed.
    if (!QFile::exists(settings::tablePath(kSheetTable)))
        return {};
    const QString path = QDir::toNativeSeparators(settings::tablePath(kSheetTable));
    settings::SettingsRecord r;
    try {
        r = settings::QuerySettingsTable(kSheetTable, {kSheetColumn, kStartColumn});
    } catch (const Failure &f) {
        // The operator must know which of the tables to look at.
        if (f.description().contains(kSheetTable))
            throw;
        throw Failure(QStringLiteral("設定ファイル %1: %2").arg(path, f.description()));
    }
    SheetChoice choice;
    choice.sheetId = r.value(kSheetColumn).trimmed();
    if (choice.sheetId.isEmpty())
        return {};
    const SheetTemplate *sheet = findSheet(choice.sheetId);
    if (!sheet)
        throw Failure(QStringLiteral("設定ファイル %1 のシート「%2」は知らないシートです。使えるシート: %3。"
                                     "プリンター設定の画面でシートを選び直してください。")
                          .arg(path, choice.sheetId, knownSheetIds()));
    choice.sheetId = sheet->id;
    bool ok = false;
    const QString startText = r.value(kStartColumn).trimmed();
    choice.start = startText.isEmpty() ? 1 : startText.toInt(&ok);
    if (!startText.isEmpty() && !ok)
        throw Failure(QStringLiteral("設定ファイル %1 の開始位置「%2」が数値ではありません。").arg(path, startText));
    try {
        checkSheetStart(*sheet, choice.start);
    } catch (const Failure &f) {
        throw Failure(QStringLiteral("設定ファイル %1: %2").arg(path, f.description()));
    }
    return choice;
}

namespace {
// The paper before the sheet stays with the sheet it was kept for: a run
// moving the first free position on, or another scale, leaves it.
QString paperKeptFor(const SheetChoice &choice)
{
    try {
        if (readSheetChoice().sheetId == choice.sheetId)
            return readPaperBeforeSheet();
    } catch (const Failure &) {
    }
    return {};
}
} // namespace

void saveSheetChoice(const SheetChoice &choice)
{
    LabelScale scale = LabelScale::Fit;
    try {
        scale = readLabelScale();
    } catch (const Failure &) {
        // A value no one can read is replaced along with the sheet.
    }
    writeTable(choice, scale, paperKeptFor(choice));
}

QStringList recentSheets()
{
    try {
        if (!QFile::exists(settings::tablePath(kSheetTable)))
            return {};
        const settings::SettingsRecord r = settings::QuerySettingsTable(kSheetTable);
        if (!r.has(kRecentColumn))
            return {};
        QStringList ids;
        for (const QString &id : r.value(kRecentColumn).split(QLatin1Char('|'), Qt::SkipEmptyParts))
            if (const SheetTemplate *sheet = findSheet(id); sheet && !ids.contains(sheet->id))
                ids << sheet->id;
        return ids;
    } catch (const Failure &) {
        return {};
    }
}

QString readPaperBeforeSheet()
{
    try {
        if (readSheetChoice().sheetId.isEmpty())
            return {};
        const settings::SettingsRecord r = settings::QuerySettingsTable(kSheetTable);
        return r.has(kPaperColumn) ? r.value(kPaperColumn).trimmed() : QString();
    } catch (const Failure &) {
        return {};
    }
}

LabelScale readLabelScale()
{
    if (!QFile::exists(settings::tablePath(kSheetTable)))
        return LabelScale::Fit;
    const settings::SettingsRecord r = settings::QuerySettingsTable(kSheetTable);
    if (!r.has(kScaleColumn))
        return LabelScale::Fit;
    const QString value = r.value(kScaleColumn).trimmed().toUpper();
    if (value.isEmpty() || value == kFitValue)
        return LabelScale::Fit;
    if (value == kActualValue)
        return LabelScale::ActualSize;
    throw Failure(QStringLiteral("設定ファイル %1 の印刷サイズ「%2」は %3 か %4 のどちらかです。"
                                 "プリンター設定の画面で選び直してください。")
                      .arg(QDir::toNativeSeparators(settings::tablePath(kSheetTable)), r.value(kScaleColumn), kFitValue,
                           kActualValue));
}

void saveLabelScale(LabelScale scale)
{
    try {
        if (readLabelScale() == scale && (scale == LabelScale::Fit || QFile::exists(settings::tablePath(kSheetTable))))
            return;
    } catch (const Failure &) {
    }
    SheetChoice choice;
    try {
        choice = readSheetChoice();
    } catch (const Failure &) {
        // A damaged sheet choice is not carried over.
    }
    writeTable(choice, scale, paperKeptFor(choice));
}

PageGeometry labelPage(const PageGeometry &paper, const SheetTemplate *sheet)
{
    if (!sheet)
        return paper;
    PageGeometry g;
    g.paperMm = sheet->labelMm;
    g.printableMm = QRectF(QPointF(0, 0), sheet->labelMm);
    g.dpi = paper.dpi;
    return g;
}

void chooseSheet(const QString &sheetId, const QString &paperBefore)
{
    const SheetTemplate *sheet = findSheet(sheetId);
    SheetChoice stored;
    QString storedBefore;
    try {
        stored = readSheetChoice();
        storedBefore = readPaperBeforeSheet();
    } catch (const Failure &) {
        // A damaged table is replaced by the operator's choice.
        stored.sheetId = QStringLiteral("?");
    }
    const QString id = sheet ? sheet->id : QString();
    const QString before = sheet ? paperBefore : QString();
    if (id == stored.sheetId && before == storedBefore)
        return;
    LabelScale scale = LabelScale::Fit;
    try {
        scale = readLabelScale();
    } catch (const Failure &) {
    }
    writeTable({id, id == stored.sheetId ? stored.start : 1}, scale, before);
}

void setSheetOverride(const SheetOverride &override)
{
    sheetOverride() = override;
}

SheetChoice runSheetChoice(bool *stored)
{
    const SheetOverride &o = sheetOverride();
    SheetChoice choice;
    bool sameAsStored = true;
    if (o.sheetId) {
        // The stored position counts only when the stored sheet is the one
        // printed on; a damaged table does not stand in the way of another.
        SheetChoice kept;
        try {
            kept = readSheetChoice();
        } catch (const Failure &) {
        }
        choice.sheetId = *o.sheetId;
        if (const SheetTemplate *sheet = choice.sheet())
            choice.sheetId = sheet->id;
        sameAsStored = !choice.sheetId.isEmpty() && choice.sheetId == kept.sheetId;
        choice.start = sameAsStored ? kept.start : 1;
    } else {
        choice = readSheetChoice();
    }
    if (o.start)
        choice.start = *o.start;
    if (stored)
        *stored = sameAsStored && !choice.sheetId.isEmpty();
    if (!choice.sheetId.isEmpty()) {
        const SheetTemplate *sheet = choice.sheet();
        if (!sheet)
            throw Failure(QStringLiteral("シート「%1」はありません。使えるシート: %2、または none。")
                              .arg(choice.sheetId, knownSheetIds()));
        checkSheetStart(*sheet, choice.start);
    }
    return choice;
}

LabelScale runLabelScale()
{
    if (sheetOverride().scale)
        return *sheetOverride().scale;
    return readLabelScale();
}

} // namespace zl::printer
