#include "common/TestRegistry.h"

#include "common/Failure.h"
#include "label/Adjustments.h"
#include "label/LabelFields.h"
#include "layout/PrintAdjustment.h"
#include "printing/ProgramRun.h"
#include "settings/SettingsTable.h"

#include <QTest>
#include <cmath>

// One table for what a stored adjustment may be: the print position screen
// that loads it and the check before a run must agree on every text, so that
// what the screen shows as usable is what a run prints.
class AdjustmentTest : public QObject {
    Q_OBJECT
private slots:
    void storedTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("number"); // NaN: not a number
        QTest::addColumn<bool>("usable");
        QTest::addColumn<int>("position"); // the slider's, when usable
        const double none = std::nan("");
        QTest::newRow("lowest") << QStringLiteral("-20") << -20.0 << true << -20;
        QTest::newRow("highest") << QStringLiteral("20") << 20.0 << true << 20;
        QTest::newRow("zero") << QStringLiteral("0") << 0.0 << true << 0;
        QTest::newRow("leading blank") << QStringLiteral(" 3") << 3.0 << true << 3;
        QTest::newRow("plus sign") << QStringLiteral("+3") << 3.0 << true << 3;
        QTest::newRow("leading zeros") << QStringLiteral("0000000003") << 3.0 << true << 3;
        // Decimals that older versions and hand-edited tables hold.
        QTest::newRow("one and a half") << QStringLiteral("1.5") << 1.5 << true << 2;
        QTest::newRow("minus a half") << QStringLiteral("-0.5") << -0.5 << true << -1;
        QTest::newRow("three and a half") << QStringLiteral("3.5") << 3.5 << true << 4;
        QTest::newRow("exponent") << QStringLiteral("1e1") << 10.0 << true << 10;
        QTest::newRow("just past the top") << QStringLiteral("20.5") << 20.5 << false << 0;
        QTest::newRow("21") << QStringLiteral("21") << 21.0 << false << 0;
        QTest::newRow("-21") << QStringLiteral("-21") << -21.0 << false << 0;
        QTest::newRow("1e300") << QStringLiteral("1e300") << 1e300 << false << 0;
        for (const char *bad : {"", " ", "-", "abc", "0x3", "3 4", "1,5", "inf", "nan", "2mm"})
            QTest::newRow(bad) << QString::fromLatin1(bad) << none << false << 0;
        QTest::newRow("full-width digit") << QStringLiteral("３") << none << false << 0;
    }
    void storedTexts()
    {
        QFETCH(QString, text);
        QFETCH(double, number);
        QFETCH(bool, usable);
        QFETCH(int, position);

        const std::optional<double> parsed = zl::label::adjustmentNumber(text);
        QCOMPARE(parsed.has_value(), !std::isnan(number));
        if (parsed)
            QCOMPARE(*parsed, number);

        // The screen's load.
        QStringList all(zl::settings::adjustmentColumns().size(), QStringLiteral("0"));
        all[2] = text;
        const zl::layout::AdjustmentLoad load =
            zl::layout::adjustmentsFrom({text, QStringLiteral("0"), QStringLiteral("0")}, all);
        QCOMPARE(load.problems.isEmpty(), usable);
        QCOMPARE(load.positions[0], position);
        QCOMPARE(load.values[2], usable ? text : QStringLiteral("0"));

        // The run's check.
        zl::label::LabelFields fields;
        fields.adjustX = QStringLiteral("0");
        fields.adjustY = text;
        fields.adjustS = QStringLiteral("0");
        try {
            zl::printing::checkAdjustments(fields);
            QVERIFY2(usable, "the run took what the screen refuses");
        } catch (const zl::Failure &f) {
            QVERIFY2(!usable, qPrintable(f.description()));
            QVERIFY2(f.description().contains(QStringLiteral("縦　位置調整")), qPrintable(f.description()));
        }
    }
};

ZL_TEST(AdjustmentTest)
#include "AdjustmentTest.moc"
