#pragma once
#include <QString>

namespace zl::printing {

// The first rows a partial run prints and the last it reads, from the
// screen's or the command line's texts; throws when they are not row numbers
// or name no row (the wrong way round).
struct RowRange {
    int first = 1;
    int last = 0;
};
RowRange rowRange(const QString &first, const QString &last);

} // namespace zl::printing
