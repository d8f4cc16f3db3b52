#pragma once
// The two titles the label renderer prints, as the layout sets them.
#include "label/LabelTitles.h"

#include <functional>

namespace zl::layout {

using Titles = label::Titles;

// The titles now: the layout screen's fields as they stand while it is open
// (saved or not); otherwise what that screen would load from the layout table
// (both empty while the C5255 layout is in use). Throws zl::Failure when the
// table cannot be read. On the windows' thread only.
Titles currentTitles();

// The layout screen registers itself here while it is open, and clears it
// (passes an empty function) when it closes. It reads the screen's fields:
// only the windows' thread calls it (a run takes its titles when it starts).
void setLiveTitlesSource(std::function<Titles()> source);
std::function<Titles()> liveTitlesSource();

} // namespace zl::layout
