#pragma once
// A canvas that draws nothing and logs every operation with its arguments,
// measuring texts as the painting canvases do.
#include "label/PageCanvas.h"

#include <QList>
#include <QString>

namespace zl::label {

struct CanvasCall {
    QString op;   // the operation: "scale", "fontName", "fontSize", "bold", "italic", "x", "y",
                  // "print", "lineWidth", "line", "picture", "newPage", "end", "abort"
    QString text; // printed text, font name, or the picture's digits
    double x = 0, y = 0;   // position of a print, picture or line start; the value of a setter
    double x2 = 0, y2 = 0; // line end
    double width = 0;      // picture width
    // The font and line state when the call was made.
    QString fontName;
    double fontSize = 0;
    bool bold = false;
    bool italic = false;
    int lineWidth = 0;
};

class RecordingCanvas : public MeasuringCanvas {
public:
    explicit RecordingCanvas(QSizeF printableMm = QSizeF(50, 30));

    void setScaleMillimetres() override;
    void setFontName(const QString &name) override;
    void setFontSize(double points) override;
    void setFontBold(bool bold) override;
    void setFontItalic(bool italic) override;
    void setCurrentX(double mm) override;
    void setCurrentY(double mm) override;
    void printText(const QString &text) override;
    void setLineWidth(int devicePixels) override;
    void drawLine(double x1, double y1, double x2, double y2) override;
    void drawPicture(const BarcodePicture &picture, double x, double y, double width) override;
    void newPage() override;
    void endDocument() override;
    void abortDocument() override;

    const QList<CanvasCall> &calls() const { return m_calls; }
    // Only the calls of one operation, in order.
    QList<CanvasCall> calls(const QString &op) const;

private:
    CanvasCall &log(const QString &op);
    QList<CanvasCall> m_calls;
};

} // namespace zl::label
