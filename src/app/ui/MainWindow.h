#pragma once
#include <QMainWindow>
#include <QPointer>

#include "app/ui/MainMenu.h"

class QAction;
class QLabel;
class QMdiArea;

namespace zl::ui {


// frmMain: the frame window. Closing it ends the program.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(const QString &workingFolder, QWidget *parent = nullptr);

    QMdiArea *mdiArea() const { return m_mdi; }
    // The main menu opened at start-up.
    MainMenu *startupMenu() const { return m_startupMenu; }

private:
    MainMenu *addMainMenu();
    void showSharedMainMenu();
    QAction *screenItem(QMenu *menu, const char *name, const QString &caption, const QString &formName);
    void updateClock();

    QString m_workingFolder;
    QMdiArea *m_mdi = nullptr;
    QPointer<MainMenu> m_startupMenu;
    QPointer<MainMenu> m_sharedMenu;
    QLabel *m_date = nullptr;
    QLabel *m_time = nullptr;
};

} // namespace zl::ui
