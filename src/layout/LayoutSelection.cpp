#include "layout/LayoutSelection.h"

#include "printer/PrinterNews.h"
#include "settings/Defaults.h"
#include "settings/SettingsTable.h"

namespace zl::layout {

LayoutFields layoutFieldsFrom(const settings::SettingsRecord &record)
{
    const QString title1 = record.value(QStringLiteral("TITLE1"));
    const QString title2 = record.value(QStringLiteral("TITLE2"));
    LayoutFields f;
    f.text5 = record.value(QStringLiteral("YOSHI"));
    f.text6 = record.value(QStringLiteral("PRINTER"));
    if (title2 == settings::kC5255Marker) {
        // The slip layout prints no titles; its TITLE1 is the company name.
        f.text3 = title1;
        f.currentLayout = kC5255LayoutName;
    } else {
        f.text1 = title1;
        f.text2 = title2;
        f.currentLayout = kStandardLayoutName;
    }
    return f;
}

LayoutFields loadLayoutFields()
{
    LayoutFields f = layoutFieldsFrom(settings::QuerySettingsTable(settings::kLayoutTable));
    f.stored = settings::readStoredRecord(settings::kLayoutTable, settings::layoutColumns());
    return f;
}

void markEmptyFields(LayoutFields &fields)
{
    for (QString *text : {&fields.text1, &fields.text2, &fields.text3, &fields.text5})
        if (text->isEmpty())
            *text = QStringLiteral("_");
}

SaveResult saveLayout(LayoutFields &fields, bool labelLayoutChosen)
{
    markEmptyFields(fields);
    if (!labelLayoutChosen)
        return SaveResult::NoLayoutChosen;
    settings::RewriteSettingsTable(settings::kLayoutTable, settings::layoutColumns(),
                                   {fields.text1, fields.text2, fields.text5, fields.text6}, fields.stored);
    // The main menu's layout line and the labels the screens draw.
    printer::PrinterInForceNews::instance().tell();
    return SaveResult::Saved;
}

} // namespace zl::layout
