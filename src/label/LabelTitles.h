#pragma once
#include <QString>

namespace zl::label {

// The two titles a label prints; where they come from is the layout's business.
struct Titles {
    QString title1;
    QString title2;
};

} // namespace zl::label
