#include "printing/ui/PrintScreenBase.h"

#include "ui/Dialogs.h"
#include "ui/ScreenPlacement.h"
#include "ui/Widgets.h"
#include "datasource/DataSource.h"
#include "datasource/DataSourceModel.h"
#include "label/LabelFields.h"
#include "label/LabelPreview.h"
#include "label/ui/BarcodePreview.h"
#include "label/ui/LabelPreviewView.h"
#include "layout/Titles.h"
#include "paper/PaperSelection.h"
#include "printer/Printer.h"
#include "printing/RunReport.h"
#include "printing/RunThread.h"
#include "printing/ui/PrinterHooks.h"
#include "printing/ui/ProgressWindow.h"
#include "printing/ui/SheetBox.h"
#include "settings/StoredSettings.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace zl::ui {

namespace {

const QString kOpeningErrorTitle = QStringLiteral("設定エラー。データベースに接続できません。");

} // namespace

PrintScreenBase::PrintScreenBase(QWidget *parent) : QWidget(parent, Qt::Window)
{
    m_grid = new QTableView(this);
    m_grid->setObjectName(QStringLiteral("DataGrid1"));
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->verticalHeader()->setDefaultSectionSize(20);
    m_status = label(this, "Label1");
    QFont sf(QStringLiteral("IPAPMincho"));
    sf.setBold(true);
    sf.setPointSizeF(11);
    m_status->setFont(sf);
    m_status->setStyleSheet(QStringLiteral("color: #b00000;"));
    m_printerType = lineEdit(this, "Text999");
    m_db = lineEdit(this, "Textdb");
    m_table = lineEdit(this, "TextTT");
    m_preview = new BarcodePreview(this);
    m_preview->setObjectName(QStringLiteral("Picture1"));
    m_start = new QPushButton(this);
    m_start->setObjectName(QStringLiteral("Command3"));
    setDefaultButton(m_start);
    m_close = new QPushButton(this);
    m_close->setObjectName(QStringLiteral("閉じる"));
    connect(m_close, &QPushButton::clicked, this, &QWidget::close);
}

void PrintScreenBase::showDataSource(const QString &db1, const QString &db2)
{
    m_db->setText(db1);
    m_table->setText(db2);
    // Stamped before the read, so a change during it shows as a change.
    m_gridStamp = datasource::dataFileStamp(db1, db2);
    try {
        auto *model = new datasource::DataSourceModel(datasource::DataSource::open(db1, db2), m_grid);
        // Marked as the run's check names them: the rows it would stop at.
        model->setRowProblem([named = model->source().namedColumnCount()](const QStringList &values) {
            return label::recordProblem(values, named);
        });
        setGridModel(model);
        // The JAN column shows whole barcodes, the short columns their
        // texts; the product name takes what the window gives beyond them.
        for (int column = 0; column < model->columnCount(); ++column)
            if (column != 1)
                m_grid->resizeColumnToContents(column);
        if (model->columnCount() > 1)
            m_grid->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
        connect(m_grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
                [this](const QModelIndex &current) { showRecordLabel(current.row()); });
        showRecordLabel(0);
        if (m_sheetBox && !m_running)
            m_sheetBox->refresh();
    } catch (const Failure &) {
        // An empty grid: the data source cannot be shown.
        setGridModel(nullptr);
        throw;
    }
}

void PrintScreenBase::setGridModel(QAbstractItemModel *model)
{
    QAbstractItemModel *oldModel = m_grid->model();
    QItemSelectionModel *oldSelection = m_grid->selectionModel();
    m_grid->setModel(model);
    // The view makes a new selection model and leaves the old one to its
    // owner; one over Qt's shared empty model (the grid's first, and every
    // one after a data file that did not open) would never go otherwise.
    if (oldSelection && oldSelection != m_grid->selectionModel())
        oldSelection->deleteLater();
    if (oldModel && oldModel->parent() == m_grid)
        oldModel->deleteLater();
}

void PrintScreenBase::loadDataSource()
{
    QString db1, db2;
    try {
        const settings::StoredDataSource ds = settings::readDataSource();
        db1 = ds.folder;
        db2 = ds.file;
        showDataSource(db1, db2);
    } catch (const Failure &f) {
        showMessage(this, printing::dataSourceOpeningError(db1, db2, f), kOpeningErrorTitle, OkOnly);
    }
}

void PrintScreenBase::reportOpeningError(const Failure &failure)
{
    showMessage(this, failure.description(), kOpeningErrorTitle, OkOnly);
}

printing::RunHooks PrintScreenBase::commonHooks()
{
    printing::RunHooks hooks = printerSetupHooks(this);
    hooks.printerType = [this](const QString &t) { m_printerType->setText(t); };
    hooks.status = [this](const QString &t) { m_status->setText(t); };
    hooks.confirmCheck = [this](const printing::RunCheck &check) {
        if (!check.refusal.isEmpty())
            return askToGoOn(this, check.text(), QStringLiteral("印刷の前の確認"), QString());
        return askToGoOn(this, check.text() + QStringLiteral("\n\nこのまま印刷しますか？"),
                         QStringLiteral("印刷の前の確認"), QStringLiteral("このまま印刷する"));
    };
    return hooks;
}

void PrintScreenBase::guardedRun(const std::function<void()> &run)
{
    // The windows' events go on while a run prints: a second click must not
    // start a second run inside the first.
    if (m_running)
        return;
    m_running = true;
    m_start->setEnabled(false);
    try {
        // The run is prepared here, before it goes to its own thread, and
        // needs the printer's answers as the run will.
        const printer::WaitingAllowed waiting;
        run();
    } catch (const Failure &f) {
        reportRunError(f);
    }
    // A run under way takes the guard down when it ends.
    if (!m_runThread)
        takeTheGuardDown();
}

void PrintScreenBase::reportRunError(const Failure &f)
{
    // The status must not go on saying that labels are printing.
    if (m_status->text() == printing::kStatusPrinting)
        m_status->setText(QStringLiteral("※印刷処理エラー!!"));
    showMessage(this, printing::kRunErrorPrefix + f.description(), QStringLiteral("ERROR"), Critical);
}

void PrintScreenBase::takeTheGuardDown()
{
    m_running = false;
    // At the limit a click would print nothing: the button says so by
    // being off, the status line says why.
    m_start->setEnabled(m_capCounter > 0);
    showLabelsLeft();
    // The run moved the sheet's first free position on.
    showWhatTheNextRunTakes();
    emit runEnded();
    if (m_closeAfterRun)
        close();
}

bool PrintScreenBase::gridShowsTheDataFile()
{
    settings::StoredDataSource ds;
    try {
        ds = settings::readDataSource();
    } catch (const Failure &) {
        return true; // the run says what is wrong with the table
    }
    // A grid that never read a file has nothing to compare; a file that is
    // gone is the run's to report.
    const datasource::DataFileStamp now = datasource::dataFileStamp(ds.folder, ds.file);
    if (m_gridStamp.path.isEmpty() || now.size < 0)
        return true;
    const QString changed = printing::dataFileChangeText(m_gridStamp, now);
    if (changed.isEmpty())
        return true;
    if (askToGoOn(this, changed + QStringLiteral("\n印刷はしていません。"), QStringLiteral("データファイルの変更"),
                  QStringLiteral("読み込み直す"))) {
        try {
            showDataSource(ds.folder, ds.file);
        } catch (const Failure &f) {
            showMessage(this, printing::dataSourceOpeningError(ds.folder, ds.file, f), kOpeningErrorTitle, OkOnly);
        }
    }
    return false;
}

void PrintScreenBase::showWhereTheRunEnded(const printing::RunResult &r)
{
    using printing::RunOutcome;
    const QString next = r.nextRow > 0 ? QStringLiteral("、続きは%1行目から").arg(r.nextRow) : QString();
    if (r.outcome == RunOutcome::Cancelled && r.unknown > 0)
        m_status->setText(QStringLiteral("※印刷を中断しました!!（%1枚印刷、%2枚は印刷されたか不明%3）").arg(r.printed).arg(r.unknown).arg(next));
    else if (r.outcome == RunOutcome::Cancelled)
        m_status->setText(QStringLiteral("※印刷を中断しました!!（%1枚印刷%2）").arg(r.printed).arg(next));
    else if (r.outcome == RunOutcome::Declined)
        m_status->setText(QStringLiteral("※印刷を取りやめました!!"));
    else if (r.outcome == RunOutcome::StoppedAtCounter || r.outcome == RunOutcome::CapExhausted)
        m_status->setText(QStringLiteral("※1回%1枚の上限で止めました!!（%2枚印刷%3）")
                              .arg(printing::kLabelsPerOpening)
                              .arg(r.printed)
                              .arg(next));
    if (m_capCounter <= 0)
        m_start->setToolTip(QStringLiteral("この画面で印刷できるのは1回に%1枚までです。画面を閉じて開き直すと、続きを印刷できます。")
                                .arg(printing::kLabelsPerOpening));
}

void PrintScreenBase::reportEnd(const printing::RunResult &r, bool sayCapStop)
{
    showWhereTheRunEnded(r);
    const std::optional<QString> report = printing::runReport(r, sayCapStop, m_runPrinterName);
    if (report)
        showMessage(this, *report, printing::kEndTitle, Information);
    if (r.outcome == printing::RunOutcome::Finished)
        m_closeAfterRun = true; // closed once the run is over
}

void PrintScreenBase::closeEvent(QCloseEvent *event)
{
    if (m_running) {
        // Closing mid-run stops the run after the label being printed.
        if (m_runControl)
            m_runControl->stopAfterLabel = true;
        m_closeAfterRun = true;
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

QLayout *PrintScreenBase::gridBesideLabelPreview()
{
    m_labelPreview = new LabelPreviewView(this);
    m_sheetBox = new SheetBox(this, [this](int i) -> std::optional<label::LabelFields> {
        auto *model = qobject_cast<datasource::DataSourceModel *>(m_grid->model());
        const int row = firstRunRow() + i;
        if (!model || row < 0 || row >= model->rowCount())
            return std::nullopt;
        return label::recordFields(model->source().fields(row, 4));
    });
    // The printer and paper the run will use, above the label drawn on it.
    m_printerInForce = new QLabel(this);
    m_printerInForce->setObjectName(QStringLiteral("LabelPrinterInForce"));
    m_printerInForce->setWordWrap(true);
    // A printer, paper or sheet chosen while the screen is open shows at
    // once, and so does what a queue offers once it has been heard.
    connect(&printer::PrinterInForceNews::instance(), &printer::PrinterInForceNews::changed, this,
            [this] { showWhatTheNextRunTakes(); });
    m_printerInForce->setText(printer::printerInForceText());
    auto *labels = new QVBoxLayout;
    labels->addWidget(m_printerInForce);
    labels->addWidget(m_labelPreview, 1);
    labels->addWidget(m_sheetBox);
    auto *row = new QHBoxLayout;
    row->addWidget(m_grid, 3);
    row->addLayout(labels, 2);
    return row;
}

void PrintScreenBase::showWhatTheNextRunTakes()
{
    if (!m_labelPreview || m_running)
        return;
    m_printerInForce->setText(printer::printerInForceText());
    showRecordLabel(m_grid->currentIndex().isValid() ? m_grid->currentIndex().row() : 0);
    m_sheetBox->refresh();
}

void PrintScreenBase::showRecordLabel(int row)
{
    auto *model = qobject_cast<datasource::DataSourceModel *>(m_grid->model());
    // While a run prints, its printer is the run's: the label shows again
    // on the printer as the next run takes it once the run has ended.
    if (!m_labelPreview || !model || row < 0 || row >= model->rowCount() || m_running)
        return;
    // Until a queue has told what it offers, the label shows on the page
    // known now; the news of its answer shows it again.
    try {
        if (const auto page = printer::pageInForce())
            m_labelPreview->setPaper(*page, printer::labelScaleInForce());
        m_printerInForce->setText(printer::printerInForceText());
        m_labelPreview->setTitles(layout::currentTitles());
        // A misread row is not drawn as if it would print.
        if (const QString problem = model->rowProblem(row); !problem.isEmpty()) {
            m_labelPreview->showProblem(problem);
            return;
        }
        QString withoutBarcode;
        const label::LabelFields fields = label::recordFields(model->source().fields(row, 4), &withoutBarcode);
        m_labelPreview->showLabel(fields, withoutBarcode);
    } catch (const Failure &f) {
        m_labelPreview->showProblem(f.description());
    }
}

void PrintScreenBase::beginPrintRun(const printing::RunHooks &given, const RunOnServices &run, const RunReported &report)
{
    std::optional<printing::RunContext> context = printing::prepareRun(given);
    if (!context) {
        printing::RunResult declined;
        declined.outcome = printing::RunOutcome::SetupDeclined;
        report(declined);
        return;
    }
    if (!m_gridStamp.path.isEmpty())
        context->expectedData = m_gridStamp;
    m_runPrinterName = context->printerName;
    m_runControl = std::make_unique<printing::RunControl>();
    // Open, and modal, from the start until the run ends: while the rows are
    // read and checked, nothing else may start a run or change the printer
    // or the adjustments either.
    m_progress = std::make_unique<ProgressWindow>(*m_runControl);
    printing::RunHooks hooks = given;
    const QPointer<ProgressWindow> shown(m_progress.get());
    hooks.progressBar = [shown](const QString &bar) {
        if (shown)
            shown->setProgressText(bar);
    };
    hooks.runCounts = [shown](const QString &counts) {
        if (shown)
            shown->setRunCounts(counts);
    };
    m_progress->open();
    // The run counts on a copy of the screen's counter, handed back however
    // it ends; its context, services and printer are its own, made and let
    // go on its thread.
    auto cap = std::make_shared<int>(m_capCounter);
    m_runThread = std::make_unique<printing::RunThread>(*m_runControl);
    m_runThread->start(
        [context = std::make_shared<printing::RunContext>(std::move(*context)), &control = *m_runControl,
         posted = m_runThread->postedHooks(hooks), run, cap] {
            printing::ProgramRunServices services(std::move(*context), control, posted);
            int remaining = 0;
            return run(services, *cap, remaining);
        },
        [this, cap, report](const printing::RunEnd &end) {
            m_capCounter = *cap;
            m_runThread.reset();
            m_progress->close();
            m_progress.reset();
            m_runControl.reset();
            try {
                if (end.error)
                    std::rethrow_exception(end.error);
                report(end.result);
            } catch (const Failure &f) {
                reportRunError(f);
            } catch (const std::exception &e) {
                reportRunError(Failure(QString::fromLocal8Bit(e.what())));
            }
            takeTheGuardDown();
        });
}

PrintScreenBase::~PrintScreenBase()
{
    // A run still printing is cancelled, its labels taken back, and waited for.
    m_runThread.reset();
}

} // namespace zl::ui
