#include "printing/ui/ProgressWindow.h"

#include "ui/ScreenRegistry.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace zl::ui {

ProgressWindow::ProgressWindow(printing::RunControl &control, QWidget *parent)
    : QWidget(parent, Qt::Dialog), m_control(control)
{
    setObjectName(QStringLiteral("frmprinting"));
    setWindowTitle(QStringLiteral("   印刷処理中"));
    auto *label = new QLabel(QStringLiteral("伝票印刷処理中　しばらくお待ちください。"), this);
    label->setObjectName(QStringLiteral("Label1"));
    m_progress = new QLineEdit(this);
    m_progress->setObjectName(QStringLiteral("txtprogress"));
    m_progress->setReadOnly(true);
    m_progress->setFocusPolicy(Qt::NoFocus);
    m_counts = new QLabel(this);
    m_counts->setObjectName(QStringLiteral("lblcounts"));
    // Under the counts: what the labels wait for, in a sentence or two.
    m_counts->setWordWrap(true);
    setWindowModality(Qt::ApplicationModal);
    auto *cancelButton = new QPushButton(QStringLiteral("キャンセル"), this);
    cancelButton->setObjectName(QStringLiteral("comcancel1"));
    connect(cancelButton, &QPushButton::clicked, this, &ProgressWindow::cancel);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_progress);
    layout->addWidget(m_counts);
    layout->addWidget(cancelButton, 0, Qt::AlignRight);
}

void ProgressWindow::open()
{
    m_open = true;
    m_progress->clear();
    m_counts->clear();
    setGeometry(twips(3000), twips(3300), twips(5000), twips(2300));
    show();
    raise();
}

void ProgressWindow::setProgressText(const QString &text)
{
    m_progress->setText(text);
}

void ProgressWindow::setRunCounts(const QString &text)
{
    m_counts->setText(m_control.cancel ? text + QStringLiteral("　キャンセルしています…") : text);
    if (height() < sizeHint().height())
        resize(width(), sizeHint().height());
}

void ProgressWindow::close()
{
    m_open = false;
    QWidget::close();
}

void ProgressWindow::closeEvent(QCloseEvent *event)
{
    // While a label is drawn the cancel button is the way to stop it.
    if (m_open)
        event->ignore();
    else
        QWidget::closeEvent(event);
}

void ProgressWindow::cancel()
{
    // Only a flag (the run is on a thread of its own): the renderer aborts
    // the label at its next step, the run stops before its next record and
    // takes back at the printer what was not printed yet.
    m_control.cancel = true;
    // Said at once: the run may be waiting for the printing system.
    m_counts->setText(QStringLiteral("キャンセルしています… まだ印刷されていないラベルを取り消します。"));
}

} // namespace zl::ui
