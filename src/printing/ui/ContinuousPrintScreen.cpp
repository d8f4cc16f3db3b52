#include "printing/ui/ContinuousPrintScreen.h"

#include "ui/ScreenPlacement.h"
#include "ui/ScreenRegistry.h"
#include "ui/Widgets.h"
#include "label/Barcode.h"
#include "label/LabelFields.h"
#include "label/ui/BarcodePictureView.h"
#include "label/ui/BarcodePreview.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace zl::ui {

ContinuousPrintScreen::ContinuousPrintScreen(QWidget *parent) : PrintScreenBase(parent)
{
    setWindowTitle(QStringLiteral("Zenlabo　for CSV"));
    m_start->setText(QStringLiteral("連続印刷実行スタート"));
    m_close->setText(QStringLiteral("終了"));
    m_paper = label(this, "Label_YOSHI");
    m_remaining = label(this, "Label_PP");
    static const char *names[] = {"Text1", "Text2", "Text3", "Text4", "Text5"};
    for (int i = 0; i < 5; ++i) {
        m_text[i] = lineEdit(this, names[i]);
        m_text[i]->setReadOnly(true);
    }
    m_text8 = lineEdit(this, "Text8");
    m_text8->setReadOnly(true);
    static const char *sizeNames[] = {"Textsize1", "Textsize2", "Textsize3"};
    for (int i = 0; i < 3; ++i)
        m_size[i] = lineEdit(this, sizeNames[i]);
    m_picture = new BarcodePictureView(this);
    m_picture->setObjectName(QStringLiteral("Picture2"));

    // The holders keep values for the run; the operator sees the record.
    for (QWidget *w : {static_cast<QWidget *>(m_printerType), static_cast<QWidget *>(m_db),
                       static_cast<QWidget *>(m_table), static_cast<QWidget *>(m_paper),
                       static_cast<QWidget *>(m_size[0]), static_cast<QWidget *>(m_size[1]),
                       static_cast<QWidget *>(m_size[2]), static_cast<QWidget *>(m_text[4])})
        w->hide();

    auto *record = new QGridLayout;
    const QString captions[] = {QStringLiteral("JAN"), QStringLiteral("表示1"), QStringLiteral("表示2"),
                                QStringLiteral("価格")};
    for (int i = 0; i < 4; ++i) {
        record->addWidget(new QLabel(captions[i], this), i, 0);
        record->addWidget(m_text[i], i, 1);
    }
    record->addWidget(new QLabel(QStringLiteral("数字"), this), 4, 0);
    record->addWidget(m_text8, 4, 1);
    auto *pictures = new QVBoxLayout;
    pictures->addWidget(m_preview, 1);
    pictures->addWidget(m_picture, 1);
    auto *middle = new QHBoxLayout;
    middle->addLayout(record, 3);
    middle->addLayout(pictures, 2);
    auto *counter = new QHBoxLayout;
    counter->addWidget(m_status, 1);
    counter->addWidget(new QLabel(QStringLiteral("残り"), this));
    counter->addWidget(m_remaining);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_start, 1);
    buttons->addWidget(m_close);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(gridBesideLabelPreview(), 1);
    layout->addLayout(middle);
    layout->addLayout(counter);
    layout->addLayout(buttons);

    // Room for the product names, the label as printed and the sheet.
    sizeToDesktop(this, kPrintScreenSize);
    move(twips(10), twips(10));
    m_status->clear();
    m_capCounter = printing::kLabelsPerOpening;
    connect(m_start, &QPushButton::clicked, this, &ContinuousPrintScreen::startRun);
    try {
        loadAdjustments();
    } catch (const Failure &f) {
        // The screen stays open; a run tries the adjustments again and
        // reports them if they still cannot be read.
        reportOpeningError(f);
        return;
    }
    loadDataSource();
}

void ContinuousPrintScreen::loadAdjustments()
{
    printing::loadAdjustmentsIntoLabelFields();
    const label::LabelFields &f = label::sharedLabelFields();
    m_size[0]->setText(f.adjustX);
    m_size[1]->setText(f.adjustY);
    m_size[2]->setText(f.adjustS);
    m_adjustmentsLoaded = true;
}

void ContinuousPrintScreen::showRecord(const label::LabelFields &f, int remaining)
{
    m_text[0]->setText(f.barcodeValue);
    m_text[1]->setText(f.secondText);
    m_text[2]->setText(f.thirdText);
    m_text[3]->setText(f.price);
    m_text[4]->setText(label::janBarcodeText(f.barcodeValue));
    m_text8->setText(f.digitsSource);
    m_picture->setPicture(f.barcode);
    m_preview->setParameters(label::BarcodeParameters::forRecords());
    m_remaining->setText(QString::number(remaining));
}

void ContinuousPrintScreen::showLabelsLeft()
{
    // What this opening of the screen may still print, however the run ended.
    m_remaining->setText(QString::number(qMax(0, m_capCounter)));
}

void ContinuousPrintScreen::startRun()
{
    guardedRun([this] {
        if (!gridShowsTheDataFile())
            return;
        if (!m_adjustmentsLoaded)
            loadAdjustments();
        m_remaining->setText(QString::number(m_capCounter));
        printing::RunHooks hooks = commonHooks();
        hooks.paper = [this](const QString &p) { m_paper->setText(p); };
        hooks.dataSource = [this](const QString &db1, const QString &db2) { showDataSource(db1, db2); };
        // Every record of a continuous run is printed: the counter shows
        // what is left before each.
        auto prepared = std::make_shared<int>(0);
        hooks.recordPrepared = [this, prepared, start = m_capCounter](int, const label::LabelFields &f) {
            showRecord(f, start - (*prepared)++);
        };
        beginPrintRun(
            hooks,
            [](printing::RunServices &s, int &cap, int &remaining) { return printing::runContinuous(s, cap, remaining); },
            [this](const printing::RunResult &r) { reportEnd(r); });
    });
}

} // namespace zl::ui
