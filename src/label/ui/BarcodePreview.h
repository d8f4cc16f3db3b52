#pragma once
// The barcode preview of the print screens (their Picture1): the sample
// barcode drawn with the screen's current barcode parameters.
#include "label/Barcode.h"

#include <QWidget>

namespace zl::ui {

class BarcodePreview : public QWidget {
    Q_OBJECT
public:
    explicit BarcodePreview(QWidget *parent = nullptr);

    label::BarcodeParameters parameters() const { return m_parameters; }
    void setParameters(const label::BarcodeParameters &parameters);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    label::BarcodeParameters m_parameters;
    label::BarcodePicture m_picture;
    QString m_reason;
};

} // namespace zl::ui
