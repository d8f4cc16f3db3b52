#pragma once
#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QRadioButton;

namespace zl::ui {

class PaperColumns;
class ScreenRegistry;
class SheetList;

// Form7 (printer and paper selection) and Form17 (printer connection type).
void registerPrinterScreens(ScreenRegistry &registry);

// Form7. Opening reads vokiconfig4.txt (throws zl::Failure when it cannot).
class PaperSelectionScreen : public QWidget {
    Q_OBJECT
public:
    explicit PaperSelectionScreen(QWidget *host);

private:
    void choosePaper();
    void chooseSheet(const QString &sheetId);
    void openPrinterSettings();
    void fillPaperList();
    void save();

    QListWidget *m_papers = nullptr;
    PaperColumns *m_paperColumns = nullptr;
    QListWidget *m_codes = nullptr;
    QLabel *m_notice = nullptr;
    // The list was filled before the printer had told its papers.
    bool m_papersAsked = false;
    QLineEdit *m_text1 = nullptr;
    QLineEdit *m_text2 = nullptr;
    QLineEdit *m_text4 = nullptr;
    QLineEdit *m_text5 = nullptr;
    SheetList *m_sheets = nullptr;
    QCheckBox *m_actualSize = nullptr;
    // The paper chosen before a sheet took the sheet's paper, chosen again
    // when the sheet is left.
    QString m_paperBeforeSheet;
};

// Form17. Opening reads vokiconfig4.txt and saves the printer settings
// (throws zl::Failure when either fails); a printer the printing system has
// not told of yet has its settings saved once it has.
class ConnectionTypeScreen : public QWidget {
    Q_OBJECT
public:
    explicit ConnectionTypeScreen(QWidget *host);

private:
    void save();

    QRadioButton *m_fixed = nullptr;
    QRadioButton *m_variable = nullptr;
    void saveSettingsOnceKnown();
    QMetaObject::Connection m_waitingForPrinter;
    QLabel *m_label2 = nullptr;
    QLineEdit *m_text1 = nullptr;
    QLineEdit *m_text2 = nullptr;
    QLineEdit *m_text3 = nullptr;
    QLineEdit *m_text4 = nullptr;
    QLineEdit *m_text5 = nullptr;
};

} // namespace zl::ui
