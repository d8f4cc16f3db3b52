#pragma once
// Every screen but the main window is a window of its own, opened without
// blocking and at most once: opening it again brings it forward. Each opens
// over the main window and answers Esc, Enter and Tab alike
// (ScreenPlacement.h).
#include <QHash>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>

namespace zl::ui {

// Window geometry is given in twips; the screens are laid out at 96 dpi.
constexpr int twips(int t) { return (t + 7) / 15; }

using ScreenFactory = std::function<QWidget *(QWidget *host)>;

class ScreenRegistry {
public:
    static ScreenRegistry &instance();

    // Called once per screen kind; formName is the screen's objectName.
    void add(const QString &formName, ScreenFactory factory);
    bool has(const QString &formName) const;
    // Every screen kind registered, sorted.
    QStringList names() const;

    // The window the screens belong to (the main window); they close with it.
    void setHost(QWidget *host) { m_host = host; }
    QWidget *host() const { return m_host; }

    // Shows the screen: creates it when it is not open, otherwise brings the
    // open one forward. Null when no such screen is registered. Failures
    // thrown while the screen opens reach the caller.
    QWidget *show(const QString &formName);
    // The open instance, or null.
    QWidget *find(const QString &formName) const;
    // Closes the open instance, if any.
    void close(const QString &formName);

private:
    QHash<QString, ScreenFactory> m_factories;
    QHash<QString, QPointer<QWidget>> m_open;
    QPointer<QWidget> m_host;
};

// Registers the screens of every area. Each area adds one call here.
void registerAllScreens(ScreenRegistry &registry);

} // namespace zl::ui
