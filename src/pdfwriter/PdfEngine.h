#pragma once
// The paint engine a page is drawn with: what the painter draws becomes the
// page's content stream, setting only what changed. Its work is in three
// files: shapes, images and clips (PdfEngine.cpp), text (PdfText.cpp), and
// the content stream's own operators (PdfContent.cpp).
#include "pdfwriter/PdfFonts.h"
#include "pdfwriter/PdfOutput.h"

#include <QBrush>
#include <QHash>
#include <QList>
#include <QPaintEngine>
#include <QPainterPath>
#include <QPen>
#include <QTransform>

namespace zl::pdfwriter {

// What the content stream has set, so that nothing is set twice.
struct GraphicsState {
    QRgb fill = qRgb(0, 0, 0);
    QRgb stroke = qRgb(0, 0, 0);
    double lineWidth = 1;
    int cap = 0;
    int join = 0;
    QByteArray dash = "[]0 d";
    int textMode = 0;
    double charSpacing = 0;
    QByteArray font;
};

class PdfEngine : public QPaintEngine {
public:
    PdfEngine(Output &out, Resources &resources);

    QByteArray content;

    bool begin(QPaintDevice *) override;
    bool end() override;
    Type type() const override { return User; }
    void updateState(const QPaintEngineState &state) override;

    void drawRects(const QRectF *rects, int count) override;
    void drawRects(const QRect *rects, int count) override;
    void drawLines(const QLineF *lines, int count) override;
    void drawPolygon(const QPointF *points, int count, PolygonDrawMode mode) override;
    void drawPoints(const QPointF *points, int count) override;
    void drawPath(const QPainterPath &path) override;
    void drawPixmap(const QRectF &r, const QPixmap &pixmap, const QRectF &source) override;
    void drawImage(const QRectF &r, const QImage &image, const QRectF &source, Qt::ImageConversionFlags) override;
    void drawTextItem(const QPointF &p, const QTextItem &item) override;

private:
    // Text (PdfText.cpp).
    bool showUnshaped(const FontUse &use, const QPointF &p, const QTextItem &item, QRgb color);
    void showGlyphs(const FontUse &use, const QList<quint32> &glyphs, const QList<QPointF> &at, const QPointF &origin,
                    const QHash<quint32, QString> &characters, QRgb color, bool unseen);

    // Shapes and clips (PdfEngine.cpp).
    bool fillsRectanglesAlone() const;
    void fillRectangles(const QRectF *rects, int count);
    void paintPath(const QPainterPath &path, bool mayFill, bool mayStroke);
    void fillWith(const QPainterPath &path, QRgb c);
    void flushRects();
    void clip(Qt::ClipOperation op, const QPainterPath &path);
    void applyClip();

    // The content stream's operators (PdfContent.cpp).
    void matrix(const QTransform &m, int decimals = 3);
    void setFill(QRgb c);
    void setStroke(QRgb c);
    void setLineWidth(double w);
    void setJoin(Qt::PenJoinStyle style);
    void setPen(double width);
    double penWidth() const;
    void writeRect(const QRectF &r);
    void writePath(const QPainterPath &path);

    Output &m_out;
    Resources &m_resources;
    GraphicsState m_state;
    GraphicsState m_saved;
    QTransform m_transform;
    QPen m_pen;
    QBrush m_brush;
    QList<QPainterPath> m_clips;
    bool m_clipOn = false;
    bool m_clipDirty = false;
    bool m_inClip = false;
    QList<QRectF> m_rects;
    QRgb m_rectsColor = 0;
};

} // namespace zl::pdfwriter
