#pragma once
// The label sheet on the print screens: which sheet the next run prints on,
// a picture of it with the positions already used greyed and the run's
// first labels in place, and a click on a position to make it the first
// free one. Hidden while the runs print one label a page.
#include "sheets/SheetTemplates.h"
#include "label/LabelFields.h"

#include <QPicture>
#include <QWidget>
#include <functional>
#include <optional>

class QLabel;

namespace zl::ui {

// The picture of the sheet (PictureSheet).
class SheetView : public QWidget {
    Q_OBJECT
public:
    explicit SheetView(QWidget *parent);
    void setSheet(const printer::SheetTemplate *sheet, int start);
    // The first page of each of the run's first labels, in millimetres from
    // the label's corner, for the positions from the start on.
    void setLabels(const QList<QPicture> &labels);
    // Where a position is drawn, in the widget's pixels.
    QRectF positionArea(int n) const;

signals:
    void positionClicked(int n);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    double pxPerMm() const;
    const printer::SheetTemplate *m_sheet = nullptr;
    int m_start = 1;
    QList<QPicture> m_labels;
};

class SheetBox : public QWidget {
    Q_OBJECT
public:
    // The label fields of the i-th label the next run prints (0 first), or
    // nothing past the last.
    using LabelSource = std::function<std::optional<label::LabelFields>(int i)>;
    SheetBox(QWidget *parent, LabelSource labels);
    // Reads the stored sheet again and redraws.
    void refresh();
    SheetView *view() const { return m_view; }

private:
    void choosePosition(int n);

    LabelSource m_source;
    QLabel *m_caption = nullptr; // LabelSheet
    QLabel *m_problem = nullptr;
    SheetView *m_view = nullptr;
};

} // namespace zl::ui
