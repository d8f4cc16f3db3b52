#include "label/Barcode.h"

#include "common/Failure.h"
#include "common/Length.h"

#include <QPainter>
#include <QPainterPath>
#include <QRegularExpression>
#include <zint.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace zl::label {

namespace {

constexpr qreal kPrintedWidthMm = 32.0;
constexpr int kDefaultHeightQuarterMm = 25;
constexpr int kMaxHeightQuarterMm = 26;
constexpr int kMinHeightQuarterMm = 8;
constexpr int kMaxReductionPercent = 30;

bool allAsciiDigits(const QString &s)
{
    return !s.isEmpty() && std::all_of(s.begin(), s.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

struct ZintDeleter {
    void operator()(zint_symbol *s) const { ZBarcode_Delete(s); }
};

} // namespace

int janCheckDigit(const QString &body)
{
    // Weights 3 and 1 alternate from the rightmost digit of the body.
    int sum = 0;
    int weight = 3;
    for (qsizetype i = body.size() - 1; i >= 0; --i) {
        sum += (body.at(i).unicode() - u'0') * weight;
        weight = weight == 3 ? 1 : 3;
    }
    return (10 - sum % 10) % 10;
}

namespace {
// The bars as one shape: a recorded page keeps them as one drawing, not one
// each, and a PDF writes them as one path.
void fillBars(QPainter &painter, const QPainterPath &bars)
{
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawPath(bars);
    painter.restore();
}
} // namespace

void BarcodePicture::paint(QPainter &painter, const QPointF &topLeft, qreal width) const
{
    if (isNull() || width <= 0)
        return;
    const qreal module = width / m_modules;
    const qreal height = heightForWidth(width);
    QPainterPath bars;
    for (const QRectF &bar : m_bars)
        bars.addRect(QRectF(topLeft.x() + bar.x() * module, topLeft.y() + bar.y() * height, bar.width() * module,
                            bar.height() * height));
    fillBars(painter, bars);
}

int barReductionDots(qreal reduction, int moduleDots)
{
    return std::clamp(int(std::lround(reduction * moduleDots)), 0, std::max(0, moduleDots - 1));
}

void BarcodePicture::paintOnDotGrid(QPainter &painter, const QPointF &topLeftMm, qreal widthMm, int dpi,
                                    const QPointF &gridOriginMm, qreal edgeInsetDots) const
{
    if (isNull() || widthMm <= 0 || dpi <= 0)
        return;
    const qreal dot = Length::mmPerDot(dpi);
    const int moduleDots = std::max(1, int(std::floor(widthMm / dot / m_modules)));
    const qreal symbolMm = moduleDots * m_modules * dot;
    if (symbolMm > widthMm) { // narrower than one dot a module: nothing to align
        paint(painter, topLeftMm, widthMm);
        return;
    }
    // The symbol's left edge on a whole dot, counted from the grid's origin.
    const qreal leftMm = gridOriginMm.x() + topLeftMm.x() + (widthMm - symbolMm) / 2;
    const qreal leftDot = std::round(leftMm / dot);
    const qreal height = heightForWidth(widthMm);
    // Bar edges are on whole dots from the grid's origin: the rasteriser
    // then paints exactly the dots of each bar. The reduction comes off as
    // whole dots, the odd one from the right edge.
    const int reductionDots = barReductionDots(m_reduction, moduleDots);
    QPainterPath bars;
    for (const QRectF &bar : m_bars) {
        const qreal from = std::round((bar.x() - m_reduction / 2) * moduleDots) + reductionDots / 2;
        const qreal to = std::round((bar.x() + bar.width() + m_reduction / 2) * moduleDots) - (reductionDots + 1) / 2;
        if (to <= from)
            continue;
        bars.addRect(QRectF((leftDot + from + edgeInsetDots) * dot - gridOriginMm.x(), topLeftMm.y() + bar.y() * height,
                            (to - from - 2 * edgeInsetDots) * dot, bar.height() * height));
    }
    fillBars(painter, bars);
}

BarcodePicture makeBarcode(const QString &barcodeText, const BarcodeParameters &parameters)
{
    const QString prefix = QStringLiteral("JAN-");
    if (!barcodeText.startsWith(prefix))
        throw Failure(QStringLiteral("バーコードの種類が JAN ではありません（%1）。").arg(barcodeText));
    const QString digits = barcodeText.mid(prefix.size());
    if (digits.isEmpty())
        throw Failure(QStringLiteral("バーコードの値が空です。"));
    // 4.90123E+12 is what a spreadsheet saves for a number column: the
    // digits after the sixth are gone and only the operator can get them back.
    static const QRegularExpression exponent(QStringLiteral("^[0-9]+(\\.[0-9]*)?[eE]\\+?[0-9]+$"));
    if (exponent.match(digits).hasMatch())
        throw Failure(QStringLiteral("バーコードの値「%1」は指数形式で、JAN の桁が失われています。"
                                     "表計算ソフトでこの列の書式を「文字列」にして JAN を入れ直し、"
                                     "CSV で保存し直してください。")
                          .arg(digits));
    if (!allAsciiDigits(digits))
        throw Failure(QStringLiteral("バーコードの値「%1」に数字以外の文字があります。").arg(digits));
    const int length = int(digits.size());
    if (length != 7 && length != 8 && length != 12 && length != 13)
        throw Failure(QStringLiteral("バーコードの値「%1」は %2 桁です。JAN は 12 桁か 13 桁、短縮 JAN は 7 桁か 8 桁です。")
                          .arg(digits)
                          .arg(length));
    const bool withCheck = length == 8 || length == 13;
    const QString body = withCheck ? digits.left(length - 1) : digits;
    const int check = janCheckDigit(body);
    if (withCheck && digits.back().unicode() - u'0' != check)
        throw Failure(QStringLiteral("バーコードの値「%1」のチェックデジットが違います（正しくは %2）。")
                          .arg(digits)
                          .arg(check));

    // zint is given the body only; it adds the same check digit we computed.
    std::unique_ptr<zint_symbol, ZintDeleter> symbol(ZBarcode_Create());
    if (!symbol)
        throw Failure(QStringLiteral("バーコードを作成できません（メモリ不足）。"));
    symbol->symbology = BARCODE_EANX;
    symbol->show_hrt = 0;
    symbol->guard_descent = 0;
    symbol->output_options = BARCODE_NO_QUIET_ZONES;
    const QByteArray data = body.toLatin1();
    const int rc = ZBarcode_Encode_and_Buffer_Vector(symbol.get(), reinterpret_cast<const unsigned char *>(data.constData()),
                                                     int(data.size()), 0);
    if (rc >= ZINT_ERROR || !symbol->vector || symbol->width <= 0)
        throw Failure(QStringLiteral("バーコード「%1」を作成できません: %2")
                          .arg(digits, QString::fromLatin1(symbol->errtxt)));

    const bool jan13 = body.size() == 12;
    const qreal leftMargin = jan13 ? 11 : 7;
    const qreal rightMargin = 7;
    const qreal symbolModules = symbol->width;
    const qreal unitsPerModule = symbol->vector->width / symbolModules;
    const qreal reduction = std::clamp<int>(parameters.a, 0, kMaxReductionPercent) / 100.0;

    BarcodePicture picture;
    picture.m_digits = body + QChar(u'0' + check);
    picture.m_reduction = reduction;
    picture.m_modules = leftMargin + symbolModules + rightMargin;
    int heightQuarterMm = parameters.b == 0 ? kDefaultHeightQuarterMm : int(parameters.b);
    heightQuarterMm = std::clamp(heightQuarterMm, kMinHeightQuarterMm, kMaxHeightQuarterMm);
    picture.m_aspect = heightQuarterMm / 4.0 / kPrintedWidthMm;
    for (const zint_vector_rect *r = symbol->vector->rectangles; r; r = r->next) {
        if (r->colour > 0 && r->colour != 7) // anything but foreground or black is not a bar
            continue;
        const qreal x = leftMargin + r->x / unitsPerModule + reduction / 2;
        const qreal w = r->width / unitsPerModule - reduction;
        picture.m_bars.append(QRectF(x, 0, w, 1));
    }
    if (picture.m_bars.isEmpty())
        throw Failure(QStringLiteral("バーコード「%1」を作成できません。").arg(digits));
    return picture;
}

} // namespace zl::label
