#include "layout/Titles.h"
#include "LabelSupport.h"

#include "label/PageCanvas.h"

namespace zltest {

zl::label::LabelFields labelFor(const QStringList &columns, const QString &x, const QString &y, const QString &s)
{
    zl::label::LabelFields f;
    f.setRecord(columns);
    f.adjustX = x;
    f.adjustY = y;
    f.adjustS = s;
    return f;
}

QImage renderLabel(zl::label::LabelFields &fields, int dpi)
{
    zl::label::ImageCanvas canvas(QSizeF(50, 30), dpi);
    zl::label::printLabel(canvas, fields, zl::layout::currentTitles());
    return canvas.images().value(0);
}

} // namespace zltest
