#include "printing/ui/PartialPrintScreen.h"

#include "ui/ScreenPlacement.h"
#include "ui/ScreenRegistry.h"
#include "ui/Widgets.h"
#include "label/Barcode.h"
#include "label/LabelFields.h"
#include "label/ui/BarcodePreview.h"
#include "printing/ui/SheetBox.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace zl::ui {

PartialPrintScreen::PartialPrintScreen(QWidget *parent) : PrintScreenBase(parent)
{
    setWindowTitle(QStringLiteral("Zenlabo　for CSV 部分印刷"));
    m_start->setText(QStringLiteral("印刷実行開始"));
    m_close->setText(QStringLiteral("閉じる"));
    m_from = lineEdit(this, "TextPP1");
    m_to = lineEdit(this, "TextPP2");
    m_spec = lineEdit(this, "Text5");
    for (QLineEdit *bound : {m_from, m_to}) {
        bound->setFixedWidth(52); // six digits; the screen stays 500 px wide
        bound->setAlignment(Qt::AlignRight);
    }
    for (QWidget *w : {static_cast<QWidget *>(m_printerType), static_cast<QWidget *>(m_db),
                       static_cast<QWidget *>(m_table), static_cast<QWidget *>(m_spec)})
        w->hide();
    m_spec->setText(label::previewBarcodeText());

    auto *range = new QHBoxLayout;
    range->addWidget(label(this, "Label3", QStringLiteral("※印刷行を指定してください。")));
    range->addWidget(m_from);
    range->addWidget(new QLabel(QStringLiteral("行から"), this));
    range->addWidget(m_to);
    range->addWidget(new QLabel(QStringLiteral("行まで"), this));
    range->addStretch(1);
    auto *bottom = new QHBoxLayout;
    auto *left = new QVBoxLayout;
    left->addLayout(range);
    left->addWidget(m_status);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_start, 1);
    buttons->addWidget(m_close);
    left->addLayout(buttons);
    bottom->addLayout(left, 3);
    bottom->addWidget(m_preview, 2);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(gridBesideLabelPreview(), 1);
    layout->addLayout(bottom);

    // Room for the product names, the label as printed and the sheet.
    sizeToDesktop(this, kPrintScreenSize);
    move(twips(10), twips(10));
    m_status->clear();
    m_capCounter = printing::kLabelsPerOpening;
    loadDataSource();
    connect(m_start, &QPushButton::clicked, this, &PartialPrintScreen::startRun);
    connect(m_from, &QLineEdit::editingFinished, m_sheetBox, &SheetBox::refresh);
}

int PartialPrintScreen::firstRunRow() const
{
    bool ok = false;
    const int from = m_from->text().trimmed().toInt(&ok);
    return ok && from > 1 ? from - 1 : 0;
}

void PartialPrintScreen::startRun()
{
    guardedRun([this] {
        if (!gridShowsTheDataFile())
            return;
        // The continuous screen, when open, holds the adjustments it loaded;
        // otherwise they are read as it would read them.
        if (!ScreenRegistry::instance().find(QStringLiteral("F_CustInput")))
            printing::loadAdjustmentsIntoLabelFields();
        printing::RunHooks hooks = commonHooks();
        hooks.recordPrepared = [this](int, const label::LabelFields &) {
            m_preview->setParameters(label::BarcodeParameters::forRecords());
        };
        const QString from = m_from->text(), to = m_to->text();
        beginPrintRun(
            hooks,
            [from, to](printing::RunServices &s, int &cap, int &remaining) {
                return printing::runPartial(s, cap, remaining, from, to);
            },
            [this](const printing::RunResult &r) { reportEnd(r, true); });
    });
}

} // namespace zl::ui
