#include "layout/ui/PrintPositionScreen.h"

#include "ui/ScreenPlacement.h"
#include "ui/Dialogs.h"
#include "ui/ScreenRegistry.h"
#include "common/Failure.h"
#include "layout/Calibration.h"
#include "layout/Titles.h"
#include "layout/ui/LayoutScreens.h"
#include "paper/PaperSelection.h"
#include "printer/Printer.h"
#include "label/Adjustments.h"
#include "label/LabelPreview.h"
#include "label/ui/LabelPreviewView.h"

#include <QDoubleSpinBox>
#include <QLabel>
#include <QPointer>
#include <QSignalBlocker>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <limits>

namespace zl::ui {

namespace {

const QString kGothic = QStringLiteral("IPAPGothic");

QFont gothicFont(qreal points, bool bold = false)
{
    QFont f(kGothic);
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

QLabel *label(QWidget *parent, const QString &name, const QString &text, const QRect &twipsRect,
              Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(name);
    l->setAlignment(align);
    l->setGeometry(twips(twipsRect.x()), twips(twipsRect.y()), twips(twipsRect.width()), twips(twipsRect.height()));
    return l;
}

} // namespace

PrintPositionScreen::PrintPositionScreen(const layout::AdjustmentLoad &load, QWidget *host, CalibrationPrinting printCalibration)
    : QWidget(host, Qt::Window), m_stored(load.stored)
{
    m_printCalibrationLabel = std::move(printCalibration);
    setWindowTitle(QStringLiteral("印刷位置調整"));
    setFixedSize(twips(7900 + kPreviewWidthTwips), twips(4700 + kCalibrationTwips));
    move(twips(10), twips(10));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(255, 224, 192));
    pal.setColor(QPalette::WindowText, Qt::black);
    setPalette(pal);
    setFont(gothicFont(9));

    label(this, QStringLiteral("Label1"), QStringLiteral("印刷位置調整"), {240, 120, 4000, 420})
        ->setFont(gothicFont(14.25));

    // Working storage: the operator never sees these, the save writes them.
    auto holder = [this](const QString &name, const QString &text) {
        auto *e = new QLineEdit(this);
        // A carried value of any length must come back whole.
        e->setMaxLength(std::numeric_limits<int>::max());
        e->setText(text);
        e->setObjectName(name);
        e->hide();
        return e;
    };
    m_dbHolder[0] = holder(QStringLiteral("Textdb1"), load.values.value(0));
    m_dbHolder[1] = holder(QStringLiteral("Textdb2"), load.values.value(1));
    for (int i = 0; i < 3; ++i)
        m_sizeHolder[i] =
            holder(QStringLiteral("Textsize%1").arg(i + 1), load.values.value(layout::kFirstAdjustmentColumn + i));
    for (int i = 0; i < 94; ++i)
        m_carried[i] = holder(QStringLiteral("Text%1").arg(i + 1), load.values.value(5 + i));

    struct Row {
        const char *caption, *value, *left, *leftText, *right, *rightText, *zero;
    };
    static const Row rows[3] = {
        {"Label3", "Label14", "Label12", "左", "Label11", "右", "Label5"},
        {"Label2", "Label15", "Label9", "上", "Label8", "下", "Label6"},
        {"Label4", "Label16", "Label13", "小", "Label10", "大", "Label7"},
    };
    const int sliderLeft = 1800, sliderWidth = 5175;
    for (int i = 0; i < 3; ++i) {
        const Row &r = rows[i];
        const int top = 780 + i * 1080;
        label(this, QString::fromLatin1(r.caption), label::adjustmentName(i), {240, top, 1500, 420});
        label(this, QString::fromLatin1(r.left), QString::fromUtf8(r.leftText), {sliderLeft, top - 240, 600, 240});
        label(this, QString::fromLatin1(r.right), QString::fromUtf8(r.rightText),
              {sliderLeft + sliderWidth - 600, top - 240, 600, 240}, Qt::AlignRight | Qt::AlignVCenter);
        label(this, QString::fromLatin1(r.zero), QStringLiteral("0"),
              {sliderLeft + sliderWidth / 2 - 300, top + 420, 600, 240}, Qt::AlignCenter);

        auto *slider = new QSlider(Qt::Horizontal, this);
        slider->setObjectName(QStringLiteral("Slider%1").arg(i + 1));
        slider->setRange(label::kAdjustmentMin, label::kAdjustmentMax);
        slider->setSingleStep(1);
        slider->setPageStep(5);
        slider->setTickPosition(QSlider::TicksBelow);
        slider->setTickInterval(5);
        slider->setGeometry(twips(sliderLeft), twips(top), twips(sliderWidth), twips(420));
        slider->setValue(load.positions[i]);
        m_slider[i] = slider;

        m_value[i] = label(this, QString::fromLatin1(r.value), m_sizeHolder[i]->text(),
                           {sliderLeft + sliderWidth + 120, top, 600, 420}, Qt::AlignRight | Qt::AlignVCenter);
        m_value[i]->setFont(gothicFont(9.75, true));

        // A drag takes effect when the mouse is released; a click on the
        // groove or a key press moves the slider without a drag and takes
        // effect at once.
        connect(slider, &QSlider::sliderReleased, this, [this, i] { takeSliderPosition(i); });
        connect(slider, &QSlider::valueChanged, this, [this, i] {
            if (!m_slider[i]->isSliderDown())
                takeSliderPosition(i);
        });
    }

    auto *saveButton = new QPushButton(QStringLiteral("保存設定"), this);
    setDefaultButton(saveButton);
    saveButton->setObjectName(QStringLiteral("Command1"));
    saveButton->setGeometry(twips(7900 - 240 - 1500), twips(4700 - 240 - 480), twips(1500), twips(480));
    connect(saveButton, &QPushButton::clicked, this, &PrintPositionScreen::save);
    addPreview();
    addCalibration();
}

void PrintPositionScreen::addCalibration()
{
    const int top = 4700 - 120;
    m_printCalibration = new QPushButton(QStringLiteral("調整用ラベルを印刷"), this);
    m_printCalibration->setObjectName(QStringLiteral("Command2"));
    m_printCalibration->setGeometry(twips(240), twips(top), twips(2400), twips(480));
    connect(m_printCalibration, &QPushButton::clicked, this, &PrintPositionScreen::printCalibration);
    m_printCalibration->setEnabled(bool(m_printCalibrationLabel));

    const char *captions[2] = {"左端の目盛り", "上端の目盛り"};
    for (int i = 0; i < 2; ++i) {
        const int left = 240 + i * 2700;
        label(this, QStringLiteral("Label%1").arg(17 + i), QString::fromUtf8(captions[i]), {left, top + 600, 1300, 420});
        auto *spin = new QDoubleSpinBox(this);
        spin->setObjectName(QStringLiteral("Spin%1").arg(i + 1));
        spin->setRange(label::kAdjustmentMin, label::kAdjustmentMax);
        spin->setDecimals(1);
        spin->setSingleStep(layout::kReadingStep);
        spin->setSuffix(QStringLiteral(" mm"));
        spin->setLocale(QLocale::c());
        spin->setGeometry(twips(left + 1300), twips(top + 600), twips(1250), twips(420));
        m_reading[i] = spin;
    }
    auto *apply = new QPushButton(QStringLiteral("反映"), this);
    apply->setObjectName(QStringLiteral("Command3"));
    apply->setGeometry(twips(5700), twips(top + 570), twips(1000), twips(480));
    connect(apply, &QPushButton::clicked, this, &PrintPositionScreen::applyCalibration);

    m_calibrationNote = label(this, QStringLiteral("Label19"), {}, {240, top + 1140, 7400 + kPreviewWidthTwips - 480, 760},
                              Qt::AlignLeft | Qt::AlignTop);
    m_calibrationNote->setWordWrap(true);
}

void PrintPositionScreen::printCalibration()
{
    m_printCalibration->setEnabled(false);
    m_calibrationNote->setText(QStringLiteral("調整用ラベルを印刷しています…"));
    // Told once the label is out (or not), on this screen's thread.
    m_printCalibrationLabel(this, [this](const QString &said) {
        m_printCalibration->setEnabled(true);
        m_calibrationNote->setText(said);
    });
}

void PrintPositionScreen::applyCalibration()
{
    const QPointF reading(m_reading[0]->value(), m_reading[1]->value());
    layout::Calibrated c;
    try {
        c = layout::calibrateStored(reading, layout::fitInForce());
        m_stored = layout::loadAdjustments().stored;
    } catch (const Failure &failure) {
        m_calibrationNote->setText(failure.description() + QStringLiteral("\n印刷位置調整は変更していません。"));
        return;
    }
    for (int i = 0; i < 2; ++i) {
        m_sizeHolder[i]->setText(c.after[i]);
        m_value[i]->setText(c.after[i]);
        // The slider shows where the value is; its own change must not
        // round the stored decimal away.
        const QSignalBlocker blocker(m_slider[i]);
        m_slider[i]->setValue(label::adjustmentPosition(label::adjustmentNumber(c.after[i]).value_or(0)));
        // A reading applied once is gone: pressing again must not move twice.
        m_reading[i]->setValue(0);
    }
    showPreview();
    m_calibrationNote->setText(QStringLiteral("反映して保存しました: ") + c.change());
}

void PrintPositionScreen::addPreview()
{
    m_preview = new LabelPreviewView(this);
    m_preview->setGeometry(twips(7900), twips(240), twips(kPreviewWidthTwips - 240), twips(4700 - 480));
    // What the printer offers may come after the screen has opened: heard
    // from before it is first asked.
    connect(&printer::PrinterInForceNews::instance(), &printer::PrinterInForceNews::changed, this, [this] {
        showPaper();
        showPreview();
    });
    showPaper();
    try {
        m_preview->setTitles(layout::currentTitles());
        m_record = label::firstRecordFields(&m_withoutBarcode);
        m_hasRecord = true;
    } catch (const Failure &failure) {
        m_preview->showProblem(QStringLiteral("データの最初のレコードを読めないため、ラベルを表示できません。\n")
                               + failure.description());
    }
    // Every step of a slider redraws the label, also while it is dragged.
    for (QSlider *slider : m_slider)
        connect(slider, &QSlider::valueChanged, this, &PrintPositionScreen::showPreview);
    showPreview();
}

void PrintPositionScreen::showPaper()
{
    // The label goes on the page known now (the windows never wait for the
    // printing system).
    if (const auto page = printer::pageInForce())
        m_preview->setPaper(*page, printer::labelScaleInForce());
}

void PrintPositionScreen::showPreview()
{
    if (!m_hasRecord)
        return;
    // A slider being dragged shows where it is; otherwise the label shows
    // what a save would store, a decimal read from the table included.
    QString adjust[3];
    for (int i = 0; i < 3; ++i)
        adjust[i] = m_slider[i]->isSliderDown() ? layout::adjustmentText(m_slider[i]->value()) : m_sizeHolder[i]->text();
    m_record.adjustX = adjust[0];
    m_record.adjustY = adjust[1];
    m_record.adjustS = adjust[2];
    m_preview->showLabel(m_record, m_withoutBarcode);
}

void PrintPositionScreen::takeSliderPosition(int which)
{
    const QString text = layout::adjustmentText(m_slider[which]->value());
    m_value[which]->setText(text);
    m_sizeHolder[which]->setText(text);
}

QStringList PrintPositionScreen::values() const
{
    QStringList v;
    for (QLineEdit *e : m_dbHolder)
        v << e->text();
    for (QLineEdit *e : m_sizeHolder)
        v << e->text();
    for (QLineEdit *e : m_carried)
        v << e->text();
    return v;
}

void PrintPositionScreen::save()
{
    try {
        layout::saveAdjustments(values(), m_stored);
    } catch (const Failure &failure) {
        showMessage(this,
                    QStringLiteral("設定を保存できませんでした。\n%1\n\n調整値は画面に残っています。")
                        .arg(failure.description()),
                    QStringLiteral("設定変更エラー"), Critical);
        return;
    }
    // No settings screen stays open on values read before this save; the
    // data-source screen goes too, and with it whatever was typed there unsaved.
    ScreenRegistry::instance().close(QStringLiteral("setOracle"));
    QWidget *parent = parentWidget();
    close();
    showMessage(parent, QStringLiteral("設定が変更されました｡"), QStringLiteral("設定変更"), Information);
}

QWidget *createPrintPositionScreen(QWidget *host, const CalibrationPrinting &printCalibration)
{
    layout::AdjustmentLoad load;
    try {
        load = layout::loadAdjustments();
    } catch (const Failure &failure) {
        showMessage(host,
                    QStringLiteral("印刷位置調整の設定を読み込めないため、画面を開けません。\n%1\n\n"
                                   "設定は何も変更されていません。")
                        .arg(failure.description()),
                    QStringLiteral("設定読み込みエラー"), Critical);
        return nullptr;
    }
    auto *screen = new PrintPositionScreen(load, host, printCalibration);
    if (!load.problems.isEmpty())
        showMessage(host,
                    QStringLiteral("%1\n\nその調整は 0 の位置で表示しています。"
                                   "「保存設定」を押すまで設定ファイルは変更されません。")
                        .arg(load.problems.join(QLatin1Char('\n'))),
                    QStringLiteral("印刷位置調整"), Exclamation);
    return screen;
}

void registerLayoutScreens(ScreenRegistry &registry, CalibrationPrinting printCalibration)
{
    registry.add(QStringLiteral("Form3"), createLayoutSelectionScreen);
    registry.add(QStringLiteral("Form13"),
                 [printCalibration](QWidget *host) { return createPrintPositionScreen(host, printCalibration); });
}

} // namespace zl::ui
