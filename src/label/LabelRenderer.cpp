#include "label/LabelRenderer.h"

#include "common/Failure.h"
#include "label/Adjustments.h"

#include <algorithm>
#include <cmath>

namespace zl::label {

namespace {

constexpr int kBarLength = 25;
const QLatin1String kLineBreak("\r\n");

// A one-line text shows only as far as the paper (and a preview's margin
// beyond it) reaches: no label line holds a thousand characters, so a text
// of megabytes is never laid out whole.
constexpr qsizetype kVisibleCharacters = 1000;
QString visiblePart(const QString &text)
{
    return text.size() > kVisibleCharacters ? text.left(kVisibleCharacters) : text;
}

struct Adjustments {
    double x = 0, y = 0, s = 0;
};

Adjustments readAdjustments(const LabelFields &f)
{
    return {adjustmentValue(f.adjustX, adjustmentName(0)), adjustmentValue(f.adjustY, adjustmentName(1)),
            adjustmentValue(f.adjustS, adjustmentName(2))};
}

class Renderer {
public:
    Renderer(PageCanvas &canvas, const LabelFields &fields, const Titles &titles, const LabelSteps &steps)
        : c(canvas), f(fields), titles(titles), steps(steps)
    {
    }

    RendererState run()
    {
        // A cancel clicked before this label stands and stops it before
        // anything is sent.
        tell(QString());
        prepareFont();
        st.pageNumber = 1;
        drawHeader();
        drawBody();
        // A cancel that came after the label went out stops the next one.
        if (cancelled() && !sent) {
            c.abortDocument();
            st.cancelled = true;
            return st;
        }
        c.endDocument();
        return st;
    }

private:
    void prepareFont()
    {
        c.setFontName(baseFontName());
        c.setFontSize(baseFontSize());
        c.setScaleMillimetres();
        st.lineHeight = int(std::lround(c.textHeight(QStringLiteral("5"))));
        st.linesPerPage = st.lineHeight > 0 ? int(std::floor(c.printableHeight() / st.lineHeight)) : 0;
        st.rightLimit = int(std::lround(c.printableWidth() - 10));
    }

    void drawHeader()
    {
        const Adjustments a = readAdjustments(f);
        c.setFontBold(true);
        c.setFontItalic(true);
        c.setFontSize(8 + a.s);
        c.setLineWidth(3);
        c.setCurrentX(9 + a.x);
        c.setCurrentY(a.y + st.lineHeight / 20.0);
        c.printText(visiblePart(titles.title1));
        c.drawLine(a.x, a.y + st.lineHeight, a.x + 1.5 * st.rightLimit, a.y + st.lineHeight);
        c.setFontBold(false);
        c.setFontItalic(false);
    }

    // Where the line-splitting pass stops in s (1-based, as the pass counts):
    // at a line break, at the first character that no longer fits, or one
    // past the end. Prefix widths only grow, so prefixes twice as long each
    // time are measured until one does not fit, and the point is searched
    // between the last two: a runaway first column is dropped a line at a
    // time without measuring all of it for every line.
    int splitPosition(const QString &s, int lineBreakAt) const
    {
        const int n = int(s.size());
        const int stretch = lineBreakAt > 0 ? lineBreakAt - 1 : n;
        auto overflows = [&](int i) { return c.textWidth(s.left(i)) + 10 > st.rightLimit; };
        int lo = 1, hi = std::min(stretch, 32);
        while (hi < stretch && !overflows(hi)) {
            lo = hi + 1;
            hi = std::min(stretch, 2 * hi);
        }
        if (stretch == 0 || !overflows(hi))
            return lineBreakAt > 0 ? lineBreakAt : n + 1;
        while (lo < hi) { // the first i in [lo, hi] that overflows
            const int mid = (lo + hi) / 2;
            if (overflows(mid))
                hi = mid;
            else
                lo = mid + 1;
        }
        return lo;
    }

    void drawBody()
    {
        const Adjustments a = readAdjustments(f);
        QString s = f.barcodeValue;
        const int l0 = int(s.size());
        const QString price = currencyText(f.price);
        const QString title2 = titles.title2;
        const QString digits = visiblePart(labelDigitsText(f));

        c.setCurrentY(a.y + st.lineHeight);
        while (!s.isEmpty()) {
            if (cancelled()) {
                c.abortDocument();
                st.cancelled = true;
                return;
            }
            if (c.currentY() > (st.linesPerPage - 4) * st.lineHeight) {
                if (st.pageNumber >= kMaxLabelPages)
                    throw Failure(QStringLiteral("1枚のラベルが%1ページを超えるため印刷しません（1列目が%2文字あります）。"
                                                 "データの1列目を確かめてください。")
                                      .arg(kMaxLabelPages)
                                      .arg(l0));
                c.newPage();
                ++st.pageNumber;
                c.setCurrentY(a.y + 4 * st.lineHeight);
            }
            const int lineBreakAt = int(s.indexOf(kLineBreak)) + 1;
            const int i = splitPosition(s, lineBreakAt);
            if (lineBreakAt > 0 && i == lineBreakAt) {
                c.setCurrentX(10 + a.x);
                c.setFontSize(8 + a.s);
                c.printText(s.left(i - 1));
                s = s.right(s.size() - i - 1);
            } else if (i <= s.size()) {
                // What does not fit is dropped: printed at the left it landed
                // on the product name of every label. At least one character
                // leaves s, or a single character wider than the label would
                // never leave it.
                const int take = std::max(i - 1, 1);
                c.setCurrentX(5 + a.x);
                c.setFontSize(8 + a.s);
                s = s.mid(take);
            }
            if (i > s.size()) {
                drawLabel(a, price, title2, digits);
                sent = true;
                s.clear();
            }
            if (steps.progress) {
                const int squares = l0 > 0 ? int((l0 - s.size()) * kBarLength / l0) : kBarLength;
                tell(QString(squares, QChar(0x25A0)));
            }
        }
    }

    void drawLabel(const Adjustments &a, const QString &price, const QString &title2, const QString &digits)
    {
        c.setFontBold(true);
        c.setFontItalic(false);
        c.setFontSize(7 + a.s);
        c.setCurrentX(3 + a.x);
        c.setCurrentY(4 + a.y);
        c.printText(visiblePart(f.secondText));

        c.setFontBold(false);
        c.setFontItalic(false);
        c.setFontSize(8 + a.s);
        c.setCurrentX(3 + a.x);
        c.setCurrentY(6.5 + a.y);
        c.printText(visiblePart(f.thirdText));

        c.setCurrentX(13 + a.x);
        c.setCurrentY(9.7 + a.y);
        c.setFontBold(true);
        c.setFontItalic(true);
        c.setFontSize(11 + a.s);
        c.printText(price);

        c.setCurrentX(1 + a.x);
        c.setCurrentY(11 + a.y);
        c.setFontBold(true);
        c.setFontItalic(true);
        c.setFontSize(6.5 + a.s);
        c.printText(visiblePart(title2));

        // A record whose barcode could not be made has no picture at all.
        if (!f.barcode.isNull())
            c.drawPicture(f.barcode, 1 + a.x, 14 + a.y, 32);

        c.setCurrentX(4 + a.x);
        c.setCurrentY(21 + a.y);
        c.setFontBold(true);
        c.setFontItalic(false);
        c.setFontSize(8 + a.s);
        c.printText(digits);

        c.endDocument();
    }

    bool cancelled() const { return steps.cancelled && steps.cancelled(); }
    void tell(const QString &bar) const
    {
        if (steps.progress)
            steps.progress(bar);
    }

    PageCanvas &c;
    const LabelFields &f;
    const Titles &titles;
    const LabelSteps &steps;
    bool sent = false;
    RendererState st;
};

} // namespace

QString baseFontName()
{
    return QStringLiteral("IPAPGothic");
}

double baseFontSize()
{
    // The 13-pixel size of a 9-point screen font. IPAPGothic at 9 pt is
    // 3.4 mm high and would round to a 3 mm line, putting the title's rule
    // through its descenders; at 9.75 pt it is 3.7 mm, a 4 mm line.
    return 9.75;
}

RendererState printLabel(PageCanvas &canvas, const LabelFields &fields, const Titles &titles, const LabelSteps &steps)
{
    Renderer renderer(canvas, fields, titles, steps);
    try {
        return renderer.run();
    } catch (...) {
        canvas.abortDocument();
        throw;
    }
}

QString currencyText(const QString &price, const QLocale &locale)
{
    return priceText(price, locale);
}

QString barcodeDigitsText(const QString &source)
{
    const QString twoSpaces = QStringLiteral("  ");
    return source.mid(0, 1) + twoSpaces + source.mid(1, 6) + twoSpaces + source.mid(7, 6);
}

QString labelDigitsText(const LabelFields &fields)
{
    const QString &encoded = fields.barcode.digits();
    // Grouped as a JAN's digits, a value that made no barcode (a wrong check
    // digit, too few digits) would pass for a valid code under the empty box.
    if (fields.barcode.isNull() || encoded != fields.digitsSource)
        return fields.digitsSource;
    if (encoded.size() == 8)
        return encoded.left(4) + QStringLiteral("  ") + encoded.mid(4);
    return barcodeDigitsText(encoded);
}

} // namespace zl::label
