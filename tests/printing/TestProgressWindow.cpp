#include "printing/RunProgress.h"
#include "LabelSupport.h"
#include "common/TestRegistry.h"

#include "ui/ScreenRegistry.h"
#include "layout/Titles.h"
#include "label/ui/BarcodePreview.h"
#include "printing/ui/ProgressWindow.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace zl::printing;
using namespace zl::label;

namespace {
const QString kSquare(QChar(0x25A0));

QWidget *openProgressWindow()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == QStringLiteral("frmprinting") && w->isVisible())
            return w;
    return nullptr;
}
} // namespace

class TestProgressWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale::c());
        zl::layout::setLiveTitlesSource([] { return zl::layout::Titles{QStringLiteral("T1"), QStringLiteral("T2")}; });
        zl::ui::registerPrintingScreens(zl::ui::ScreenRegistry::instance());
        std::vector<std::unique_ptr<zl::printer::Printer>> list;
        list.push_back(std::make_unique<zltest::KeepingPrinter>(&m_documents));
        zl::printer::installPrinters(std::make_unique<zl::printer::OwnedPrinterCollection>(std::move(list)));
    }
    void cleanupTestCase()
    {
        zl::printer::installPrinters(nullptr);
        zl::layout::setLiveTitlesSource({});
        setProgressViewFactory({});
    }
    void init() { m_documents.clear(); }

    void windowAsOpened()
    {
        LabelFields fields;
        zl::ui::ProgressWindow w(fields);
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
        // While a label is drawn the window cannot be closed but by cancel.
        QVERIFY(!w.QWidget::close());
        QVERIFY(w.isVisible());
        w.close();
        QVERIFY(!w.isVisible());
    }

    void cancelOnlySetsTheFlags()
    {
        LabelFields fields;
        fields.remainingLabels = 250;
        zl::ui::ProgressWindow w(fields);
        w.open();
        QTest::mouseClick(w.findChild<QPushButton *>(QStringLiteral("comcancel1")), Qt::LeftButton);
        QVERIFY(fields.cancelRequested);
        QCOMPARE(fields.remainingLabels, 1);
        w.close();
    }

    // The program's renderer on the current printer: the window opens with
    // an empty bar, fills it, and closes; one document reaches the printer.
    void labelThroughTheWindow()
    {
        LabelFields &fields = sharedLabelFields();
        fields = zltest::labelFor({QStringLiteral("123456789012"), QStringLiteral("A"), QStringLiteral("B"),
                                   QStringLiteral("1200")});
        QStringList bars;
        bool sawEmptyBar = false;
        auto hook = [&] {
            if (QWidget *w = openProgressWindow()) {
                auto *bar = w->findChild<QLineEdit *>(QStringLiteral("txtprogress"));
                sawEmptyBar = bar->text().isEmpty();
                connect(bar, &QLineEdit::textChanged, this, [&](const QString &t) { bars << t; });
            }
        };
        QMetaObject::invokeMethod(this, hook, Qt::QueuedConnection);
        PrintLabel();
        QVERIFY(sawEmptyBar);
        QCOMPARE(bars, QStringList{kSquare.repeated(25)});
        QVERIFY(!openProgressWindow());
        QCOMPARE(m_documents.size(), 1);
        QCOMPARE(m_documents.first().size(), 1);
    }

    // A click on cancel while the label is drawn: nothing reaches the
    // printer, the run learns it from the counter, the window closes.
    void cancelClickDuringALabel()
    {
        LabelFields &fields = sharedLabelFields();
        fields = zltest::labelFor({QStringLiteral("AB\r\nCDEF"), QStringLiteral("A"), QStringLiteral("B"),
                                   QStringLiteral("1200")});
        fields.remainingLabels = 42;
        auto hook = [&] {
            if (QWidget *w = openProgressWindow()) {
                auto *bar = w->findChild<QLineEdit *>(QStringLiteral("txtprogress"));
                auto *cancel = w->findChild<QPushButton *>(QStringLiteral("comcancel1"));
                // The click arrives as an event, after the first bar step.
                connect(bar, &QLineEdit::textChanged, cancel, [cancel] {
                    QMetaObject::invokeMethod(cancel, &QPushButton::click, Qt::QueuedConnection);
                });
            }
        };
        QMetaObject::invokeMethod(this, hook, Qt::QueuedConnection);
        PrintLabel();
        QVERIFY(fields.cancelRequested);
        QCOMPARE(fields.remainingLabels, 1);
        QCOMPARE(m_documents.size(), 0);
        QVERIFY(!openProgressWindow());
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

private:
    QList<QList<QPicture>> m_documents;
};

ZL_TEST(TestProgressWindow)
#include "TestProgressWindow.moc"
