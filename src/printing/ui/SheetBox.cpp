#include "printing/ui/SheetBox.h"

#include "common/Failure.h"
#include "layout/Titles.h"
#include "printer/PagePlayback.h"
#include "paper/PaperSelection.h"
#include "sheets/SheetChoice.h"
#include "label/LabelPreview.h"
#include "ui/Dialogs.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace zl::ui {

namespace {
constexpr double kMarginPx = 4;
}

SheetView::SheetView(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("PictureSheet"));
    // A4 upright at half a pixel a millimetre, every position clickable;
    // other papers fit the same box.
    setMinimumSize(113, 157);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
    setToolTip(QStringLiteral("クリックした位置から次の印刷を始めます（灰色は使用済み）"));
}

void SheetView::setSheet(const printer::SheetTemplate *sheet, int start)
{
    m_sheet = sheet;
    m_start = start;
    update();
}

void SheetView::setLabels(const QList<QPicture> &labels)
{
    m_labels = labels;
    update();
}

double SheetView::pxPerMm() const
{
    if (!m_sheet)
        return 1;
    return std::min((width() - 2 * kMarginPx) / m_sheet->paperMm.width(),
                    (height() - 2 * kMarginPx) / m_sheet->paperMm.height());
}

QRectF SheetView::positionArea(int n) const
{
    if (!m_sheet)
        return {};
    const QRectF mm = m_sheet->positionRect(n);
    const double k = pxPerMm();
    return {kMarginPx + mm.left() * k, kMarginPx + mm.top() * k, mm.width() * k, mm.height() * k};
}

void SheetView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    if (!m_sheet)
        return;
    const double k = pxPerMm();
    p.fillRect(QRectF(kMarginPx, kMarginPx, m_sheet->paperMm.width() * k, m_sheet->paperMm.height() * k), Qt::white);
    p.setRenderHint(QPainter::Antialiasing);
    for (int n = 1; n <= m_sheet->positions(); ++n) {
        const QRectF area = positionArea(n);
        if (n < m_start)
            p.fillRect(area, QColor(170, 170, 170));
        const int label = n - m_start;
        if (label >= 0 && label < m_labels.size()) {
            p.save();
            p.setClipRect(area);
            printer::playPage(p, m_labels[label], QPointF(area.left() / k, area.top() / k), k);
            p.restore();
        }
        p.setPen(QPen(n == m_start ? QColor(0, 90, 200) : QColor(120, 120, 120), n == m_start ? 2 : 0.5));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(area, m_sheet->roundMm * k, m_sheet->roundMm * k);
    }
}

void SheetView::mousePressEvent(QMouseEvent *event)
{
    if (!m_sheet)
        return;
    const double k = pxPerMm();
    const QPointF mm = (event->position() - QPointF(kMarginPx, kMarginPx)) / k;
    if (const int n = m_sheet->positionAt(mm))
        emit positionClicked(n);
}

SheetBox::SheetBox(QWidget *parent, LabelSource labels) : QWidget(parent), m_source(std::move(labels))
{
    m_caption = new QLabel(this);
    m_caption->setObjectName(QStringLiteral("LabelSheet"));
    m_caption->setWordWrap(true);
    m_problem = new QLabel(this);
    m_problem->setStyleSheet(QStringLiteral("color: #b00000;"));
    m_problem->setWordWrap(true);
    m_problem->hide();
    m_view = new SheetView(this);
    auto *texts = new QVBoxLayout;
    texts->addWidget(m_caption);
    texts->addWidget(m_problem);
    texts->addStretch(1);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(texts, 1);
    layout->addWidget(m_view);
    connect(m_view, &SheetView::positionClicked, this, &SheetBox::choosePosition);
    refresh();
}

void SheetBox::refresh()
{
    printer::SheetChoice choice;
    try {
        choice = printer::readSheetChoice();
    } catch (const Failure &f) {
        m_caption->clear();
        m_problem->setText(f.description());
        m_problem->show();
        m_view->hide();
        setVisible(true);
        return;
    }
    m_problem->hide();
    const printer::SheetTemplate *sheet = choice.sheet();
    setVisible(sheet != nullptr);
    if (!sheet)
        return;
    m_view->show();
    m_caption->setText(QStringLiteral("シート: %1\n開始位置: %2（%3面中）\n灰色は使用済み。図をクリックで変更。")
                           .arg(sheet->name)
                           .arg(choice.start)
                           .arg(sheet->positions()));
    m_view->setSheet(sheet, choice.start);
    // The run's first labels, drawn by the renderer at the label's size.
    QList<QPicture> labels;
    const printer::PageGeometry geometry{sheet->labelMm, QRectF(QPointF(0, 0), sheet->labelMm), 300};
    layout::Titles titles;
    try {
        titles = layout::currentTitles();
    } catch (const Failure &) {
    }
    for (int i = 0; m_source && i <= sheet->positions() - choice.start; ++i) {
        const std::optional<label::LabelFields> fields = m_source(i);
        if (!fields)
            break;
        const label::LabelPreview preview =
            label::previewLabel(*fields, geometry, titles, QString(), false, printer::labelScaleInForce());
        labels << (preview.pages.isEmpty() ? QPicture() : preview.pages.first());
    }
    m_view->setLabels(labels);
}

void SheetBox::choosePosition(int n)
{
    try {
        printer::SheetChoice choice = printer::readSheetChoice();
        if (!choice.sheet())
            return;
        choice.start = n;
        printer::saveSheetChoice(choice);
    } catch (const Failure &f) {
        showMessage(this, f.description(), QStringLiteral("シートの開始位置"), Critical);
    }
    refresh();
}

} // namespace zl::ui
