#pragma once
// Opening and closing the layout screens the way the main window does,
// without blocking on message boxes.
#include "ui/Dialogs.h"
#include "ui/ScreenRegistry.h"
#include "layout/ui/LayoutScreens.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

namespace zltest {

inline QWidget *openScreen(const QString &formName)
{
    auto &registry = zl::ui::ScreenRegistry::instance();
    zl::ui::registerLayoutScreens(registry);
    return registry.show(formName);
}

// Closes whatever a test left open and lets the closed windows go.
inline void closeScreens(const QStringList &formNames)
{
    for (const QString &name : formNames)
        zl::ui::ScreenRegistry::instance().close(name);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

inline void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace zltest
