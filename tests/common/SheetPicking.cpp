#include "SheetPicking.h"

#include "sheets/ui/SheetList.h"

#include <QItemSelectionModel>
#include <QTreeView>

namespace zltest {

namespace {
QTreeView *sheetView(QWidget *screen)
{
    auto *list = screen ? screen->findChild<zl::ui::SheetList *>(QStringLiteral("ListSheet")) : nullptr;
    return list ? list->view() : nullptr;
}
} // namespace

int sheetRow(QWidget *screen, const QString &sheetId)
{
    QTreeView *view = sheetView(screen);
    if (!view)
        return -1;
    for (int r = 0; r < view->model()->rowCount(); ++r)
        if (view->model()->index(r, 0).data(Qt::UserRole).toString() == sheetId)
            return r;
    return -1;
}

bool pickSheetRow(QWidget *screen, int row)
{
    QTreeView *view = sheetView(screen);
    if (!view || row < 0 || row >= view->model()->rowCount())
        return false;
    view->selectionModel()->setCurrentIndex(view->model()->index(row, 0),
                                            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    return true;
}

bool pickSheet(QWidget *screen, const QString &sheetId)
{
    return pickSheetRow(screen, sheetRow(screen, sheetId));
}

QString currentSheetRow(QWidget *screen)
{
    QTreeView *view = sheetView(screen);
    if (!view || !view->currentIndex().isValid())
        return {};
    return view->currentIndex().data(Qt::UserRole).toString();
}

} // namespace zltest
