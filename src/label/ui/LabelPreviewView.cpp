#include "label/ui/LabelPreviewView.h"

#include "ui/ScreenPlacement.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

namespace zl::ui {

namespace {
constexpr int kNoteLines = 3;
}

LabelPreviewView::LabelPreviewView(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("LabelPreview"));
    setMinimumSize(160, 120);
    setToolTip(QStringLiteral("ダブルクリックで大きく表示します"));
    m_geometry = {QSizeF(50, 30), QRectF(0, 0, 50, 30), 300};
}

void LabelPreviewView::setPaper(const printer::PageGeometry &geometry, printer::LabelScale scale)
{
    if (geometry.paperMm.isEmpty())
        return;
    m_geometry = geometry;
    m_scale = scale;
}

void LabelPreviewView::showLabel(const label::LabelFields &fields, const QString &withoutBarcode)
{
    m_fields = fields;
    m_withoutBarcode = withoutBarcode;
    m_preview = label::previewLabel(fields, m_geometry, m_titles, withoutBarcode, false, m_scale);
    m_notes = m_preview.warnings();
    m_hasLabel = true;
    updateTip();
    render();
    update();
}

void LabelPreviewView::showProblem(const QString &text)
{
    m_preview = label::LabelPreview{};
    m_preview.geometry = m_geometry;
    m_notes = QStringList{text};
    m_hasLabel = false;
    updateTip();
    render();
    update();
}

void LabelPreviewView::updateTip()
{
    const QString notes = m_notes.join(QLatin1Char('\n'));
    if (isWindow())
        setToolTip(notes);
    else
        setToolTip(notes.isEmpty() ? QStringLiteral("ダブルクリックで大きく表示します")
                                   : notes + QStringLiteral("\n\nダブルクリックで大きく表示します"));
}

QString LabelPreviewView::notesText() const
{
    if (!m_notes.isEmpty())
        return m_notes.join(QLatin1Char('\n'));
    return QStringLiteral("印刷されるラベル(用紙 %1 × %2 mm)")
        .arg(m_geometry.paperMm.width(), 0, 'f', 1)
        .arg(m_geometry.paperMm.height(), 0, 'f', 1);
}

QRect LabelPreviewView::pictureArea() const
{
    // The notes get the lines they wrap to, the picture what is left, but
    // never less than half: a long list is read whole in the tooltip.
    const QRect inner = rect().adjusted(2, 2, -2, -2);
    const int wrapped = fontMetrics()
                            .boundingRect(QRect(0, 0, std::max(1, inner.width()), 1 << 20),
                                          Qt::AlignLeft | Qt::TextWordWrap, notesText())
                            .height();
    const int notes = std::min(std::max(wrapped, fontMetrics().lineSpacing() * kNoteLines), inner.height() / 2) + 4;
    return inner.adjusted(0, 0, 0, -notes);
}

void LabelPreviewView::render()
{
    const QRect area = pictureArea();
    const QSizeF paper = m_geometry.paperMm;
    const int sheets = std::max<int>(1, int(m_preview.pages.size()));
    const double wideMm = sheets * paper.width() + (sheets + 1) * kMarginMm;
    const double highMm = paper.height() + 2 * kMarginMm;
    const qreal ratio = devicePixelRatioF();
    m_pxPerMm = std::max(0.5, std::min(area.width() / wideMm, area.height() / highMm)) * ratio;
    m_image = label::previewImage(m_preview, m_pxPerMm, kMarginMm);
    m_image.setDevicePixelRatio(ratio);
}

LabelPreviewView *LabelPreviewView::openLargeWindow()
{
    if (!m_hasLabel)
        return nullptr;
    auto *large = new LabelPreviewView(window());
    large->setObjectName(QStringLiteral("LabelPreviewWindow"));
    large->setWindowFlag(Qt::Window);
    large->setAttribute(Qt::WA_DeleteOnClose);
    large->setWindowTitle(QStringLiteral("印刷されるラベル"));
    large->setPaper(m_geometry, m_scale);
    large->setTitles(m_titles);
    large->resize(720, 520);
    large->showLabel(m_fields, m_withoutBarcode);
    installScreenKeys(large);
    placeScreen(large, window(), {window()});
    large->show();
    return large;
}

void LabelPreviewView::mouseDoubleClickEvent(QMouseEvent *)
{
    if (!isWindow())
        openLargeWindow();
}

void LabelPreviewView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    render();
}

void LabelPreviewView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    const QRect area = pictureArea();
    const QSizeF shown = m_image.deviceIndependentSize();
    const QPointF at(area.left() + (area.width() - shown.width()) / 2, area.top() + (area.height() - shown.height()) / 2);
    p.drawImage(at, m_image);
    QRect notes(area.left(), area.bottom() + 4, area.width(), height() - area.bottom() - 4);
    p.setPen(m_notes.isEmpty() || !m_hasLabel ? palette().color(QPalette::WindowText) : QColor(200, 0, 0));
    p.drawText(notes, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, notesText());
}

} // namespace zl::ui
