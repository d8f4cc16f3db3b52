#pragma once
#include "label/Barcode.h"

#include <QWidget>

namespace zl::ui {

// Shows a record's barcode picture (or nothing when it has none).
class BarcodePictureView : public QWidget {
    Q_OBJECT
public:
    explicit BarcodePictureView(QWidget *parent = nullptr);
    void setPicture(const label::BarcodePicture &picture);
    const label::BarcodePicture &picture() const { return m_picture; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    label::BarcodePicture m_picture;
};

} // namespace zl::ui
