#include "printing/ProgramRun.h"

#include "datasource/DataSource.h"
#include "printer/PaperSelection.h"
#include "printer/PrinterSetup.h"
#include "printing/LabelFields.h"
#include "printing/LabelRenderer.h"
#include "settings/Defaults.h"
#include "settings/SettingsTable.h"

#include <QDir>
#include <QFileInfo>
#include <utility>

namespace zl::printing {

namespace {

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

private:
    datasource::DataSource m_source;
    qsizetype m_next = 0;
};

} // namespace

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

void ProgramRunServices::finishPrinting()
{
    if (printer::Printer *p = printer::currentPrinter())
        p->finishDocuments();
}

std::unique_ptr<RecordReader> ProgramRunServices::openDataSource()
{
    const QStringList ds = settings::ReadSettingsRecords(settings::kDataSourceTable, 2);
    if (m_hooks.dataSource)
        m_hooks.dataSource(ds[0], ds[1]);
    m_row = 0;
    return std::make_unique<DataSourceReader>(datasource::DataSource::open(ds[0], ds[1]));
}

std::optional<QString> ProgramRunServices::prepareLabel(const RunRecord &record)
{
    LabelFields &fields = sharedLabelFields();
    const QString reason = fields.setRecord({record.columns[0], record.columns[1], record.columns[2], record.columns[3]});
    ++m_row;
    if (m_hooks.recordPrepared)
        m_hooks.recordPrepared(m_row);
    if (reason.isEmpty())
        return std::nullopt;
    return reason;
}

bool ProgramRunServices::printLabel()
{
    // A price that is no number stops the run before its label (the run names the row).
    const QString &price = sharedLabelFields().price;
    if (!priceValue(price))
        throw Failure(QStringLiteral("価格「%1」が数値ではありません。").arg(price));
    // Opened with the first label (after any print-setup dialog), kept
    // open until the run ends.
    if (!m_progress)
        m_progress = std::make_unique<RunProgress>(sharedLabelFields());
    return PrintLabel();
}

void ProgramRunServices::beginRun()
{
    LabelFields &fields = sharedLabelFields();
    checkAdjustments(fields);
    fields.cancelRequested = false;
}

void ProgramRunServices::endRun()
{
    m_progress.reset();
}

bool ProgramRunServices::cancelRequested() const
{
    return sharedLabelFields().cancelRequested;
}

ProgramRunServices::~ProgramRunServices() = default;

void checkAdjustments(const LabelFields &fields)
{
    const struct {
        const QString &text;
        QString name;
    } adjustments[] = {{fields.adjustX, QStringLiteral("横　位置調整")},
                       {fields.adjustY, QStringLiteral("縦　位置調整")},
                       {fields.adjustS, QStringLiteral("フォントサイズ")}};
    for (const auto &a : adjustments) {
        const double value = adjustmentValue(a.text, a.name);
        // Far outside the label every label would come out blank.
        if (value < kAdjustmentLimitLow || value > kAdjustmentLimitHigh)
            throw Failure(QStringLiteral("印刷位置調整の%1の値「%2」が %3 から %4 の範囲を外れているため印刷しません。"
                                         "印刷位置調整の画面で直して保存してください。")
                              .arg(a.name, a.text)
                              .arg(kAdjustmentLimitLow)
                              .arg(kAdjustmentLimitHigh));
    }
}

void ProgramRunServices::beginPrinting()
{
    m_titles = std::make_unique<layout::TitlesHeldForRun>();
    // The run ends on the printer it began on, whatever happens to the
    // current printer in between.
    m_runPrinter = printer::currentPrinter();
    if (m_runPrinter) {
        m_sheetRun = printer::SheetRun::start(*m_runPrinter);
        if (m_sheetRun)
            m_runPrinter = &m_sheetRun->printer();
        m_runPrinter->beginRun();
    }
}

QString ProgramRunServices::endPrinting(bool ok)
{
    m_titles.reset();
    printer::Printer *p = std::exchange(m_runPrinter, nullptr);
    const std::unique_ptr<printer::SheetRun> sheetRun = std::move(m_sheetRun);
    QString said = p ? p->endRun(ok) : QString();
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

void loadAdjustmentsIntoLabelFields()
{
    const QStringList adj = settings::ReadSettingsRecords(settings::kAdjustmentTable, 99);
    LabelFields &fields = sharedLabelFields();
    fields.adjustX = adj[2];
    fields.adjustY = adj[3];
    fields.adjustS = adj[4];
}

} // namespace zl::printing
