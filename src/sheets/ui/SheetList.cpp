#include "sheets/ui/SheetList.h"

#include "common/Failure.h"
#include "sheets/SheetChoice.h"

#include <QSignalBlocker>

namespace zl::ui {

SheetList::SheetList(QWidget *parent) : QListWidget(parent)
{
    setObjectName(QStringLiteral("ListSheet"));
    auto *none = new QListWidgetItem(QStringLiteral("シートなし（1ページに1枚）"), this);
    none->setData(Qt::UserRole, QString());
    for (const printer::SheetTemplate &s : printer::sheetTemplates()) {
        auto *item = new QListWidgetItem(s.name, this);
        item->setData(Qt::UserRole, s.id);
    }
    QString stored;
    try {
        stored = printer::readSheetChoice().sheetId;
    } catch (const Failure &) {
    }
    setSheetId(stored);
    connect(this, &QListWidget::itemSelectionChanged, this, [this] { emit sheetChosen(sheetId()); });
}

QString SheetList::sheetId() const
{
    const QListWidgetItem *item = currentItem();
    return item ? item->data(Qt::UserRole).toString() : QString();
}

void SheetList::setSheetId(const QString &id)
{
    const QSignalBlocker quiet(this);
    for (int i = 0; i < count(); ++i)
        if (item(i)->data(Qt::UserRole).toString() == id)
            setCurrentRow(i);
}

} // namespace zl::ui
