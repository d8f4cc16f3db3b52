#include "printing/ProgramRun.h"

#include "datasource/DataSource.h"
#include "paper/PaperSelection.h"
#include "printer/PrinterSetup.h"
#include "label/LabelFields.h"
#include "label/LabelPreview.h"
#include "label/Adjustments.h"
#include "label/LabelRenderer.h"
#include "label/PageCanvas.h"
#include "settings/Defaults.h"
#include "settings/StoredSettings.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <utility>

namespace zl::printing {

namespace {

// Counts the rows it reads into `row`, so the label being prepared knows its
// row. A row it cannot take as it stands is read all the same and named in
// `unreadable`, so that the check before the first label names every one.
class DataSourceReader : public RecordReader {
public:
    DataSourceReader(datasource::DataSource source, QHash<int, QString> &unreadable)
        : m_source(std::move(source)), m_unreadable(unreadable),
          m_columns(std::max(label::kRecordColumns, m_source.namedColumnCount()))
    {
    }
    std::optional<RunRecord> next() override
    {
        if (m_next >= m_source.recordCount())
            return std::nullopt;
        const qsizetype record = m_next++;
        const QStringList f = m_source.requireFields(record, label::kRecordColumns);
        // Only a row with more values than columns is read whole.
        if (m_source.fieldCount(record, m_columns + 1) > m_columns) {
            const QString why = label::strayValuesProblem(m_source.fields(record), m_source.namedColumnCount());
            if (!why.isEmpty())
                m_unreadable.insert(int(record) + 1, why);
        }
        RunRecord r;
        for (int i = 0; i < label::kRecordColumns; ++i)
            r.columns[i] = f[i];
        return r;
    }
    bool skip() override
    {
        if (m_next >= m_source.recordCount())
            return false;
        // A short row fails the run wherever it stands, printed or not.
        if (m_source.fieldCount(m_next, 4) < 4)
            throw Failure(m_source.describeShortRecord(m_next, 4));
        ++m_next;
        return true;
    }

private:
    datasource::DataSource m_source;
    QHash<int, QString> &m_unreadable;
    const int m_columns;
    qsizetype m_next = 0;
};

} // namespace

namespace {

// The printer module's steps as the hooks give them.
class HookedPrinterSetup : public PrinterSetupSteps {
public:
    explicit HookedPrinterSetup(const RunHooks &hooks) : m_hooks(hooks) {}
    void restorePrinterSettings() override
    {
        if (m_hooks.restorePrinterSettings)
            m_hooks.restorePrinterSettings();
    }
    bool showPrinterSetup() override { return m_hooks.showPrinterSetup ? m_hooks.showPrinterSetup() : true; }
    void savePrinterSettings() override
    {
        if (m_hooks.savePrinterSettings)
            m_hooks.savePrinterSettings();
    }
    // Taken by the run's own printer once it is gathered (takeFixedPaper).
    void useFixedPaper(const QString &paper) override { fixedPaper = paper; }

    std::optional<QString> fixedPaper;

private:
    const RunHooks &m_hooks;
};

} // namespace

std::optional<RunContext> prepareRun(const RunHooks &hooks)
{
    const printer::LayoutRow row = printer::readLayoutRow();
    const LayoutChoice layout{row.printer, row.yoshi};
    if (hooks.printerType)
        hooks.printerType(layout.printer);
    // A run that cannot print says so before its rows are read and checked,
    // and before the printer is asked for its paper; the variable type's
    // dialog may choose a printer that can.
    const auto refuseUnusablePrinter = [] {
        if (const QString problem = printer::unusablePrinterProblem(); !problem.isEmpty())
            throw Failure(problem);
    };
    if (!variableConnection(layout))
        refuseUnusablePrinter();
    HookedPrinterSetup setup(hooks);
    if (!setUpRunPrinter(setup, layout))
        return std::nullopt;
    refuseUnusablePrinter();
    RunContext context = gatherRunContext(layout);
    context.fixedPaper = setup.fixedPaper;
    return context;
}

ProgramRunServices::ProgramRunServices(RunContext context, const RunControl &control, RunHooks hooks)
    : m_context(std::move(context)), m_control(control), m_hooks(std::move(hooks)), m_fields(m_context.adjustments)
{
}

ProgramRunServices::~ProgramRunServices() = default;

printer::Printer *ProgramRunServices::ownPrinter()
{
    if (!m_ownPrinter && m_context.makePrinter) {
        m_ownPrinter = m_context.makePrinter();
        if (m_ownPrinter && m_context.fixedPaper)
            printer::useLayoutPaper(*m_context.fixedPaper, *m_ownPrinter);
    }
    return m_ownPrinter.get();
}

LayoutChoice ProgramRunServices::readLayout()
{
    return m_context.layout;
}

void ProgramRunServices::showCounts(const QString &text)
{
    if (m_hooks.runCounts)
        m_hooks.runCounts(text);
}

LabelsOut ProgramRunServices::finishPrinting(bool cancelRest)
{
    LabelsOut out;
    if (!m_runPrinter)
        return out;
    printer::DocumentsWait wait;
    wait.cancel = [this, cancelRest] { return cancelRest || cancelRequested(); };
    // The progress window shows what holds the labels up under the counts.
    auto counts = std::make_shared<QString>();
    auto waiting = std::make_shared<QString>();
    auto show = [this, counts, waiting] {
        showCounts(waiting->isEmpty() ? *counts : *counts + QLatin1Char('\n') + *waiting);
    };
    wait.progress = [this, counts, show](int sent, int processed, int out) {
        *counts = runCountsText(sent, std::pair(processed, out), qMax(m_total, sent));
        show();
        if (m_hooks.labelsOut)
            m_hooks.labelsOut(sent, processed, out);
    };
    wait.waiting = [this, waiting, show](const QString &what) {
        *waiting = what;
        show();
        if (m_hooks.printerWaiting)
            m_hooks.printerWaiting(what);
    };
    const printer::DocumentsEnd end = m_runPrinter->finishDocuments(wait);
    out.known = end.known;
    out.fates = end.fates;
    out.twice = end.twice;
    out.problem = end.problem;
    return out;
}

bool ProgramRunServices::checkRows(const QList<RunRow> &rows)
{
    m_total = int(rows.size());
    const RunCheck check = checkRunRows(rows, m_context, ownPrinter(), m_unreadable);
    if (!check.refusal.isEmpty()) {
        // Whoever asks offers only to stop: nothing may print.
        if (m_hooks.confirmCheck) {
            m_hooks.confirmCheck(check);
            return false;
        }
        throw LabelRefused(check.refusal);
    }
    if (m_hooks.confirmCheck)
        return check.empty() || m_hooks.confirmCheck(check);
    if (check.stops())
        throw Failure(check.text());
    return true;
}

std::unique_ptr<RecordReader> ProgramRunServices::openDataSource(int lastRow)
{
    if (!m_context.dataSourceProblem.isEmpty())
        throw Failure(m_context.dataSourceProblem);
    const settings::StoredDataSource &ds = m_context.dataSource;
    if (m_hooks.dataSource)
        m_hooks.dataSource(ds.folder, ds.file);
    // Stamped before the read: a file changed while it is read differs too.
    const datasource::DataFileStamp before = datasource::dataFileStamp(ds.folder, ds.file);
    m_unreadable.clear();
    auto reader = std::make_unique<DataSourceReader>(
        datasource::DataSource::open(ds.folder, ds.file, lastRow > 0 ? lastRow : -1), m_unreadable);
    if (const std::optional<datasource::DataFileStamp> &expected = m_context.expectedData) {
        const datasource::DataFileStamp after = datasource::dataFileStamp(ds.folder, ds.file);
        const QString changed = dataFileChangeText(*expected, before != *expected ? before : after);
        if (!changed.isEmpty())
            throw Failure(changed);
    }
    return reader;
}

std::optional<QString> ProgramRunServices::prepareLabel(const RunRecord &record, int row)
{
    const QString reason = m_fields.setRecord({record.columns[0], record.columns[1], record.columns[2], record.columns[3]});
    m_rowProblem = m_unreadable.value(row);
    if (m_hooks.recordPrepared)
        m_hooks.recordPrepared(row, m_fields);
    if (reason.isEmpty())
        return std::nullopt;
    return reason;
}

bool ProgramRunServices::printLabel()
{
    // A misread row, or a price that is no number, stops the run before its
    // label (the run names the row).
    if (!m_rowProblem.isEmpty())
        throw Failure(m_rowProblem);
    if (!label::priceValue(m_fields.price))
        throw Failure(label::priceProblem(m_fields.price));
    if (!m_runPrinter)
        throw Failure(QStringLiteral("プリンタが選択されていません。"));
    label::LabelSteps steps;
    steps.progress = m_hooks.progressBar;
    steps.cancelled = [this] { return cancelRequested(); };
    const std::unique_ptr<label::PageCanvas> canvas = label::printerCanvas(*m_runPrinter, m_context.scale);
    if (label::printLabel(*canvas, m_fields, m_context.titles, steps).cancelled)
        return false;
    ++m_sent;
    showCounts(runCountsText(m_sent, std::nullopt, qMax(m_total, m_sent)));
    return true;
}

void ProgramRunServices::beginRun()
{
    checkAdjustments(m_fields);
    // The printing system's answers are not waited for once the operator
    // has cancelled.
    m_cancelWatch = std::make_unique<printer::RunCancelWatch>([this] { return cancelRequested(); });
}

void ProgramRunServices::endRun()
{
    m_cancelWatch.reset();
}

void checkAdjustments(const label::LabelFields &fields)
{
    const QString *texts[] = {&fields.adjustX, &fields.adjustY, &fields.adjustS};
    for (int i = 0; i < 3; ++i) {
        const QString name = label::adjustmentName(i);
        // Far outside the label every label would come out blank.
        if (!label::adjustmentInRange(label::adjustmentValue(*texts[i], name)))
            throw Failure(QStringLiteral("印刷位置調整の%1の値「%2」が %3 から %4 の範囲を外れているため印刷しません。"
                                         "印刷位置調整の画面で直して保存してください。")
                              .arg(name, *texts[i])
                              .arg(label::kAdjustmentMin)
                              .arg(label::kAdjustmentMax));
    }
}

void ProgramRunServices::beginPrinting()
{
    // Never silently another printer than the one set up.
    if (!m_context.printerProblem.isEmpty())
        throw Failure(m_context.printerProblem);
    if (!m_context.sheetProblem.isEmpty())
        throw Failure(m_context.sheetProblem);
    m_runPrinter = ownPrinter();
    if (m_runPrinter) {
        m_sheetRun = printer::SheetRun::start(*m_runPrinter, m_context.sheet, m_context.sheetStored);
        if (m_sheetRun)
            m_runPrinter = &m_sheetRun->printer();
        // On a roll every label's page is as long as the label, never the
        // driver's default page.
        if (const printer::PageGeometry page = m_runPrinter->pageGeometry(); page.roll)
            m_runPrinter->setLabelLength(label::rollPageLengthMm(page, label::fitLabel(page, m_context.scale)));
        m_runPrinter->beginRun();
    }
}

QString ProgramRunServices::endPrinting(bool ok)
{
    printer::Printer *p = std::exchange(m_runPrinter, nullptr);
    const std::unique_ptr<printer::SheetRun> sheetRun = std::move(m_sheetRun);
    m_kept.reset();
    if (!p)
        return {};
    QString said = p->endRun(ok);
    m_kept = p->documentsKept();
    if (sheetRun) {
        const QString notStored = sheetRun->storeNextPosition();
        if (!notStored.isEmpty())
            said += (said.isEmpty() ? QString() : QStringLiteral("\n")) + notStored;
    }
    return said;
}

QString runCountsText(int sent, std::optional<std::pair<int, int>> processedAndOut, int total)
{
    const QString sending = QStringLiteral("送信 %1 / %2").arg(sent).arg(total);
    if (!processedAndOut)
        return sending;
    return sending
        + QStringLiteral("　処理済み %1 / %2　印刷済み %3 / %2").arg(processedAndOut->first).arg(total).arg(processedAndOut->second);
}

void ProgramRunServices::setStatus(const QString &text)
{
    if (m_hooks.status)
        m_hooks.status(text);
}

void ProgramRunServices::setPaper(const QString &paper)
{
    if (m_hooks.paper)
        m_hooks.paper(paper);
}

QString dataSourceOpeningError(const QString &db1, const QString &db2, const Failure &failure)
{
    const QString folder = datasource::dataFolderPath(db1);
    const bool pathInvalid = !db1.isEmpty() && !db2.isEmpty()
        && (!QFileInfo(folder).isDir() || !QFileInfo(QDir(folder).filePath(db2)).exists());
    if (pathInvalid)
        return kInvalidDataPathText + QLatin1Char('\n') + failure.description();
    return failure.description();
}

QString dataFileChanged(const datasource::DataFileStamp &seen, const QString &db1, const QString &db2)
{
    return dataFileChangeText(seen, datasource::dataFileStamp(db1, db2));
}

QString dataFileChangeText(const datasource::DataFileStamp &seen, const datasource::DataFileStamp &now)
{
    if (now == seen)
        return {};
    if (now.path != seen.path)
        return QStringLiteral("データファイルの設定が、表に読み込んだ後で %1 に変わりました。"
                              "表を読み込み直してから、印刷する行を確かめてください。")
            .arg(QDir::toNativeSeparators(now.path));
    return QStringLiteral("データファイル %1 は、表に読み込んだ後で変更されています。"
                          "表を読み込み直してから、印刷する行を確かめてください。")
        .arg(QDir::toNativeSeparators(now.path));
}

void loadAdjustmentsIntoLabelFields()
{
    const settings::StoredAdjustments adj = settings::readAdjustments();
    label::LabelFields &fields = label::sharedLabelFields();
    fields.adjustX = adj.x;
    fields.adjustY = adj.y;
    fields.adjustS = adj.s;
}

} // namespace zl::printing
