#pragma once
// A print run's surroundings in the program: the settings tables, the data
// file, the renderer on the run's printer. The run is a value (RunContext)
// gathered on the windows' thread; what it tells the screen or the command
// line, and the one question it asks before its first label, go through
// hooks, so the print screens and the command line share one implementation.
#include "datasource/DataFileLocation.h"
#include "label/LabelFields.h"
#include "sheets/SheetPrinter.h"
#include "printing/PrintRun.h"
#include "printing/RunCheck.h"
#include "printing/RunContext.h"

#include <QHash>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace zl::printing {


struct RunHooks {
    // Before the run, on the windows' thread: the printer module.
    std::function<void()> restorePrinterSettings;
    std::function<bool()> showPrinterSetup;
    std::function<void()> savePrinterSettings;
    // Told by the run as it goes.
    std::function<void(const QString &)> printerType;
    std::function<void(const QString &)> status;
    std::function<void(const QString &)> paper;
    // The data source the run reads: DB1 and DB2 as read from the table.
    std::function<void(const QString &, const QString &)> dataSource;
    // After a record is in the label's fields, before its label is printed.
    std::function<void(const int &row, const label::LabelFields &fields)> recordPrepared;
    // While the run waits for its labels to come out: of `sent`, how many
    // the print system processed and how many are known out of the printer.
    std::function<void(const int &sent, const int &processed, const int &out)> labelsOut;
    // What the labels wait for at the printer (a print system that does
    // not answer, a held job, the printer's own state); empty once nothing.
    std::function<void(const QString &)> printerWaiting;
    // The progress window's bar while a label is drawn, and the run's counts.
    std::function<void(const QString &)> progressBar;
    std::function<void(const QString &)> runCounts;
    // Asked before the first label: what would stop or spoil the run. True
    // to go on; without it the run goes on unless a row would stop it.
    std::function<bool(const RunCheck &)> confirmCheck;
};

// "送信 12 / 20　処理済み 10 / 20　印刷済み 9 / 20"; without the last two
// only what was sent.
QString runCountsText(int sent, std::optional<std::pair<int, int>> processedAndOut, int total);

// On the windows' thread, before a run: the layout table read, the printer
// set up for it (the print-setup dialog for the variable connection type),
// and everything the run needs gathered. Nothing when the operator cancelled
// the dialog. Throws zl::Failure when a table cannot be read.
std::optional<RunContext> prepareRun(const RunHooks &hooks);

class ProgramRunServices : public RunServices {
public:
    // `control` must outlive the run.
    ProgramRunServices(RunContext context, const RunControl &control, RunHooks hooks);
    ~ProgramRunServices() override;

    LayoutChoice readLayout() override;
    std::unique_ptr<RecordReader> openDataSource(int lastRow) override;
    std::optional<QString> prepareLabel(const RunRecord &record, int row) override;
    bool printLabel() override;
    void beginRun() override;
    void endRun() override;
    bool cancelRequested() const override { return m_control.cancel; }
    bool stopAfterLabel() const override { return m_control.stopAfterLabel; }
    LabelsOut finishPrinting(bool cancelRest) override;
    std::optional<int> labelsKept() const override { return m_kept; }
    bool checkRows(const QList<RunRow> &rows) override;
    void setStatus(const QString &text) override;
    void setPaper(const QString &paper) override;
    void beginPrinting() override;
    QString endPrinting(bool ok) override;

protected:
    // For runs that print something else than the data's labels on the
    // same printer, paper, fit and sheet.
    printer::Printer *runPrinter() const { return m_runPrinter; }
    // The run's own printer, made on first use on the run's thread.
    printer::Printer *ownPrinter();
    const RunContext &context() const { return m_context; }

private:
    void showCounts(const QString &text);

    const RunContext m_context;
    const RunControl &m_control;
    RunHooks m_hooks;
    label::LabelFields m_fields; // the record being printed
    // Rows the reader could not take as they stand, by row: what to fix.
    QHash<int, QString> m_unreadable;
    QString m_rowProblem; // the record being printed is one of them
    std::unique_ptr<printer::Printer> m_ownPrinter;
    printer::Printer *m_runPrinter = nullptr; // the own printer, or the sheet's on it
    std::optional<int> m_kept;
    int m_total = 0;
    int m_sent = 0;
    std::unique_ptr<printer::SheetRun> m_sheetRun;
    std::unique_ptr<printer::RunCancelWatch> m_cancelWatch;
};

// Why the data file the operator is looking at (named by db1 and db2, as
// `seen`) is not the one a run would read now; empty when it is.
QString dataFileChanged(const datasource::DataFileStamp &seen, const QString &db1, const QString &db2);
QString dataFileChangeText(const datasource::DataFileStamp &seen, const datasource::DataFileStamp &now);

// Refuses stored adjustments that are not numbers or lie outside the
// adjustment limits, naming the adjustment and its value.
void checkAdjustments(const label::LabelFields &fields);

inline const QString kInvalidDataPathText =
    QStringLiteral("ﾃﾞｰﾀﾍﾞｰｽまたは読み取りﾌｧｲﾙのﾊﾟｽが無効です。ﾃﾞｰﾀﾍﾞｰｽ設定またはﾌｧｲﾙの存在を確認してください。");

// What the print screens say when the data source does not open: a folder or
// file that is not there gets the fixed "path is invalid" text, followed by
// which one it was; anything else its own description.
QString dataSourceOpeningError(const QString &db1, const QString &db2, const Failure &failure);

// The three print adjustments (SIZE1..SIZE3) of the adjustment table into
// the shared label fields, as the continuous print screen loads them.
void loadAdjustmentsIntoLabelFields();

} // namespace zl::printing
