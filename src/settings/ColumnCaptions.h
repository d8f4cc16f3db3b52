#pragma once
// What the operator sees for each settings column: the caption of its field
// on screen. Messages name these, never the column names of the files.
#include <QString>

namespace zl::settings {

// 「接続CSV(ﾌｧｲﾙﾊﾟｽ)」 for DB1, 「タイトル2」 for TITLE2, …; for a column no
// screen shows, 「設定の項目「NAME」」.
QString columnCaption(const QString &column);

} // namespace zl::settings
