#pragma once
// The barcode preview of the print screens (their Picture1): the sample
// barcode drawn with the screen's current barcode parameters.
#include "printing/Barcode.h"

#include <QWidget>

namespace zl::ui {

class BarcodePreview : public QWidget {
    Q_OBJECT
public:
    explicit BarcodePreview(QWidget *parent = nullptr);

    printing::BarcodeParameters parameters() const { return m_parameters; }
    void setParameters(const printing::BarcodeParameters &parameters);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    printing::BarcodeParameters m_parameters;
    printing::BarcodePicture m_picture;
    QString m_reason;
};

} // namespace zl::ui
