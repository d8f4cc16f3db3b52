#include "printing/CalibrationRun.h"

#include "label/CalibrationLabel.h"
#include "label/Adjustments.h"
#include "settings/StoredSettings.h"

namespace zl::printing {

namespace {

class BlankRecords : public RecordReader {
public:
    explicit BlankRecords(int count) : m_left(count) {}
    std::optional<RunRecord> next() override
    {
        if (m_left <= 0)
            return std::nullopt;
        --m_left;
        return RunRecord{};
    }

private:
    int m_left;
};

class CalibrationServices : public ProgramRunServices {
public:
    using ProgramRunServices::ProgramRunServices;

    std::unique_ptr<RecordReader> openDataSource(int) override
    {
        const printer::SheetTemplate *sheet = context().sheet.sheet();
        return std::make_unique<BlankRecords>(sheet ? sheet->positions() : 1);
    }
    bool checkRows(const QList<RunRow> &) override { return true; }
    std::optional<QString> prepareLabel(const RunRecord &, int) override { return std::nullopt; }
    bool printLabel() override
    {
        printer::Printer *p = runPrinter();
        if (!p)
            throw Failure(QStringLiteral("プリンタが選択されていません。"));
        if (cancelRequested())
            return false;
        const printer::PageGeometry page = p->pageGeometry();
        const label::LabelFields &a = context().adjustments;
        const QPointF adjustment(label::adjustmentValue(a.adjustX, label::adjustmentName(0)),
                                 label::adjustmentValue(a.adjustY, label::adjustmentName(1)));
        p->printDocument({label::calibrationPage(page, label::fitLabel(page, context().scale), adjustment)});
        return true;
    }
};

} // namespace

std::optional<RunContext> prepareCalibration(const RunHooks &hooks)
{
    std::optional<RunContext> context = prepareRun(hooks);
    if (!context)
        return context;
    const settings::StoredAdjustments stored = settings::readAdjustments();
    context->adjustments.adjustX = stored.x;
    context->adjustments.adjustY = stored.y;
    context->adjustments.adjustS = stored.s;
    // Shifts differ across a sheet: every position is printed, on a sheet
    // of its own, whatever the sheet in use has left.
    context->sheet.start = 1;
    context->sheetStored = false;
    return context;
}

RunResult printCalibration(RunContext context, const RunControl &control, const RunHooks &hooks)
{
    CalibrationServices services(std::move(context), control, hooks);
    int cap = kLabelsPerOpening;
    int remaining = 0;
    return runContinuous(services, cap, remaining);
}

QString calibrationInstructions()
{
    return QStringLiteral("ラベルの上の目盛りで%1と、左の目盛りで%2を読み、"
                          "印刷位置調整の画面の「左端の目盛り」「上端の目盛り」に入れて「反映」を押してください"
                          "（zenlabo --calibrate 左端 上端 でも同じです）。")
        .arg(label::kReadLeftEdge, label::kReadTopEdge);
}

} // namespace zl::printing
