#include "Zbar.h"

#ifdef ZENLABO_HAVE_ZBAR
#include <zbar.h>
using namespace zbar;
#endif

namespace zltest {

QStringList decodeBarcodes(const QImage &image)
{
    QStringList found;
#ifdef ZENLABO_HAVE_ZBAR
    const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    QByteArray packed;
    packed.reserve(grey.width() * grey.height());
    for (int row = 0; row < grey.height(); ++row)
        packed.append(reinterpret_cast<const char *>(grey.constScanLine(row)), grey.width());
    zbar_image_scanner_t *scanner = zbar_image_scanner_create();
    // Every symbology a label could be mistaken for, but a JAN with a leading
    // zero is to read as the EAN-13 it is, not as a UPC-A.
    zbar_image_scanner_set_config(scanner, ZBAR_NONE, ZBAR_CFG_ENABLE, 1);
    zbar_image_scanner_set_config(scanner, ZBAR_UPCA, ZBAR_CFG_ENABLE, 0);
    zbar_image_t *img = zbar_image_create();
    zbar_image_set_format(img, zbar_fourcc('Y', '8', '0', '0'));
    zbar_image_set_size(img, unsigned(grey.width()), unsigned(grey.height()));
    zbar_image_set_data(img, packed.constData(), unsigned(packed.size()), nullptr);
    zbar_scan_image(scanner, img);
    for (const zbar_symbol_t *sym = zbar_image_first_symbol(img); sym; sym = zbar_symbol_next(sym))
        found << QStringLiteral("%1:%2").arg(QString::fromLatin1(zbar_get_symbol_name(zbar_symbol_get_type(sym))),
                                            QString::fromLatin1(zbar_symbol_get_data(sym)));
    zbar_image_destroy(img);
    zbar_image_scanner_destroy(scanner);
#else
    Q_UNUSED(image);
#endif
    return found;
}

} // namespace zltest
