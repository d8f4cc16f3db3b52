#include "layout/Titles.h"

#include "layout/LayoutSelection.h"

#include <optional>

namespace zl::layout {

namespace {
std::function<Titles()> &liveSource()
{
    static std::function<Titles()> source;
    return source;
}

struct Hold {
    int depth = 0;
    std::optional<Titles> titles;
};

Hold &hold()
{
    static Hold h;
    return h;
}

Titles readTitles()
{
    if (liveSource())
        return liveSource()();
    return titlesOf(loadLayoutFields());
}
} // namespace

TitlesHeldForRun::TitlesHeldForRun()
{
    ++hold().depth;
}

TitlesHeldForRun::~TitlesHeldForRun()
{
    if (--hold().depth == 0)
        hold().titles.reset();
}

void setLiveTitlesSource(std::function<Titles()> source)
{
    liveSource() = std::move(source);
}

Titles currentTitles()
{
    Hold &h = hold();
    if (h.depth == 0)
        return readTitles();
    if (!h.titles)
        h.titles = readTitles();
    return *h.titles;
}

} // namespace zl::layout
