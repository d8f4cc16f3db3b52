#pragma once
#include <QImage>
#include <QStringList>

namespace zltest {

// Barcodes zbar finds in an image, as "TYPE:digits" (EAN-13, EAN-8, …).
// Empty when the tests were built without zbar.
QStringList decodeBarcodes(const QImage &image);

} // namespace zltest
