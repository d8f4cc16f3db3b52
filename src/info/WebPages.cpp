#include "info/WebPages.h"

#include <QDesktopServices>

namespace zl::info {
namespace {
std::function<void(const QString &)> g_opener;
}

QString makerAddress(const QString &path)
{
    return kMakerBaseAddress + path;
}

void openWebPage(const QString &address)
{
    if (g_opener) {
        g_opener(address);
        return;
    }
    QDesktopServices::openUrl(QUrl(address));
}

void routeWebPagesTo(std::function<void(const QString &)> opener)
{
    g_opener = std::move(opener);
}

} // namespace zl::info
