#include "printing/RunCheck.h"

#include "label/LabelPreview.h"

#include <QStringList>

namespace zl::printing {

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
    list(unreadable, QStringLiteral("値の列がずれていて読み違えるため、印刷がその行で止まります:"));
    list(prices, QStringLiteral("価格が数値ではないため、印刷がその行で止まります:"));
    list(warnings, QStringLiteral("このまま印刷すると、次のラベルは思いどおりに出ません:"));
    return lines.join(QLatin1Char('\n'));
}

namespace {

// The stock as the operator chose it: the printer's name for the paper (or
// the sheet's) and the label's size.
QString paperText(const printer::Printer &p, const printer::PageGeometry &label, const printer::SheetTemplate *sheet)
{
    QString name;
    if (sheet)
        name = sheet->name;
    if (name.isEmpty())
        for (const printer::PaperInfo &paper : p.papers())
            if (paper.code == p.paperSize().value_or(0))
                name = paper.name;
    const QString size = QStringLiteral("%1 x %2 mm").arg(label.paperMm.width(), 0, 'f', 1).arg(label.paperMm.height(), 0, 'f', 1);
    return name.isEmpty() ? size : QStringLiteral("%1、%2").arg(name, size);
}

} // namespace

RunCheck checkRunRows(const QList<RunRow> &rows, const RunContext &run, const printer::Printer *p,
                      const QHash<int, QString> &unreadable)
{
    RunCheck check;
    if (!p)
        return check;
    // A sheet table that cannot be read is the run's to report.
    const printer::SheetTemplate *sheet = run.sheetProblem.isEmpty() ? run.sheet.sheet() : nullptr;
    const printer::PageGeometry geometry = printer::labelPage(p->pageGeometry(), sheet);
    for (const RunRow &r : rows) {
        if (const auto why = unreadable.find(r.row); why != unreadable.end()) {
            // Its price and texts are misread: nothing about them is worth saying.
            check.unreadable.append({r.row, *why});
            continue;
        }
        label::LabelFields f = run.adjustments;
        const QString withoutBarcode =
            f.setRecord({r.record.columns[0], r.record.columns[1], r.record.columns[2], r.record.columns[3]});
        if (!label::priceValue(f.price)) {
            check.prices.append({r.row, QStringLiteral("価格「%1」が数値ではありません").arg(f.price)});
            continue;
        }
        const label::LabelPreview preview = label::previewLabel(f, geometry, run.titles, withoutBarcode, true, run.scale);
        if (!preview.barcodeProblem.isEmpty()) {
            check.refusal = QStringLiteral("プリンター「%1」の用紙（%2）: %3")
                                .arg(p->deviceName(), paperText(*p, geometry, sheet), preview.barcodeProblem);
            break;
        }
        for (const QString &w : preview.warnings())
            check.warnings.append({r.row, w});
    }
    return check;
}

} // namespace zl::printing
