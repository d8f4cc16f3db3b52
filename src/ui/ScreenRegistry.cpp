#include "ui/ScreenRegistry.h"

#include "ui/ScreenPlacement.h"

namespace zl::ui {

ScreenRegistry &ScreenRegistry::instance()
{
    // One a process: every menu and screen opens the others through it.
    static ScreenRegistry registry;
    return registry;
}

void ScreenRegistry::add(const QString &formName, ScreenFactory factory)
{
    m_factories.insert(formName, std::move(factory));
}

bool ScreenRegistry::has(const QString &formName) const
{
    return m_factories.contains(formName);
}

QStringList ScreenRegistry::names() const
{
    QStringList names = m_factories.keys();
    names.sort();
    return names;
}

QWidget *ScreenRegistry::find(const QString &formName) const
{
    return m_open.value(formName).data();
}

QWidget *ScreenRegistry::show(const QString &formName)
{
    if (QWidget *open = find(formName)) {
        // A minimised screen chosen again comes back as it was before.
        if (open->isMinimized())
            open->setWindowState(open->windowState() & ~Qt::WindowMinimized);
        open->show();
        open->raise();
        open->activateWindow();
        return open;
    }
    auto it = m_factories.constFind(formName);
    if (it == m_factories.constEnd())
        return nullptr;
    QWidget *screen = (*it)(m_host);
    if (!screen)
        return nullptr;
    screen->setObjectName(formName);
    screen->setAttribute(Qt::WA_DeleteOnClose);
    if (m_host && !screen->parentWidget())
        screen->setParent(m_host, screen->windowFlags() | Qt::Window);
    QList<QWidget *> others;
    for (const QPointer<QWidget> &open : std::as_const(m_open))
        if (open)
            others << open.data();
    m_open.insert(formName, screen);
    installScreenKeys(screen);
    placeScreen(screen, m_host, others);
    screen->show();
    orderTabsByPlace(screen);
    screen->raise();
    screen->activateWindow();
    return screen;
}

void ScreenRegistry::close(const QString &formName)
{
    if (QWidget *open = find(formName))
        open->close();
}

} // namespace zl::ui
