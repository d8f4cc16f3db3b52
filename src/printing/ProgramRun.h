#pragma once
// A print run's surroundings in the program: the settings tables, the data
// file, the shared label fields, and the renderer on the current printer.
// The printer module's calls and the screen's status texts come in as hooks,
// so the print screens and the command line share one implementation.
#include "datasource/DataFileLocation.h"
#include "layout/Titles.h"
#include "printer/Printer.h"
#include "printer/SheetPrinter.h"
#include "printing/RunProgress.h"
#include "printing/PrintRun.h"

#include <QString>
#include <functional>

namespace zl::printing {

struct RunCheck;

struct RunHooks {
    std::function<void()> restorePrinterSettings;
    std::function<bool()> showPrinterSetup;
    std::function<void()> savePrinterSettings;
    std::function<void(const QString &)> printerType;
    std::function<void(const QString &)> status;
    std::function<void(const QString &)> paper;
    // The data source the run reads: DB1 and DB2 as read from the table.
    std::function<void(const QString &, const QString &)> dataSource;
    // After a record is in the label fields, before its label is printed.
    std::function<void(int row)> recordPrepared;
    // While the run waits for its labels to come out: of `sent`, how many
    // ended and how many printed.
    std::function<void(int sent, int ended, int printed)> labelsOut;
    // A cancel from outside the windows (a signal on the command line).
    std::function<bool()> cancelRequested;
    // Before the first label, what would stop or spoil the run. True to go
    // on; without it the run goes on unless a price is not a number.
    std::function<bool(const RunCheck &)> confirmCheck;
};

// The hooks as a run on another thread calls them: each one runs on the
// thread of `context` (the screen's), the run waiting for it; what it throws
// is thrown in the run.
RunHooks hooksOnThreadOf(QObject *context, const RunHooks &hooks);

class ProgramRunServices : public RunServices {
public:
    explicit ProgramRunServices(RunHooks hooks) : m_hooks(std::move(hooks)) {}
    // The data file as the operator saw it (a screen's grid): a run that
    // finds another version refuses before its first label. A grid that
    // never read a file (no path) holds the run to nothing.
    void expectDataFile(const datasource::DataFileStamp &stamp)
    {
        if (!stamp.path.isEmpty())
            m_expectedData = stamp;
    }

    LayoutChoice readLayout() override;
    void restorePrinterSettings() override;
    bool showPrinterSetup() override;
    void savePrinterSettings() override;
    std::unique_ptr<RecordReader> openDataSource(int lastRow) override;
    std::optional<QString> prepareLabel(const RunRecord &record, int row) override;
    ~ProgramRunServices() override;
    bool printLabel() override;
    void beginRun() override;
    void endRun() override;
    bool cancelRequested() const override;
    void useFixedPaper(const QString &paper) override;
    LabelsOut finishPrinting(bool cancelRest) override;
    std::optional<int> labelsKept() const override { return m_kept; }
    bool checkRows(const QList<RunRow> &rows) override;
    void setStatus(const QString &text) override;
    void setPaper(const QString &paper) override;
    void beginPrinting() override;
    QString endPrinting(bool ok) override;

private:
    RunHooks m_hooks;
    printer::Printer *m_runPrinter = nullptr;
    std::optional<int> m_kept;
    int m_total = 0;
    int m_sent = 0;
    std::unique_ptr<printer::SheetRun> m_sheetRun;
    std::unique_ptr<layout::TitlesHeldForRun> m_titles;
    std::unique_ptr<RunProgress> m_progress;
    std::unique_ptr<printer::RunCancelWatch> m_cancelWatch;
    printer::LabelScale m_scale = printer::LabelScale::Fit;
    std::optional<datasource::DataFileStamp> m_expectedData;
};

// Why the data file the operator is looking at (named by db1 and db2, as
// `seen`) is not the one a run would read now; empty when it is.
QString dataFileChanged(const datasource::DataFileStamp &seen, const QString &db1, const QString &db2);
QString dataFileChangeText(const datasource::DataFileStamp &seen, const datasource::DataFileStamp &now);

// What the check before a run's first label found, row by row.
struct RunCheck {
    struct Problem {
        int row = 0;
        QString text;
    };
    QList<Problem> prices;   // prices that are not numbers: the run would stop there
    QList<Problem> warnings; // no barcode, texts past the paper, more than one page …
    // Why no label may print: its barcode could not be trusted to scan on
    // this stock (the same for every row), naming the printer and its paper.
    QString refusal;
    bool empty() const { return prices.isEmpty() && warnings.isEmpty() && refusal.isEmpty(); }
    // The list as the operator reads it, at most `rowsShown` lines a kind.
    QString text(int rowsShown = 10) const;
};

// Reads the rows as the run will print them and draws each on the label the
// current printer will print it on (one position of the run's sheet, or the
// printer's page), fitted as the run will fit it, collecting what the label
// preview warns of.
RunCheck checkRunRows(const QList<RunRow> &rows);

// A run refused before its first label because its labels' barcodes could
// not be trusted to scan on the stock chosen.
class LabelRefused : public Failure {
public:
    using Failure::Failure;
};

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
