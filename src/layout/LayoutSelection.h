#pragma once
// The output layout choice kept in the layout table: what the layout screen
// shows when it opens and what it writes back.
#include "layout/Titles.h"
#include "settings/SettingsTable.h"

#include <QString>

namespace zl::layout {

inline const QString kStandardLayoutName = QStringLiteral("標準ﾀｲﾌﾟ");
inline const QString kC5255LayoutName = QStringLiteral("C5255 家具統一伝票");

// The screen's fields. text1/text2 are the titles of the standard layout,
// text3 the company name of the C5255 layout, text4 is never filled,
// text5/text6 carry YOSHI and PRINTER through a save untouched.
struct LayoutFields {
    QString text1, text2, text3, text4, text5, text6;
    QString currentLayout;
    // The record as it stands in the file: what a save leaves unchanged
    // goes back as these bytes.
    settings::StoredRecord stored;
};

// What the screen shows for this record of the layout table.
LayoutFields layoutFieldsFrom(const settings::SettingsRecord &record);

// Reads the layout table whole; throws zl::Failure (nothing partial is returned).
LayoutFields loadLayoutFields();

// An empty TITLE or paper text is never stored: it becomes "_", and the
// field shows "_" from then on, whether or not the save goes ahead.
void markEmptyFields(LayoutFields &fields);

enum class SaveResult { Saved, NoLayoutChosen };

// The save button: marks empty fields, then writes the table only when the
// label layout is chosen. Throws zl::Failure when the table cannot be
// written; the old table is left as it was.
SaveResult saveLayout(LayoutFields &fields, bool labelLayoutChosen);

inline Titles titlesOf(const LayoutFields &fields)
{
    return {fields.text1, fields.text2};
}

} // namespace zl::layout
