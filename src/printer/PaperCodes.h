#pragma once
// Paper codes from the names printers give their sizes. A PPD names its sizes
// with Adobe's keywords (A4, B4 = JIS B4, ISOB4, A5Rotated, w144h72 …); a
// driverless queue with PWG names (iso_a4_210x297mm, jis_b5_182x257mm …).
// The name says what the size is meant to be; guessing from the dimensions
// mistakes label stock for envelopes and JIS B for ISO B.
#include <QString>

namespace zl::printer {

// The Windows paper number of a size by its PPD keyword or PWG name, or 0
// when the name is not a standard size (label stock, custom names).
int paperCodeForName(const QString &name);

} // namespace zl::printer
