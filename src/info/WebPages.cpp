#include "info/WebPages.h"

#include <QDesktopServices>

namespace zl::info {
namespace {
std::function<bool(const QString &)> g_opener;
}

QString makerAddress(const QString &path)
{
    return kMakerBaseAddress + path;
}

bool openWebPage(const QString &address)
{
    if (g_opener)
        return g_opener(address);
    return QDesktopServices::openUrl(QUrl(address));
}

QString webPageFailure(const QString &address)
{
    return QStringLiteral("ブラウザーを起動できませんでした。\n"
                          "次のアドレスをコピーして、ブラウザーのアドレス欄に貼り付けてください。\n\n%1")
        .arg(address);
}

void routeWebPagesTo(std::function<bool(const QString &)> opener)
{
    g_opener = std::move(opener);
}

} // namespace zl::info
