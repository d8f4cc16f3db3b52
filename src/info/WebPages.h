#pragma once
// The maker's web pages, opened by the desktop's handler for web addresses.
#include <QString>
#include <QUrl>
#include <functional>

namespace zl::info {

inline const QString kMakerBaseAddress = QStringLiteral("https://www.tavizo.example/");

inline const QString kLayoutOrderPage = QStringLiteral("qforms2/form.html");
inline const QString kOnlineHelpPage = QStringLiteral("cs.htm");
inline const QString kOnlineSupportPage = QStringLiteral("qqq.htm");

// The full address of a page of the maker's site.
QString makerAddress(const QString &path);

// Hands the address to the desktop's browser. False when none could be
// started; what the browser does with the page is not looked at, as with any
// link the operator clicks.
bool openWebPage(const QString &address);

// What the screens say when no browser could be started.
QString webPageFailure(const QString &address);

// Test hook: while set, addresses go here instead of to the desktop, and its
// answer stands for whether a browser started.
void routeWebPagesTo(std::function<bool(const QString &)> opener);

} // namespace zl::info
