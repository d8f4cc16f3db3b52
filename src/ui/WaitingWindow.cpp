#include "ui/WaitingWindow.h"

#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>

namespace zl::ui {

WaitingWindow::WaitingWindow(QWidget *parent) : QWidget(parent, Qt::Dialog)
{
    setObjectName(QStringLiteral("Form8"));
    setWindowTitle(QStringLiteral("システム接続中>>>>>"));
    auto *label = new QLabel(QStringLiteral("ただいまシステムに接続中です。しばらくこのままでお待ちください。"), this);
    label->setObjectName(QStringLiteral("Label1"));
    label->setWordWrap(true);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label);
    resize(360, 90);
}

void WaitingWindow::showNow()
{
    show();
    raise();
    repaint();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

} // namespace zl::ui
