#pragma once
// The print position and font size adjustments, kept in the adjustment table
// together with 96 other values that pass through untouched.
#include "settings/SettingsTable.h"

#include <QString>
#include <QStringList>
#include <array>

namespace zl::layout {

// Positions of SIZE1..SIZE3 among the table's 99 columns.
constexpr int kFirstAdjustmentColumn = 2;

// The stored text of a slider position: "-5", "0", "12".
QString adjustmentText(int position);

struct AdjustmentLoad {
    // The 99 values in column order, exactly as read; an adjustment that
    // could not be used is replaced by "0" (see problems).
    QStringList values;
    // The slider positions; a decimal adjustment keeps its text in values
    // and shows at the nearest whole position.
    std::array<int, 3> positions{};
    // One sentence per adjustment that was empty, not a number or out of
    // range; empty when all three were usable.
    QStringList problems;
    // The record as it stands in the file: values the screen does not change
    // go back as these bytes, whatever another program stored there.
    settings::StoredRecord stored;
};

// Fetches SIZE1..SIZE3 by name, then the whole record. Throws zl::Failure
// when the table is missing, unreadable or lacks a column.
AdjustmentLoad loadAdjustments();
// The same from records already fetched (sizes: SIZE1..SIZE3 texts;
// all: the 99 values in column order).
AdjustmentLoad adjustmentsFrom(const QStringList &sizes, const QStringList &all);

// Writes the 99 values; those equal to what was read (asRead) go back as
// the bytes they were read from, the others are checked and encoded.
// Throws zl::Failure; the old table then stays.
void saveAdjustments(const QStringList &values, const settings::StoredRecord &asRead = {});

} // namespace zl::layout
