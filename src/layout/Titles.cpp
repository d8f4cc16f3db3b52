#include "layout/Titles.h"

#include "layout/LayoutSelection.h"

namespace zl::layout {

namespace {
std::function<Titles()> &liveSource()
{
    static std::function<Titles()> source;
    return source;
}
} // namespace

void setLiveTitlesSource(std::function<Titles()> source)
{
    liveSource() = std::move(source);
}

std::function<Titles()> liveTitlesSource()
{
    return liveSource();
}

Titles currentTitles()
{
    if (liveSource())
        return liveSource()();
    return titlesOf(loadLayoutFields());
}

} // namespace zl::layout
