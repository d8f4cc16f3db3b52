#include "label/ui/BarcodePreview.h"

#include "common/Failure.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace zl::ui {

BarcodePreview::BarcodePreview(QWidget *parent) : QWidget(parent)
{
    setAutoFillBackground(false);
    setMinimumSize(120, 48);
    setParameters({});
}

void BarcodePreview::setParameters(const label::BarcodeParameters &parameters)
{
    m_parameters = parameters;
    m_reason.clear();
    try {
        m_picture = label::makeBarcode(label::previewBarcodeText(), m_parameters);
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
    const QSizeF room(width() - origin.x() - 1, height() - origin.y() - 1);
    qreal w = std::min(room.width(), room.height() / m_picture.aspect());
    // Whole pixels per module keep every bar its true width on screen.
    if (const qreal perModule = std::floor(w / m_picture.modules()); perModule >= 1)
        w = perModule * m_picture.modules();
    if (w <= 0)
        return;
    p.setRenderHint(QPainter::Antialiasing, false);
    if (m_parameters.c != 0) {
        p.setPen(Qt::lightGray);
        p.drawRect(QRectF(origin, QSizeF(w, m_picture.heightForWidth(w))));
    }
    m_picture.paint(p, origin, w);
}

} // namespace zl::ui
