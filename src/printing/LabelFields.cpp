#include "printing/LabelFields.h"

#include "common/Failure.h"

#include <QStringList>

namespace zl::printing {

QString LabelFields::setRecord(const QStringList &columns)
{
    barcodeValue = columns.value(0);
    secondText = columns.value(1);
    thirdText = columns.value(2);
    price = columns.value(3);
    digitsSource = barcodeValue;
    barcode = BarcodePicture();
    try {
        barcode = makeBarcode(janBarcodeText(barcodeValue), BarcodeParameters::forRecords());
    } catch (const Failure &f) {
        return f.description();
    }
    return {};
}

LabelFields &sharedLabelFields()
{
    static LabelFields fields;
    return fields;
}

} // namespace zl::printing
