#pragma once
#include "label/Barcode.h"
#include "printing/PrintRun.h"
#include "printing/ProgramRun.h"

#include <QWidget>

class QLabel;
class QLayout;
class QLineEdit;
class QPushButton;
class QTableView;

namespace zl::ui {

class BarcodePreview;
class BarcodePictureView;
class LabelPreviewView;
class SheetBox;
class ScreenRegistry;

// What both print screens share: the grid of the data source, the status
// line, the holders, the barcode preview and the guard that keeps a second
// run from starting (or the screen from closing) while a label prints.
class PrintScreenBase : public QWidget {
    Q_OBJECT
public:
    bool isRunning() const { return m_running; }

protected:
    explicit PrintScreenBase(QWidget *parent);
    // Reads the data-source table and shows the data file in the grid.
    void loadDataSource();
    void showDataSource(const QString &db1, const QString &db2);
    // The opening error report.
    void reportOpeningError(const Failure &failure);
    printing::RunHooks commonHooks();
    // Runs `run` with the guard up; reports its failure with the run error
    // message and keeps the screen usable.
    void guardedRun(const std::function<void()> &run);
    // The end message (and closing) after a run, or nothing.
    // sayCapStop: the counter stopping the run is always said (the partial
    // run, whose range it cuts short).
    void reportEnd(const printing::RunResult &result, bool sayCapStop = false);
    void closeEvent(QCloseEvent *event) override;
    // The grid with the selected record's whole label beside it.
    QLayout *gridBesideLabelPreview();
    void showRecordLabel(int row);
    // The grid row the next run's first label comes from.
    virtual int firstRunRow() const { return 0; }

    QTableView *m_grid = nullptr;
    QLabel *m_status = nullptr;     // Label1
    QLineEdit *m_printerType = nullptr; // Text999
    QLineEdit *m_db = nullptr;      // Textdb
    QLineEdit *m_table = nullptr;   // TextTT
    BarcodePreview *m_preview = nullptr; // Picture1
    LabelPreviewView *m_labelPreview = nullptr;
    SheetBox *m_sheetBox = nullptr;
    QLabel *m_printerInForce = nullptr;
    QPushButton *m_start = nullptr; // Command3
    QPushButton *m_close = nullptr; // 閉じる
    int m_capCounter = printing::kLabelsPerOpening;

private:
    bool m_running = false;
    bool m_closeAfterRun = false; // a close asked for mid-run, or the run's end
};

// F_CustInput: prints every record, up to 300 labels per opening.
class ContinuousPrintScreen : public PrintScreenBase {
    Q_OBJECT
public:
    explicit ContinuousPrintScreen(QWidget *parent = nullptr);
    int capCounter() const { return m_capCounter; }

private:
    void startRun();
    void showRecord();
    void loadAdjustments();

    QLabel *m_paper = nullptr;      // Label_YOSHI
    QLabel *m_remaining = nullptr;  // Label_PP
    QLineEdit *m_text[5] = {};      // Text1..Text5
    QLineEdit *m_text8 = nullptr;
    QLineEdit *m_size[3] = {};      // Textsize1..3
    BarcodePictureView *m_picture = nullptr; // Picture2
    bool m_adjustmentsLoaded = false;
};

// F_CustInput2: prints the rows of a range.
class PartialPrintScreen : public PrintScreenBase {
    Q_OBJECT
public:
    explicit PartialPrintScreen(QWidget *parent = nullptr);

private:
    void startRun();
    int firstRunRow() const override;

    QLineEdit *m_from = nullptr; // TextPP1
    QLineEdit *m_to = nullptr;   // TextPP2
    QLineEdit *m_spec = nullptr; // Text5
};

// Shows a record's barcode picture (or nothing when it has none).
class BarcodePictureView : public QWidget {
    Q_OBJECT
public:
    explicit BarcodePictureView(QWidget *parent = nullptr);
    void setPicture(const label::BarcodePicture &picture);
    const label::BarcodePicture &picture() const { return m_picture; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    label::BarcodePicture m_picture;
};

void registerPrintRunScreens(ScreenRegistry &registry);

} // namespace zl::ui
