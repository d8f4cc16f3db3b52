#pragma once
#include "app/Startup.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QComboBox;

namespace zl::ui {

// Form1: the main menu. Loading it is the program's start-up.
class MainMenu : public QWidget {
    Q_OBJECT
public:
    // workingFolder: where a dealer's own default tables may stand.
    explicit MainMenu(const QString &workingFolder, QWidget *parent = nullptr);

private:
    void load();
    // The settings as m_view holds them, into the labels and holders.
    void showSettings();
    void showPrinterInForce(QLabel *line);
    void openWithWaiting(const QString &formName, const QString &failureText);
    void openPartialRun();

    QString m_workingFolder;
    app::StartupView m_view;
    QLabel *m_label4 = nullptr;
    QLabel *m_label7 = nullptr;
    QLabel *m_label11 = nullptr;
    QLabel *m_label12 = nullptr;
    QLabel *m_label15 = nullptr;
    QLineEdit *m_textuser = nullptr;
    QLineEdit *m_textdb = nullptr;
};

} // namespace zl::ui
