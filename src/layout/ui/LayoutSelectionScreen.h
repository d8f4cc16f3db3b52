#pragma once
#include "layout/LayoutSelection.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace zl::ui {

// Form3: the titles of the label layout. While it is open its title fields
// are the titles the label renderer prints, saved or not.
class LayoutSelectionScreen : public QWidget {
public:
    LayoutSelectionScreen(const layout::LayoutFields &fields, QWidget *host);
    ~LayoutSelectionScreen() override;

    layout::Titles titles() const;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    layout::LayoutFields fields() const;
    void fillFrom(const layout::LayoutFields &fields);
    void save();

    QLineEdit *m_text[6] = {};
    QLabel *m_current = nullptr;
    QRadioButton *m_option[4] = {};
    QPushButton *m_save = nullptr;
    settings::StoredRecord m_stored; // the table as read, for what a save leaves unchanged
};

} // namespace zl::ui
