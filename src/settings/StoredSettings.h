#pragma once
// The columns of the settings tables that the screens and runs use, by name.
// Each reader goes through the sequential reader, so a table that is short
// or unreadable fails exactly as it always did, with its file named.
#include "settings/SettingsTable.h"

#include <QString>

namespace zl::settings {

// vokiconfig2.txt: where the data file is.
struct StoredDataSource {
    QString folder; // DB1, as stored (may be relative to the settings folder)
    QString file;   // DB2
};
StoredDataSource readDataSource();
// Replaces the data-source table with these two values.
void writeDataSource(const StoredDataSource &source);

// vokiconfig4.txt: the titles, the paper and the printer connection type.
struct StoredLayout {
    QString title1;  // TITLE1
    QString title2;  // TITLE2 (the C5255 marker while that slip is in use)
    QString paper;   // YOSHI
    QString printer; // PRINTER
};
StoredLayout readLayout();

// vokiconfig5.txt: the C5255 slip's own data file and the three print
// adjustments, as the texts stored; the other 94 columns are not read here.
struct StoredAdjustments {
    QString slipFolder; // DB1
    QString slipFile;   // DB2
    QString x;          // SIZE1
    QString y;          // SIZE2
    QString s;          // SIZE3
};
StoredAdjustments readAdjustments();

} // namespace zl::settings
