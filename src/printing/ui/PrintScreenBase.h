#pragma once
#include "printing/PrintRun.h"
#include "printing/ProgramRun.h"

#include <QWidget>
#include <functional>
#include <memory>

namespace zl::printing {
class RunThread;
}

class QAbstractItemModel;
class QLabel;
class QLayout;
class QLineEdit;
class QPushButton;
class QTableView;

namespace zl::ui {

// What a print screen asks of the desktop: 1366 x 768 and larger give it.
inline const QSize kPrintScreenSize(1000, 680);

class BarcodePreview;
class LabelPreviewView;
class ProgressWindow;
class SheetBox;

// What both print screens share: the grid of the data source, the status
// line, the holders, the barcode preview and the guard that keeps a second
// run from starting (or the screen from closing) while a label prints.
class PrintScreenBase : public QWidget {
    Q_OBJECT
protected:
    explicit PrintScreenBase(QWidget *parent);
    ~PrintScreenBase() override;
    // Reads the data-source table and shows the data file in the grid.
    void loadDataSource();
    void showDataSource(const QString &db1, const QString &db2);
    // Shows this model (or none) in the grid, letting the old one and its
    // selection go.
    void setGridModel(QAbstractItemModel *model);
    // The opening error report.
    void reportOpeningError(const Failure &failure);
    printing::RunHooks commonHooks();
    // Runs `run` with the guard up; reports its failure with the run error
    // message and keeps the screen usable. A run it starts keeps the guard
    // up until it is over.
    void guardedRun(const std::function<void()> &run);
    // The end message (and closing) after a run, or nothing.
    // sayCapStop: the counter stopping the run is always said (the partial
    // run, whose range it cuts short).
    void reportEnd(const printing::RunResult &result, bool sayCapStop = false);
    // True when the grid shows the data file a run would read now. When it
    // does not, says so and offers to read it again; nothing is printed.
    bool gridShowsTheDataFile();
    // The grid's data file, for the run to hold itself to.
    const datasource::DataFileStamp &gridStamp() const { return m_gridStamp; }
    // After a run: the status line, the labels this opening may still print,
    // and whether another run can start.
    virtual void showLabelsLeft() {}
    void closeEvent(QCloseEvent *event) override;
    // A print run started here (within guardedRun): prepared on this thread
    // (the print-setup dialog, the titles and settings it takes), printed on
    // a thread of its own with the progress window open, and `report`ed here
    // when it is over; what the run throws is reported as the run's error.
    using RunOnServices = std::function<printing::RunResult(printing::RunServices &, int &capCounter, int &remaining)>;
    using RunReported = std::function<void(const printing::RunResult &)>;
    void beginPrintRun(const printing::RunHooks &hooks, const RunOnServices &run, const RunReported &report);
    // The grid with the selected record's whole label beside it.
    QLayout *gridBesideLabelPreview();
    void showRecordLabel(int row);
    // The printer line, the label and the sheet as the next run takes them.
    void showWhatTheNextRunTakes();
    // The grid row the next run's first label comes from.
    virtual int firstRunRow() const { return 0; }

    QTableView *m_grid = nullptr;
    QLabel *m_status = nullptr;     // Label1
    QLineEdit *m_printerType = nullptr; // Text999
    QString m_runPrinterName; // the printer of the last run, for its end message
    QLineEdit *m_db = nullptr;      // Textdb
    QLineEdit *m_table = nullptr;   // TextTT
    BarcodePreview *m_preview = nullptr; // Picture1
    LabelPreviewView *m_labelPreview = nullptr;
    SheetBox *m_sheetBox = nullptr;
    QLabel *m_printerInForce = nullptr;
    QPushButton *m_start = nullptr; // Command3
    QPushButton *m_close = nullptr; // 閉じる
    int m_capCounter = printing::kLabelsPerOpening;

signals:
    // A click on the start button has been dealt with: the run it started
    // is over, or none started.
    void runEnded();

private:
    void showWhereTheRunEnded(const printing::RunResult &result);
    void reportRunError(const Failure &failure);
    void takeTheGuardDown();
    datasource::DataFileStamp m_gridStamp;
    bool m_running = false;
    // The run under way.
    std::unique_ptr<printing::RunControl> m_runControl;
    std::unique_ptr<ProgressWindow> m_progress;
    std::unique_ptr<printing::RunThread> m_runThread;
    bool m_closeAfterRun = false; // a close asked for mid-run, or the run's end
};

} // namespace zl::ui
