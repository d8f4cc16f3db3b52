#include "printing/ui/BarcodePreview.h"

#include "common/Failure.h"

#include <QPainter>

namespace zl::ui {

BarcodePreview::BarcodePreview(QWidget *parent) : QWidget(parent)
{
    setAutoFillBackground(false);
    setMinimumSize(120, 48);
    setParameters({});
}

void BarcodePreview::setParameters(const printing::BarcodeParameters &parameters)
{
    m_parameters = parameters;
    m_reason.clear();
    try {
        m_picture = printing::makeBarcode(printing::previewBarcodeText(), m_parameters);
    } catch (const Failure &f) {
        m_picture = {};
        m_reason = f.description();
    }
    update();
}

void BarcodePreview::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    if (m_picture.isNull()) {
        p.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, m_reason);
        return;
    }
    const QPointF origin(m_parameters.x, m_parameters.y);
    const qreal fitWidth = width() - origin.x();
    qreal w = m_parameters.c > 0 ? m_parameters.c * m_picture.modules() : fitWidth;
    // Keep the whole picture in view vertically too.
    const qreal fitHeight = height() - origin.y();
    if (m_picture.heightForWidth(w) > fitHeight && m_parameters.c <= 0)
        w = fitHeight / m_picture.aspect();
    p.setRenderHint(QPainter::Antialiasing, false);
    m_picture.paint(p, origin, w);
}

} // namespace zl::ui
