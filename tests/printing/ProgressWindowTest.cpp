#include "printing/RunContext.h"
#include "LabelSupport.h"
#include "common/TestRegistry.h"

#include "label/ui/BarcodePreview.h"
#include "printing/ui/ProgressWindow.h"

#include <QApplication>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace zl::printing;
using namespace zl::label;

class TestProgressWindow : public QObject {
    Q_OBJECT
private slots:
    void windowAsOpened()
    {
        RunControl control;
        zl::ui::ProgressWindow w(control);
        w.findChild<QLineEdit *>(QStringLiteral("txtprogress"))->setText(QStringLiteral("left over"));
        w.open();
        QCOMPARE(w.objectName(), QStringLiteral("frmprinting"));
        QCOMPARE(w.windowTitle(), QStringLiteral("   印刷処理中"));
        QCOMPARE(w.findChild<QLabel *>(QStringLiteral("Label1"))->text(),
                 QStringLiteral("伝票印刷処理中　しばらくお待ちください。"));
        QCOMPARE(w.findChild<QPushButton *>(QStringLiteral("comcancel1"))->text(), QStringLiteral("キャンセル"));
        QCOMPARE(w.findChild<QLineEdit *>(QStringLiteral("txtprogress"))->text(), QString());
        QCOMPARE(w.geometry(), QRect(200, 220, 333, 153));
        QVERIFY(w.isVisible());
        // What the labels wait for, under the counts, is read whole.
        w.setRunCounts(QStringLiteral("送信 12 / 12　印刷済み 0 / 12\nラベル（ジョブ番号 1234）は印刷システムで保留されています。"
                                      "CUPSで保留を解除すると印刷されます。"));
        w.layout()->activate();
        const auto *counts = w.findChild<QLabel *>(QStringLiteral("lblcounts"));
        QVERIFY(counts->height() >= counts->heightForWidth(counts->width()));
        QVERIFY(counts->geometry().bottom() < w.findChild<QPushButton *>(QStringLiteral("comcancel1"))->geometry().top());
        if (const QString shots = qEnvironmentVariable("ZENLABO_SCREENSHOTS"); !shots.isEmpty())
            w.grab().save(shots + QStringLiteral("/frmprinting-waiting.png"));
        // While a label is drawn the window cannot be closed but by cancel.
        QVERIFY(!w.QWidget::close());
        QVERIFY(w.isVisible());
        w.close();
        QVERIFY(!w.isVisible());
    }

    // The run is on a thread of its own: the click only sets its flag, and
    // the counts say the cancel is under way until the run ends.
    void cancelOnlySetsTheFlag()
    {
        RunControl control;
        zl::ui::ProgressWindow w(control);
        w.open();
        QTest::mouseClick(w.findChild<QPushButton *>(QStringLiteral("comcancel1")), Qt::LeftButton);
        QVERIFY(control.cancel);
        QVERIFY(!control.stopAfterLabel);
        w.setRunCounts(QStringLiteral("送信 3 / 9"));
        QCOMPARE(w.findChild<QLabel *>(QStringLiteral("lblcounts"))->text(), QStringLiteral("送信 3 / 9　キャンセルしています…"));
        w.close();
    }

    void previewPaintsTheSample()
    {
        zl::ui::BarcodePreview preview;
        preview.resize(240, 80);
        const QImage blank = preview.grab().toImage();
        preview.setParameters(BarcodeParameters::forRecords());
        const QImage drawn = preview.grab().toImage();
        QCOMPARE(blank.size(), drawn.size());
        // Fitted to its width, the sample reads back as the preview's digits.
        QCOMPARE(zltest::decodeBarcodes(drawn.scaled(drawn.size() * 3)), QStringList{QStringLiteral("EAN-13:1234567890128")});
        // C outlines the picture's light margins; 0 leaves them white.
        QCOMPARE(drawn.pixelColor(0, 0), QColor(Qt::lightGray));
        preview.setParameters({});
        QCOMPARE(preview.grab().toImage().pixelColor(0, 0), QColor(Qt::white));
        // x and y move it: the top-left corner stays white.
        preview.setParameters({30, 20, 0, 0, 0});
        const QImage moved = preview.grab().toImage();
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 240; ++x)
                QVERIFY(qGray(moved.pixel(x, y)) > 200);
    }
};

ZL_TEST(TestProgressWindow)
#include "ProgressWindowTest.moc"
