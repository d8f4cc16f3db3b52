#include "LayoutScreenTestSupport.h"
#include "common/TestEnv.h"
#include "common/TestRegistry.h"

#include "common/Failure.h"
#include "layout/PrintAdjustment.h"
#include "layout/ui/PrintPositionScreen.h"
#include "settings/SettingsTable.h"
#include "settings/SettingsTestHooks.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <memory>

using zl::ui::ShownMessage;

class PrintPositionTest : public QObject {
    Q_OBJECT

    std::unique_ptr<zltest::TempHome> home;
    QList<ShownMessage> messages;

    // A table whose carried values are hard to carry: commas inside the
    // quotes, text that is not a number, CP932 extension characters.
    static QStringList awkwardValues(const QString &s1, const QString &s2, const QString &s3)
    {
        QStringList v{QStringLiteral("D:\\伝票データ"), QStringLiteral("c5255,控え.csv"), s1, s2, s3};
        for (int i = 1; i <= 90; ++i)
            v << (i % 3 == 0   ? QStringLiteral("①～㈱ %1").arg(i)
                  : i % 3 == 1 ? QStringLiteral("%1,%2").arg(i).arg(i * 7)
                               : QStringLiteral("x%1").arg(i));
        v << QStringLiteral("ぜんらぼ商事") << QStringLiteral("〒100-0001") << QStringLiteral("東京都千代田区1-1")
          << QStringLiteral("03-1234-5678");
        return v;
    }
    void writeAdjustments(const QStringList &values)
    {
        home->writeTable(zl::settings::kAdjustmentTable, zl::settings::adjustmentColumns(), values);
    }
    QByteArray adjustmentBytes() const { return home->readFile(zl::settings::kAdjustmentTable); }
    QStringList storedValues() const { return zl::settings::ReadSettingsRecords(zl::settings::kAdjustmentTable, 99); }
    template <typename T> static T *child(QWidget *w, const QString &name)
    {
        T *c = w->findChild<T *>(name);
        if (!c)
            qFatal("control %s missing", qPrintable(name));
        return c;
    }
    static QSlider *slider(QWidget *w, int n) { return child<QSlider>(w, QStringLiteral("Slider%1").arg(n)); }
    static QString valueLabel(QWidget *w, int n)
    {
        return child<QLabel>(w, QStringLiteral("Label%1").arg(13 + n))->text();
    }
    static void save(QWidget *w) { child<QPushButton>(w, QStringLiteral("Command1"))->click(); }
    static void drag(QSlider *s, int to)
    {
        s->setSliderDown(true);
        s->setValue(to);
        s->setSliderDown(false);
    }

private slots:
    void init()
    {
        home = std::make_unique<zltest::TempHome>();
        QDir().mkpath(home->settingsFolder());
        messages.clear();
        zl::ui::recordMessagesInto(&messages);
    }
    void cleanup()
    {
        zltest::closeScreens({QStringLiteral("Form13"), QStringLiteral("setOracle")});
        zl::ui::recordMessagesInto(nullptr);
        zl::settings::testhooks::beforeCommit = nullptr;
        home.reset();
    }

    // What a stored text may be is one table with the run's check
    // (tests/label); here only the text a slider position is stored as.
    void positionTexts()
    {
        QCOMPARE(zl::layout::adjustmentText(-20), QStringLiteral("-20"));
        QCOMPARE(zl::layout::adjustmentText(12), QStringLiteral("12"));
    }

    void opensOnTheStoredAdjustments()
    {
        writeAdjustments(awkwardValues(QStringLiteral("5"), QStringLiteral("-2"), QStringLiteral("3")));
        QWidget *w = zltest::openScreen(QStringLiteral("Form13"));
        QVERIFY(w);
        QVERIFY(messages.isEmpty());
        QCOMPARE(w->windowTitle(), QStringLiteral("印刷位置調整"));
        QCOMPARE(w->size(), QSize(zl::ui::twips(7900 + zl::ui::PrintPositionScreen::kPreviewWidthTwips),
                                 zl::ui::twips(4700 + zl::ui::PrintPositionScreen::kCalibrationTwips)));
        QCOMPARE(w->palette().color(QPalette::Window), QColor(255, 224, 192));
        for (int n = 1; n <= 3; ++n) {
            QCOMPARE(slider(w, n)->minimum(), -20);
            QCOMPARE(slider(w, n)->maximum(), 20);
            QCOMPARE(slider(w, n)->orientation(), Qt::Horizontal);
        }
        // Three steps right of the middle.
        QCOMPARE(slider(w, 3)->value() - (slider(w, 3)->minimum() + slider(w, 3)->maximum()) / 2, 3);
        QCOMPARE(slider(w, 1)->value(), 5);
        QCOMPARE(slider(w, 2)->value(), -2);
        QCOMPARE(valueLabel(w, 1), QStringLiteral("5"));
        QCOMPARE(valueLabel(w, 2), QStringLiteral("-2"));
        QCOMPARE(valueLabel(w, 3), QStringLiteral("3"));
        QCOMPARE(child<QLineEdit>(w, QStringLiteral("Textdb2"))->text(), QStringLiteral("c5255,控え.csv"));
        QCOMPARE(child<QLineEdit>(w, QStringLiteral("Text1"))->text(), QStringLiteral("1,7"));
        QCOMPARE(child<QLineEdit>(w, QStringLiteral("Text94"))->text(), QStringLiteral("03-1234-5678"));
    }

    void openAndSaveChangesNothing_data()
    {
        QTest::addColumn<QStringList>("sizes");
        QTest::addColumn<QList<int>>("positions");
        QTest::newRow("whole numbers") << QStringList{QStringLiteral("5"), QStringLiteral("-2"), QStringLiteral("0")}
                                       << QList<int>{5, -2, 0};
        // Decimals that older versions or a hand stored: usable, shown as
        // stored at the nearest slider step, and kept by a save.
        QTest::newRow("decimals") << QStringList{QStringLiteral("1.5"), QStringLiteral("-0.5"), QStringLiteral(" 2")}
                                  << QList<int>{2, -1, 2};
    }
    void openAndSaveChangesNothing()
    {
        QFETCH(QStringList, sizes);
        QFETCH(QList<int>, positions);
        const QStringList values = awkwardValues(sizes[0], sizes[1], sizes[2]);
        writeAdjustments(values);
        const QByteArray before = adjustmentBytes();
        QPointer<QWidget> w = zltest::openScreen(QStringLiteral("Form13"));
        QVERIFY(messages.isEmpty());
        for (int n = 1; n <= 3; ++n) {
            QCOMPARE(slider(w, n)->value(), positions[n - 1]);
            QCOMPARE(valueLabel(w, n), sizes[n - 1]);
        }
        save(w);
        QCOMPARE(adjustmentBytes(), before);
        QCOMPARE(storedValues(), values);
        QVERIFY(!w->isVisible());
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0].text, QStringLiteral("設定が変更されました｡"));
        QCOMPARE(messages[0].title, QStringLiteral("設定変更"));
        QCOMPARE(messages[0].style, int(zl::ui::Information));
    }

    void slidersWriteTheirPositions()
    {
        writeAdjustments(awkwardValues(QStringLiteral("7"), QStringLiteral("-7"), QStringLiteral("4")));
        QWidget *w = zltest::openScreen(QStringLiteral("Form13"));

        // A drag shows nothing until the mouse is released.
        slider(w, 1)->setSliderDown(true);
        slider(w, 1)->setValue(-20);
        QCOMPARE(valueLabel(w, 1), QStringLiteral("7"));
        slider(w, 1)->setSliderDown(false);
        QCOMPARE(valueLabel(w, 1), QStringLiteral("-20"));

        drag(slider(w, 2), 20);
        QCOMPARE(valueLabel(w, 2), QStringLiteral("20"));

        QTest::keyClick(slider(w, 3), Qt::Key_Left);
        QCOMPARE(valueLabel(w, 3), QStringLiteral("3"));
        QTest::keyClick(slider(w, 3), Qt::Key_Home);
        QCOMPARE(valueLabel(w, 3), QStringLiteral("-20"));
        drag(slider(w, 3), 0);
        QCOMPARE(valueLabel(w, 3), QStringLiteral("0"));

        save(w);
        const QStringList stored = storedValues();
        QCOMPARE(stored.mid(2, 3), (QStringList{QStringLiteral("-20"), QStringLiteral("20"), QStringLiteral("0")}));
        QCOMPARE(stored.mid(5), awkwardValues({}, {}, {}).mid(5));
    }

    void savingClosesTheDataSourceScreen()
    {
        auto &registry = zl::ui::ScreenRegistry::instance();
        registry.add(QStringLiteral("setOracle"), [](QWidget *host) { return new QWidget(host, Qt::Window); });
        QPointer<QWidget> dataSource = registry.show(QStringLiteral("setOracle"));
        QVERIFY(dataSource && dataSource->isVisible());
        writeAdjustments(awkwardValues(QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0")));
        QWidget *w = zltest::openScreen(QStringLiteral("Form13"));
        save(w);
        zltest::flushDeletes();
        QVERIFY(!dataSource);
        QCOMPARE(registry.find(QStringLiteral("setOracle")), nullptr);
    }

    void unusableAdjustmentsOpenAtZero()
    {
        writeAdjustments(awkwardValues(QString(), QStringLiteral("abc"), QStringLiteral("25")));
        const QByteArray before = adjustmentBytes();
        QWidget *w = zltest::openScreen(QStringLiteral("Form13"));
        QVERIFY(w);
        QCOMPARE(messages.size(), 1);
        const QString &text = messages[0].text;
        QVERIFY2(text.contains(QStringLiteral("「横　位置調整」の値（空）")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("「abc」")) && text.contains(QStringLiteral("「25」")), qPrintable(text));
        QVERIFY2(!text.contains(QStringLiteral("「5」")), qPrintable(text));
        for (int n = 1; n <= 3; ++n) {
            QCOMPARE(slider(w, n)->value(), 0);
            QCOMPARE(valueLabel(w, n), QStringLiteral("0"));
        }
        QCOMPARE(adjustmentBytes(), before);

        // Closing without saving writes nothing.
        w->close();
        zltest::flushDeletes();
        QCOMPARE(adjustmentBytes(), before);
    }

    void unreadableTableOpensNoScreen_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("missing") << QByteArray();
        const QString zero = QStringLiteral("0");
        QStringList columns = zl::settings::adjustmentColumns();
        QStringList values = awkwardValues(zero, zero, zero);
        QTest::newRow("header only") << zl::settings::formatTable(columns, values).split('\n').first() + '\n';
        columns.removeLast();
        values.removeLast();
        QTest::newRow("no TEL column") << zl::settings::formatTable(columns, values);
    }
    void unreadableTableOpensNoScreen()
    {
        QFETCH(QByteArray, bytes);
        if (!bytes.isEmpty())
            home->writeFile(zl::settings::kAdjustmentTable, bytes);
        QCOMPARE(zltest::openScreen(QStringLiteral("Form13")), nullptr);
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0].style, int(zl::ui::Critical));
        QCOMPARE(adjustmentBytes(), bytes);
    }

    // Columns the screen does not show go back as the bytes that were read,
    // whatever wrote them; only what the screen changed is checked.
    void hiddenColumnsGoBackByteForByte_data()
    {
        QTest::addColumn<int>("column"); // 0-based, among the 99
        QTest::addColumn<QByteArray>("field");
        QTest::newRow("UTF-8 from a Linux editor") << 5 << QByteArray("\"\xE6\x9D\xB1\xE4\xBA\xAC\"");
        QTest::newRow("doubled quote") << 95 << QByteArray("\"5\"\" tape\"");
        QTest::newRow("not quoted") << 50 << QByteArray("plain text");
        QTest::newRow("stray bytes") << 98 << QByteArray("\"\xFF\x80\xA0\"");
        QTest::newRow("yen as a backslash") << 0 << QByteArray("\"C:\\data\\\"");
        QTest::newRow("quoted comma and after-quote text") << 1 << QByteArray("\"a,b\"tail");
        QTest::newRow("40,000 characters") << 60 << "\"" + QByteArray(40000, 'n') + "\"";
    }
    void hiddenColumnsGoBackByteForByte()
    {
        QFETCH(int, column);
        QFETCH(QByteArray, field);
        const QByteArray header = zl::settings::formatTable(zl::settings::adjustmentColumns(),
                                                            QStringList(99, QStringLiteral("0")))
                                      .split('\n')
                                      .first()
            + '\n';
        QList<QByteArray> fields(99, QByteArray("\"x\""));
        fields[2] = "\"1\"";
        fields[3] = "\"0\"";
        fields[4] = "\"0\"";
        fields[column] = field;
        auto table = [&] { return header + fields.join(',') + "\r\n"; };
        home->writeFile(zl::settings::kAdjustmentTable, table());
        QWidget *w = zltest::openScreen(QStringLiteral("Form13"));
        QVERIFY(w);
        drag(slider(w, 1), 4);
        save(w);
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0].text, QStringLiteral("設定が変更されました｡"));
        fields[2] = "\"4\"";
        QCOMPARE(adjustmentBytes(), table());
    }

    void failedSaveKeepsTheScreenAndTheTable()
    {
        auto &registry = zl::ui::ScreenRegistry::instance();
        registry.add(QStringLiteral("setOracle"), [](QWidget *host) { return new QWidget(host, Qt::Window); });
        QPointer<QWidget> dataSource = registry.show(QStringLiteral("setOracle"));
        writeAdjustments(awkwardValues(QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("1")));
        const QByteArray before = adjustmentBytes();
        zl::settings::testhooks::beforeCommit = [] { throw zl::Failure(QStringLiteral("ディスクがいっぱいです。")); };
        QWidget *w = zltest::openScreen(QStringLiteral("Form13"));
        drag(slider(w, 1), 9);
        save(w);
        QCOMPARE(adjustmentBytes(), before);
        QVERIFY(w->isVisible());
        QCOMPARE(valueLabel(w, 1), QStringLiteral("9"));
        QVERIFY(dataSource && dataSource->isVisible());
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0].style, int(zl::ui::Critical));
        QVERIFY(messages[0].text.contains(QStringLiteral("ディスクがいっぱいです。")));
    }
};

ZL_TEST(PrintPositionTest)
#include "PrintPositionTest.moc"
