#pragma once
#include "printing/RunProgress.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace zl::ui {

class ScreenRegistry;

// frmprinting: open from the start of a run until its last label has come
// out of the printer; its cancel button is the only way to stop a print run.
// Modal for the whole program: nothing else can start a run or change the
// printer or the adjustments while one is under way.
class ProgressWindow : public QWidget, public label::ProgressView {
    Q_OBJECT
public:
    explicit ProgressWindow(label::LabelFields &fields, QWidget *parent = nullptr);

    void open() override;
    void setProgressText(const QString &text) override;
    void processEvents() override;
    void close() override;
    void setRunCounts(const QString &text) override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void cancel();

    label::LabelFields &m_fields;
    QLineEdit *m_progress;
    QLabel *m_counts;
    bool m_open = false;
};

// Installs the progress window the renderer opens for every label.
void registerPrintingScreens(ScreenRegistry &registry);

} // namespace zl::ui
