#pragma once
#include "label/LabelPreview.h"

#include <QWidget>

namespace zl::ui {

// Shows a whole label as it will print, at the scale the widget has room
// for, with what the operator should know about it written underneath.
class LabelPreviewView : public QWidget {
    Q_OBJECT
public:
    explicit LabelPreviewView(QWidget *parent = nullptr);

    // The paper, the layout's scale on it, and the titles every following
    // label is drawn with.
    void setPaper(const printer::PageGeometry &geometry, printer::LabelScale scale = printer::LabelScale::Fit);
    void setTitles(const label::Titles &titles) { m_titles = titles; }
    const printer::PageGeometry &paper() const { return m_geometry; }

    // Draws the label of `fields` (withoutBarcode: why it has no barcode).
    void showLabel(const label::LabelFields &fields, const QString &withoutBarcode = QString());
    // No label to show, and why.
    void showProblem(const QString &text);

    const label::LabelPreview &preview() const { return m_preview; }
    // The picture as shown, and its scale and margin.
    const QImage &image() const { return m_image; }
    double pxPerMm() const { return m_pxPerMm; }
    static constexpr double kMarginMm = 6;

    QSize sizeHint() const override { return {320, 240}; }

    // The same label in a window of its own, as large as the operator makes
    // it (a double click on the preview opens it).
    LabelPreviewView *openLargeWindow();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void render();
    QRect pictureArea() const;
    QString notesText() const;
    // The notes whole in the tooltip, however few lines show under the picture.
    void updateTip();

    printer::PageGeometry m_geometry;
    printer::LabelScale m_scale = printer::LabelScale::Fit;
    label::Titles m_titles;
    label::LabelPreview m_preview;
    label::LabelFields m_fields;
    QString m_withoutBarcode;
    QStringList m_notes;
    QImage m_image;
    double m_pxPerMm = 4;
    bool m_hasLabel = false;
};

} // namespace zl::ui
