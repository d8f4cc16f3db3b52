#include "sheets/SheetTemplates.h"

#include <algorithm>

namespace zl::printer {

namespace {

constexpr int kA4 = 9;
const QSizeF kA4Mm(210, 297);

} // namespace

QRectF SheetTemplate::positionRect(int n) const
{
    const int index = n - 1;
    const int column = index % columns;
    const int row = index / columns;
    return {QPointF(leftMm + column * pitchXMm, topMm + row * pitchYMm), labelMm};
}

int SheetTemplate::positionAt(QPointF mm) const
{
    for (int n = 1; n <= positions(); ++n)
        if (positionRect(n).contains(mm))
            return n;
    return 0;
}

const QList<SheetTemplate> &sheetTemplates()
{
    // Geometry as Hisago publishes it for each product (the same sheets are
    // sold under other makers' numbers with the same layout).
    static const QList<SheetTemplate> sheets{
        {QStringLiteral("A4-12"), QStringLiteral("A4 12面 (2×6) ヒサゴ ELM008 86.4×42.3mm"), kA4, kA4Mm,
         QSizeF(86.4, 42.3), 2, 6, 18.6, 21.2, 86.4, 42.3},
        {QStringLiteral("A4-24"), QStringLiteral("A4 24面 (3×8) ヒサゴ ELM012 66×33.9mm"), kA4, kA4Mm,
         QSizeF(66, 33.9), 3, 8, 6, 12.9, 66, 33.9},
        {QStringLiteral("A4-44"), QStringLiteral("A4 44面 (4×11) ヒサゴ ELM022 48.3×25.4mm"), kA4, kA4Mm,
         QSizeF(48.3, 25.4), 4, 11, 8.4, 8.8, 48.3, 25.4},
    };
    return sheets;
}

const SheetTemplate *findSheet(const QString &id)
{
    const QString wanted = id.trimmed();
    for (const SheetTemplate &s : sheetTemplates())
        if (s.id.compare(wanted, Qt::CaseInsensitive) == 0)
            return &s;
    return nullptr;
}

SheetPlan planSheets(const SheetTemplate &sheet, int start, int labels)
{
    SheetPlan plan;
    const int perSheet = sheet.positions();
    int position = std::clamp(start, 1, perSheet);
    plan.nextStart = position;
    while (labels > 0) {
        const int onPage = std::min(labels, perSheet - position + 1);
        plan.labelsPerPage.append(onPage);
        labels -= onPage;
        position += onPage;
        if (position > perSheet)
            position = 1;
        plan.nextStart = position;
    }
    return plan;
}

} // namespace zl::printer
