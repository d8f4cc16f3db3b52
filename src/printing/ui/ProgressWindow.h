#pragma once
#include "printing/RunContext.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace zl::ui {

// frmprinting: open from the start of a run until its last label has come
// out of the printer; its cancel button is the only way to stop a print run.
// Modal for the whole program: nothing else can start a run or change the
// printer or the adjustments while one is under way.
class ProgressWindow : public QWidget {
    Q_OBJECT
public:
    // `control` is the run's, and outlives the window.
    explicit ProgressWindow(printing::RunControl &control, QWidget *parent = nullptr);

    void open();
    void setProgressText(const QString &text);
    void close();
    void setRunCounts(const QString &text);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void cancel();

    printing::RunControl &m_control;
    QLineEdit *m_progress;
    QLabel *m_counts;
    bool m_open = false;
};

} // namespace zl::ui
