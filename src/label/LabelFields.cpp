#include "label/LabelFields.h"

#include "common/Failure.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace zl::label {

QString janValue(const QString &column)
{
    // Spreadsheets pad numbers with spaces or tabs (full-width ones too, in
    // a Japanese one); none of them is part of the value.
    auto blank = [](QChar c) { return c == u' ' || c == u'\t' || c == u'\u3000'; };
    qsizetype from = 0, to = column.size();
    while (from < to && blank(column.at(from)))
        ++from;
    while (to > from && blank(column.at(to - 1)))
        --to;
    return column.mid(from, to - from);
}

QString LabelFields::setRecord(const QStringList &columns)
{
    barcodeValue = janValue(columns.value(0));
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
    // The cashier types what is printed when a scan fails: the digits the
    // bars carry, check digit included.
    digitsSource = barcode.digits();
    return {};
}

std::optional<double> priceValue(const QString &text)
{
    QString s;
    s.reserve(text.size());
    for (QChar c : text.trimmed()) {
        const char16_t u = c.unicode();
        if (u >= u'０' && u <= u'９')
            s += QChar(u'0' + (u - u'０'));
        else if (u == u'，')
            s += QLatin1Char(',');
        else if (u == u'．')
            s += QLatin1Char('.');
        else if (u == u'－' || u == u'−')
            s += QLatin1Char('-');
        else if (u == u'＋')
            s += QLatin1Char('+');
        else if (u == u'￥' || u == u'¥' || u == u'\\')
            s += QChar(u'¥');
        else
            s += c;
    }
    // Sign and yen mark in either order, then digits (grouped in threes or
    // not) and an optional fraction.
    static const QRegularExpression price(QStringLiteral(
        "^([-+]?)\\s*(?:¥\\s*([-+]?))?\\s*(\\d{1,3}(?:,\\d{3})+|\\d+)(\\.\\d+)?$"));
    const QRegularExpressionMatch m = price.match(s);
    if (!m.hasMatch() || (!m.captured(1).isEmpty() && !m.captured(2).isEmpty()))
        return std::nullopt;
    QString number = m.captured(3).remove(QLatin1Char(',')) + m.captured(4);
    bool ok = false;
    const double value = number.toDouble(&ok);
    if (!ok || !std::isfinite(value) || value >= kPriceLimit)
        return std::nullopt;
    const bool negative = m.captured(1) == QLatin1String("-") || m.captured(2) == QLatin1String("-");
    return negative ? -value : value;
}

QString priceProblem(const QString &text)
{
    if (priceValue(text))
        return {};
    // The same text with every digit a 0 is a price: only its size is wrong.
    QString zeros = text;
    for (QChar &c : zeros)
        if (c.isDigit())
            c = QLatin1Char('0');
    if (priceValue(zeros))
        return QStringLiteral("価格「%1」が大きすぎます。%2円未満の金額にしてください。")
            .arg(text, QLocale(QLocale::Japanese, QLocale::Japan).toString(qint64(kPriceLimit)));
    return QStringLiteral("価格「%1」が数値ではありません。").arg(text);
}

QString strayValuesProblem(const QStringList &values, int namedColumns)
{
    const int columns = std::max(kRecordColumns, namedColumns);
    auto blank = [](const QString &v) { return v.trimmed().isEmpty(); };
    int last = int(values.size());
    while (last > columns && blank(values.at(last - 1)))
        --last;
    if (last <= columns)
        return {};
    // A price written with its thousands comma and no quotes ("1,099")
    // arrives as "1" and "099": say so in the operator's own terms.
    if (columns == kRecordColumns) {
        const QString joined = values.mid(kRecordColumns - 1, last - kRecordColumns + 1).join(QLatin1Char(','));
        if (priceValue(joined))
            return QStringLiteral("価格「%1」が「,」で%2つの列に分かれています。"
                                  "価格に「,」があるときは \"1,099\" のように引用符で囲んでください。")
                .arg(joined)
                .arg(last - kRecordColumns + 1);
    }
    int stray = columns;
    while (blank(values.at(stray)))
        ++stray;
    QString value = values.at(stray);
    if (value.size() > 20)
        value = value.left(20) + QChar(u'…');
    return QStringLiteral("データの列は%1列ですが、%2列目にも値「%3」があります。"
                          "「,」を含む値は \"…\" のように引用符で囲み、余分な「,」は消してください。")
        .arg(columns)
        .arg(stray + 1)
        .arg(value);
}

QString recordProblem(const QStringList &values, int namedColumns)
{
    if (values.size() < kRecordColumns)
        return QStringLiteral("値が%1列しかありません。%2列必要です。").arg(values.size()).arg(kRecordColumns);
    const QString stray = strayValuesProblem(values, namedColumns);
    return stray.isEmpty() ? priceProblem(values.at(kRecordColumns - 1)) : stray;
}

QString priceText(const QString &price, const QLocale &locale)
{
    const std::optional<double> value = priceValue(price);
    if (!value)
        throw Failure(priceProblem(price));
    const QLocale effective =
        locale.language() == QLocale::C ? QLocale(QLocale::Japanese, QLocale::Japan) : locale;
    if (*value < 0)
        return QLatin1Char('-') + effective.toCurrencyString(-*value);
    return effective.toCurrencyString(*value == 0 ? 0.0 : *value);
}

LabelFields &sharedLabelFields()
{
    // Process-wide: the print screens and the next run share what the
    // operator adjusted, on the windows' thread only.
    static LabelFields fields;
    return fields;
}

} // namespace zl::label
