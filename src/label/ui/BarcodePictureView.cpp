#include "label/ui/BarcodePictureView.h"

#include <QPainter>

namespace zl::ui {

BarcodePictureView::BarcodePictureView(QWidget *parent) : QWidget(parent)
{
    setMinimumSize(160, 40);
}

void BarcodePictureView::setPicture(const label::BarcodePicture &picture)
{
    m_picture = picture;
    update();
}

void BarcodePictureView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    if (m_picture.isNull())
        return;
    const qreal w = qMin<qreal>(width() - 4, (height() - 4) / m_picture.aspect());
    m_picture.paint(p, QPointF(2, 2), w);
}

} // namespace zl::ui
