#pragma once
// The two titles the label renderer prints, as the layout sets them.
#include "label/LabelTitles.h"

#include <functional>

namespace zl::layout {

using Titles = label::Titles;

// The titles now: the layout screen's fields as they stand while it is open
// (saved or not); otherwise what that screen would load from the layout table
// (both empty while the C5255 layout is in use). Throws zl::Failure when the
// table cannot be read.
Titles currentTitles();

// The layout screen registers itself here while it is open, and clears it
// (passes an empty function) when it closes.
void setLiveTitlesSource(std::function<Titles()> source);

// While one of these lives, currentTitles() reads the titles once, at its
// first call, and answers the same afterwards: a print run prints every
// label with the titles it started with and reads the table once, not once
// per label. A failed read is not kept.
class TitlesHeldForRun {
public:
    TitlesHeldForRun();
    ~TitlesHeldForRun();
    TitlesHeldForRun(const TitlesHeldForRun &) = delete;
    TitlesHeldForRun &operator=(const TitlesHeldForRun &) = delete;
};

} // namespace zl::layout
