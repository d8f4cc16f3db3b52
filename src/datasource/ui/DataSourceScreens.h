#pragma once
// setOracle (naming and testing the data file) and Form6 (the record count).
#include <QWidget>

class QLabel;
class QLineEdit;

namespace zl::ui {

class ScreenRegistry;

void registerDataSourceScreens(ScreenRegistry &registry);

// setOracle: DB1/DB2 entry, browse, save-and-test, save-and-close.
class DataSourceScreen : public QWidget {
    Q_OBJECT
public:
    explicit DataSourceScreen(QWidget *parent = nullptr);

private:
    void browse();
    void saveAndTest();
    void saveAndClose();
    bool refuseEmpty();
    void save();

    QLineEdit *m_text1;
    QLineEdit *m_text4;
    QLabel *m_label1;
    QLabel *m_labeldb;
    QLabel *m_labelpass;
};

// Form6: counts the configured data file's records once, as it opens. The
// constructor throws zl::Failure (after telling the operator) when the data
// source cannot be read, so the screen never opens half-loaded.
class RecordCountScreen : public QWidget {
    Q_OBJECT
public:
    explicit RecordCountScreen(QWidget *parent = nullptr);
};

} // namespace zl::ui
