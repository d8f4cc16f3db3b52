#include "printing/ProgramRun.h"

#include "datasource/DataSource.h"
#include "printer/PaperSelection.h"
#include "printer/PrinterSetup.h"
#include "label/LabelFields.h"
#include "label/LabelPreview.h"
#include "label/Adjustments.h"
#include "label/LabelRenderer.h"
#include "settings/Defaults.h"
#include "settings/StoredSettings.h"

#include <QDir>
#include <QThread>
#include <exception>
#include <type_traits>
#include <QFileInfo>
#include <utility>

namespace zl::printing {

namespace {

// Counts the rows it reads into `row`, so the label being prepared knows its row.
class DataSourceReader : public RecordReader {
public:
    explicit DataSourceReader(datasource::DataSource source) : m_source(std::move(source)) {}
    std::optional<RunRecord> next() override
    {
        if (m_next >= m_source.recordCount())
            return std::nullopt;
        const QStringList f = m_source.requireFields(m_next++, 4);
        RunRecord r;
        for (int i = 0; i < 4; ++i)
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
    qsizetype m_next = 0;
};

} // namespace

namespace {

template <typename R, typename... A>
std::function<R(A...)> onThreadOf(QObject *context, const std::function<R(A...)> &f)
{
    if (!f)
        return f;
    return [context, f](A... args) -> R {
        if (QThread::currentThread() == context->thread())
            return f(args...);
        std::exception_ptr error;
        if constexpr (std::is_void_v<R>) {
            QMetaObject::invokeMethod(
                context,
                [&] {
                    try {
                        f(args...);
                    } catch (...) {
                        error = std::current_exception();
                    }
                },
                Qt::BlockingQueuedConnection);
            if (error)
                std::rethrow_exception(error);
        } else {
            R result{};
            QMetaObject::invokeMethod(
                context,
                [&] {
                    try {
                        result = f(args...);
                    } catch (...) {
                        error = std::current_exception();
                    }
                },
                Qt::BlockingQueuedConnection);
            if (error)
                std::rethrow_exception(error);
            return result;
        }
    };
}

} // namespace

RunHooks hooksOnThreadOf(QObject *context, const RunHooks &h)
{
    RunHooks on;
    // The printer module has no window: it asks the printing system from
    // the run's own thread. Its dialog is a window.
    on.restorePrinterSettings = h.restorePrinterSettings;
    on.showPrinterSetup = onThreadOf(context, h.showPrinterSetup);
    on.savePrinterSettings = h.savePrinterSettings;
    on.printerType = onThreadOf(context, h.printerType);
    on.status = onThreadOf(context, h.status);
    on.paper = onThreadOf(context, h.paper);
    on.dataSource = onThreadOf(context, h.dataSource);
    on.recordPrepared = onThreadOf(context, h.recordPrepared);
    on.labelsOut = onThreadOf(context, h.labelsOut);
    on.cancelRequested = h.cancelRequested; // asked often, answered by a flag
    on.confirmCheck = onThreadOf(context, h.confirmCheck);
    return on;
}

LayoutChoice ProgramRunServices::readLayout()
{
    const printer::LayoutRow row = printer::readLayoutRow();
    LayoutChoice layout{row.printer, row.yoshi};
    if (m_hooks.printerType)
        m_hooks.printerType(layout.printer);
    return layout;
}

void ProgramRunServices::restorePrinterSettings()
{
    if (m_hooks.restorePrinterSettings)
        m_hooks.restorePrinterSettings();
}

bool ProgramRunServices::showPrinterSetup()
{
    return m_hooks.showPrinterSetup ? m_hooks.showPrinterSetup() : true;
}

void ProgramRunServices::savePrinterSettings()
{
    if (m_hooks.savePrinterSettings)
        m_hooks.savePrinterSettings();
}

void ProgramRunServices::useFixedPaper(const QString &paper)
{
    printer::useLayoutPaper(paper);
}

LabelsOut ProgramRunServices::finishPrinting(bool cancelRest)
{
    LabelsOut out;
    if (!m_runPrinter)
        return out;
    printer::DocumentsWait wait;
    wait.cancel = [this, cancelRest] { return cancelRest || cancelRequested(); };
    wait.progress = [this](int sent, int ended, int printed) {
        if (m_progress)
            m_progress->showCounts(runCountsText(sent, printed, qMax(m_total, sent)));
        if (m_hooks.labelsOut)
            m_hooks.labelsOut(sent, ended, printed);
    };
    const printer::DocumentsEnd end = m_runPrinter->finishDocuments(wait);
    out.known = end.known;
    out.printed = end.printed;
    out.problem = end.problem;
    return out;
}

bool ProgramRunServices::checkRows(const QList<RunRow> &rows)
{
    m_total = int(rows.size());
    const RunCheck check = checkRunRows(rows);
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
    if (!check.prices.isEmpty())
        throw Failure(check.text());
    return true;
}

QString RunCheck::text(int rowsShown) const
{
    QStringList lines;
    auto list = [&](const QList<Problem> &problems, const QString &heading) {
        if (problems.isEmpty())
            return;
        lines << heading;
        for (const Problem &p : problems.mid(0, rowsShown))
            lines << QStringLiteral("  %1行目: %2").arg(p.row).arg(p.text);
        if (problems.size() > rowsShown)
            lines << QStringLiteral("  ほか %1 件").arg(problems.size() - rowsShown);
    };
    if (!refusal.isEmpty())
        lines << QStringLiteral("このラベル用紙ではバーコードを読み取れるように印刷できないため、印刷しません:") << refusal;
    list(prices, QStringLiteral("価格が数値ではないため、印刷がその行で止まります:"));
    list(warnings, QStringLiteral("このまま印刷すると、次のラベルは思いどおりに出ません:"));
    return lines.join(QLatin1Char('\n'));
}

namespace {

// The stock as the operator chose it: the printer's name for the paper (or
// the sheet's) and the label's size.
QString paperText(const printer::Printer &p, const printer::PageGeometry &label)
{
    QString name;
    try {
        if (const printer::SheetTemplate *sheet = printer::runSheetChoice().sheet())
            name = sheet->name;
    } catch (const Failure &) {
    }
    if (name.isEmpty())
        for (const printer::PaperInfo &paper : p.papers())
            if (paper.code == p.paperSize().value_or(0))
                name = paper.name;
    const QString size = QStringLiteral("%1 x %2 mm").arg(label.paperMm.width(), 0, 'f', 1).arg(label.paperMm.height(), 0, 'f', 1);
    return name.isEmpty() ? size : QStringLiteral("%1、%2").arg(name, size);
}

} // namespace

RunCheck checkRunRows(const QList<RunRow> &rows)
{
    RunCheck check;
    const printer::Printer *p = printer::currentPrinter();
    if (!p)
        return check;
    printer::PageGeometry geometry = p->pageGeometry();
    printer::LabelScale scale = printer::LabelScale::Fit;
    try {
        geometry = printer::labelPage(geometry, printer::runSheetChoice().sheet());
        scale = printer::runLabelScale();
    } catch (const Failure &) {
        // The run itself says what is wrong with the sheet table.
    }
    const layout::Titles titles = layout::currentTitles();
    const label::LabelFields &shared = label::sharedLabelFields();
    for (const RunRow &r : rows) {
        label::LabelFields f;
        f.adjustX = shared.adjustX;
        f.adjustY = shared.adjustY;
        f.adjustS = shared.adjustS;
        const QString withoutBarcode =
            f.setRecord({r.record.columns[0], r.record.columns[1], r.record.columns[2], r.record.columns[3]});
        if (!label::priceValue(f.price)) {
            check.prices.append({r.row, QStringLiteral("価格「%1」が数値ではありません").arg(f.price)});
            continue;
        }
        const label::LabelPreview preview = label::previewLabel(f, geometry, titles, withoutBarcode, true, scale);
        if (!preview.barcodeProblem.isEmpty()) {
            check.refusal = QStringLiteral("プリンター「%1」の用紙（%2）: %3")
                                .arg(p->deviceName(), paperText(*p, geometry), preview.barcodeProblem);
            break;
        }
        for (const QString &w : preview.warnings())
            check.warnings.append({r.row, w});
    }
    return check;
}

std::unique_ptr<RecordReader> ProgramRunServices::openDataSource(int lastRow)
{
    const settings::StoredDataSource ds = settings::readDataSource();
    if (m_hooks.dataSource)
        m_hooks.dataSource(ds.folder, ds.file);
    // Stamped before the read: a file changed while it is read differs too.
    const datasource::DataFileStamp before = datasource::dataFileStamp(ds.folder, ds.file);
    auto reader = std::make_unique<DataSourceReader>(datasource::DataSource::open(ds.folder, ds.file, lastRow > 0 ? lastRow : -1));
    if (m_expectedData) {
        const datasource::DataFileStamp after = datasource::dataFileStamp(ds.folder, ds.file);
        const QString changed = dataFileChangeText(*m_expectedData, before != *m_expectedData ? before : after);
        if (!changed.isEmpty())
            throw Failure(changed);
    }
    return reader;
}

std::optional<QString> ProgramRunServices::prepareLabel(const RunRecord &record, int row)
{
    label::LabelFields &fields = label::sharedLabelFields();
    const QString reason = fields.setRecord({record.columns[0], record.columns[1], record.columns[2], record.columns[3]});
    if (m_hooks.recordPrepared)
        m_hooks.recordPrepared(row);
    if (reason.isEmpty())
        return std::nullopt;
    return reason;
}

bool ProgramRunServices::printLabel()
{
    // A price that is no number stops the run before its label (the run names the row).
    const QString &price = label::sharedLabelFields().price;
    if (!label::priceValue(price))
        throw Failure(label::priceProblem(price));
    if (!PrintLabel(m_scale))
        return false;
    ++m_sent;
    if (m_progress)
        m_progress->showCounts(runCountsText(m_sent, std::nullopt, qMax(m_total, m_sent)));
    return true;
}

void ProgramRunServices::beginRun()
{
    label::LabelFields &fields = label::sharedLabelFields();
    checkAdjustments(fields);
    fields.cancelRequested = false;
    // The printing system's answers are not waited for once the operator
    // has cancelled.
    m_cancelWatch = std::make_unique<printer::RunCancelWatch>([this] { return cancelRequested(); });
    // Open, and modal, from the start until the run ends: while the rows
    // are read and checked, nothing else may start a run or change the
    // printer or the adjustments either.
    m_progress = std::make_unique<RunProgress>(fields);
}

void ProgramRunServices::endRun()
{
    m_progress.reset();
    m_cancelWatch.reset();
}

bool ProgramRunServices::cancelRequested() const
{
    return label::sharedLabelFields().cancelRequested || (m_hooks.cancelRequested && m_hooks.cancelRequested());
}

ProgramRunServices::~ProgramRunServices() = default;

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
    if (printer::PrinterCollection *all = printer::printers(); all && !all->currentProblem().isEmpty())
        throw Failure(all->currentProblem());
    m_titles = std::make_unique<layout::TitlesHeldForRun>();
    // The run ends on the printer it began on, whatever happens to the
    // current printer in between.
    m_runPrinter = printer::currentPrinter();
    m_scale = printer::runLabelScale();
    if (m_runPrinter) {
        m_sheetRun = printer::SheetRun::start(*m_runPrinter);
        if (m_sheetRun)
            m_runPrinter = &m_sheetRun->printer();
        // On a roll every label's page is as long as the label, never the
        // driver's default page.
        if (const printer::PageGeometry page = m_runPrinter->pageGeometry(); page.roll)
            m_runPrinter->setLabelLength(label::rollPageLengthMm(page, label::fitLabel(page, m_scale)));
        m_runPrinter->beginRun();
    }
}

QString ProgramRunServices::endPrinting(bool ok)
{
    m_titles.reset();
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
