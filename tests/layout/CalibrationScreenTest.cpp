// The numbers read off the calibration label, typed into the print position
// screen and applied with 「反映」.
#include "LayoutScreenTestSupport.h"
#include "common/TestEnv.h"
#include "common/TestRegistry.h"

#include "label/ui/LabelPreviewView.h"
#include "settings/SettingsTable.h"

#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>

namespace {
QStringList texts(std::initializer_list<const char *> list)
{
    QStringList l;
    for (const char *t : list)
        l << QString::fromUtf8(t);
    return l;
}
} // namespace

class CalibrationScreenTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_home = std::make_unique<zltest::TempHome>();
        m_home->installDefaults();
        zl::ui::recordMessagesInto(&m_messages);
    }
    void cleanup()
    {
        zltest::closeScreens({QStringLiteral("Form13")});
        zl::ui::recordMessagesInto(nullptr);
        m_home.reset();
    }

    void applyAddsTheReadingToTheStoredAdjustments_data()
    {
        QTest::addColumn<QStringList>("stored");   // SIZE1, SIZE2 before
        QTest::addColumn<QStringList>("typed");    // 左端の目盛り, 上端の目盛り
        QTest::addColumn<QStringList>("expected"); // SIZE1, SIZE2 after; as stored when refused
        QTest::addColumn<QList<int>>("sliders");
        QTest::addColumn<QString>("note");
        QTest::newRow("added, tenths kept") << texts({"1", "0"}) << texts({"1.5", "-0.5"})
                                            << texts({"2.5", "-0.5"}) << QList<int>{3, -1} << QString::fromUtf8("横　位置調整 1 → 2.5");
        QTest::newRow("past the range: nothing stored") << texts({"19", "0"}) << texts({"1.5", "0"})
                                                        << texts({"19", "0"}) << QList<int>{19, 0}
                                                        << QString::fromUtf8("-20 から 20 の範囲を外れる");
    }
    void applyAddsTheReadingToTheStoredAdjustments()
    {
        QFETCH(QStringList, stored);
        QFETCH(QStringList, typed);
        QFETCH(QStringList, expected);
        QFETCH(QList<int>, sliders);
        QFETCH(QString, note);
        QStringList values{QStringLiteral("_"), QStringLiteral("_"), stored[0], stored[1], QStringLiteral("0")};
        while (values.size() < 99)
            values << QStringLiteral("x%1").arg(values.size());
        m_home->writeTable(zl::settings::kAdjustmentTable, zl::settings::adjustmentColumns(), values);
        const QByteArray before = m_home->readFile(zl::settings::kAdjustmentTable);
        QWidget *w = zltest::openScreen(QStringLiteral("Form13"));
        QVERIFY(w);
        auto *preview = w->findChild<zl::ui::LabelPreviewView *>();
        QVERIFY(preview);
        const QImage previewBefore = preview->grab().toImage();
        for (int i = 0; i < 2; ++i) {
            auto *spin = w->findChild<QDoubleSpinBox *>(QStringLiteral("Spin%1").arg(i + 1));
            QVERIFY(spin);
            spin->setFocus();
            spin->selectAll();
            QTest::keyClicks(spin, typed[i]);
            spin->interpretText();
            QCOMPARE(spin->value(), typed[i].toDouble());
        }
        w->findChild<QPushButton *>(QStringLiteral("Command3"))->click();

        const QString said = w->findChild<QLabel *>(QStringLiteral("Label19"))->text();
        QVERIFY2(said.contains(note), qPrintable(said));
        const QStringList now = zl::settings::ReadSettingsRecords(zl::settings::kAdjustmentTable, 99);
        QCOMPARE(now.mid(2, 2), expected);
        QCOMPARE(now.mid(4), values.mid(4)); // the rest carried
        const bool changed = expected != stored;
        if (!changed)
            QCOMPARE(m_home->readFile(zl::settings::kAdjustmentTable), before);
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(w->findChild<QSlider *>(QStringLiteral("Slider%1").arg(i + 1))->value(), sliders[i]);
            QCOMPARE(w->findChild<QLineEdit *>(QStringLiteral("Textsize%1").arg(i + 1))->text(), expected[i]);
            QCOMPARE(w->findChild<QLabel *>(QStringLiteral("Label%1").arg(14 + i))->text(), expected[i]);
        }
        QCOMPARE(preview->grab().toImage() != previewBefore, changed);
        QVERIFY(m_messages.isEmpty());
    }

private:
    std::unique_ptr<zltest::TempHome> m_home;
    QList<zl::ui::ShownMessage> m_messages;
};

ZL_TEST(CalibrationScreenTest)
#include "CalibrationScreenTest.moc"
