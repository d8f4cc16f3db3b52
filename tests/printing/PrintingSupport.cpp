#include "PrintingSupport.h"

#include "printing/PageCanvas.h"

namespace zltest {

zl::printing::LabelFields labelFor(const QStringList &columns, const QString &x, const QString &y, const QString &s)
{
    zl::printing::LabelFields f;
    f.setRecord(columns);
    f.adjustX = x;
    f.adjustY = y;
    f.adjustS = s;
    return f;
}

QImage renderLabel(zl::printing::LabelFields &fields, int dpi)
{
    zl::printing::ImageCanvas canvas(QSizeF(50, 30), dpi);
    zl::printing::printLabel(canvas, nullptr, fields);
    return canvas.images().value(0);
}

} // namespace zltest
