// Prices as Japanese operators type them, and as the label prints them.
#include "TestRegistry.h"

#include "common/Failure.h"
#include "label/LabelFields.h"

#include <QTest>

using zl::label::priceText;

class PriceTextTest : public QObject {
    Q_OBJECT
private slots:
    void pricesAsTypedAndAsPrinted()
    {
        // Typed text, printed text (empty: refused). Yen have no decimals.
        const QList<std::pair<QString, QString>> cases{
            {QStringLiteral("1200"), QStringLiteral("￥1,200")},
            {QStringLiteral(" 98 "), QStringLiteral("￥98")},
            {QStringLiteral("0"), QStringLiteral("￥0")},
            {QStringLiteral("-5"), QStringLiteral("-￥5")},
            {QStringLiteral("-1200"), QStringLiteral("-￥1,200")},
            {QStringLiteral("１２００"), QStringLiteral("￥1,200")},
            {QStringLiteral("－１２００"), QStringLiteral("-￥1,200")},
            {QStringLiteral("¥150"), QStringLiteral("￥150")},
            {QStringLiteral("￥150"), QStringLiteral("￥150")},
            {QStringLiteral("\\150"), QStringLiteral("￥150")}, // ¥ as a Shift-JIS file shows it
            {QStringLiteral("-¥5"), QStringLiteral("-￥5")},
            {QStringLiteral("¥-5"), QStringLiteral("-￥5")},
            {QStringLiteral("1,200"), QStringLiteral("￥1,200")},
            {QStringLiteral("１，２００"), QStringLiteral("￥1,200")},
            {QStringLiteral("¥1,234,567"), QStringLiteral("￥1,234,567")},
            {QStringLiteral("1200.4"), QStringLiteral("￥1,200")},
            {QStringLiteral("千円"), {}},
            {QStringLiteral("1200円"), {}},
            {QStringLiteral("未定"), {}},
            {QString(), {}},
            {QStringLiteral("¥"), {}},
            {QStringLiteral("-"), {}},
            {QStringLiteral("1,2"), {}},
            {QStringLiteral("12,00"), {}},
            {QStringLiteral(",120"), {}},
            {QStringLiteral("-¥-5"), {}},
            {QStringLiteral("1e3"), {}},
            {QStringLiteral("inf"), {}},
            {QStringLiteral("1 200"), {}},
            {QStringLiteral("$5"), {}},
            {QStringLiteral("999,999,999,999"), QStringLiteral("￥999,999,999,999")},
            {QStringLiteral("99999999999999999999999999"), {}},
            {QStringLiteral("-1,000,000,000,000"), {}},
            {QStringLiteral("１０００００００００００００"), {}},
        };
        for (const auto &[typed, printed] : cases) {
            QString got;
            try {
                got = priceText(typed, QLocale::c());
            } catch (const zl::Failure &f) {
                QVERIFY2(printed.isEmpty(), qPrintable(QStringLiteral("「%1」 refused: %2").arg(typed, f.description())));
                const bool tooLarge = typed.size() > 12;
                QCOMPARE(f.description(), tooLarge ? QStringLiteral("価格「%1」が大きすぎます。1,000,000,000,000円未満の金額にしてください。").arg(typed)
                                                    : QStringLiteral("価格「%1」が数値ではありません。").arg(typed));
                continue;
            }
            QVERIFY2(got == printed, qPrintable(QStringLiteral("「%1」 printed as 「%2」, expected 「%3」")
                                                    .arg(typed, got, printed.isEmpty() ? QStringLiteral("refused") : printed)));
        }
        // A Japanese system locale prints the same.
        QCOMPARE(priceText(QStringLiteral("-5"), QLocale(QLocale::Japanese, QLocale::Japan)), QStringLiteral("-￥5"));
    }
};

ZL_TEST(PriceTextTest)
#include "PriceTextTest.moc"
