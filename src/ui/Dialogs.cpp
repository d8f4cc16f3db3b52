#include "ui/Dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace zl::ui {
namespace {
QList<ShownMessage> *g_sink = nullptr;
std::function<std::optional<QString>()> g_chooser;
} // namespace

void recordMessagesInto(QList<ShownMessage> *sink)
{
    g_sink = sink;
}

void answerFileDialogWith(std::function<std::optional<QString>()> chooser)
{
    g_chooser = std::move(chooser);
}

void showMessage(QWidget *parent, const QString &text, const QString &title, int style)
{
    if (g_sink) {
        g_sink->append({text, title, style});
        return;
    }
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (style) {
    case Critical: icon = QMessageBox::Critical; break;
    case Exclamation: icon = QMessageBox::Warning; break;
    case Information: icon = QMessageBox::Information; break;
    default: break;
    }
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    box.exec();
}

std::optional<QString> chooseFileToOpen(QWidget *parent)
{
    if (g_chooser)
        return g_chooser();
    const QString file = QFileDialog::getOpenFileName(parent);
    if (file.isEmpty())
        return std::nullopt;
    return file;
}

} // namespace zl::ui
