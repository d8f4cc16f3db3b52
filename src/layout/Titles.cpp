#include "layout/Titles.h"

#include "settings/Defaults.h"
#include "settings/SettingsTable.h"

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

Titles currentTitles()
{
    if (liveSource())
        return liveSource()();
    const settings::SettingsRecord r = settings::QuerySettingsTable(settings::kLayoutTable);
    if (r.value(QStringLiteral("TITLE2")) == settings::kC5255Marker)
        return {};
    return {r.value(QStringLiteral("TITLE1")), r.value(QStringLiteral("TITLE2"))};
}

} // namespace zl::layout
