#include "label/RecordingCanvas.h"

#include "label/Barcode.h"

namespace zl::label {

RecordingCanvas::RecordingCanvas(QSizeF printableMm) : MeasuringCanvas(printableMm) {}

CanvasCall &RecordingCanvas::log(const QString &op)
{
    CanvasCall c;
    c.op = op;
    c.fontName = fontName();
    c.fontSize = fontSize();
    c.bold = fontBold();
    c.italic = fontItalic();
    c.lineWidth = lineWidth();
    m_calls.append(c);
    return m_calls.last();
}

QList<CanvasCall> RecordingCanvas::calls(const QString &op) const
{
    QList<CanvasCall> out;
    for (const CanvasCall &c : m_calls)
        if (c.op == op)
            out.append(c);
    return out;
}

void RecordingCanvas::setScaleMillimetres()
{
    log(QStringLiteral("scale"));
}

void RecordingCanvas::setFontName(const QString &name)
{
    MeasuringCanvas::setFontName(name);
    log(QStringLiteral("fontName")).text = name;
}

void RecordingCanvas::setFontSize(double points)
{
    MeasuringCanvas::setFontSize(points);
    log(QStringLiteral("fontSize")).x = points;
}

void RecordingCanvas::setFontBold(bool bold)
{
    MeasuringCanvas::setFontBold(bold);
    log(QStringLiteral("bold")).x = bold;
}

void RecordingCanvas::setFontItalic(bool italic)
{
    MeasuringCanvas::setFontItalic(italic);
    log(QStringLiteral("italic")).x = italic;
}

void RecordingCanvas::setCurrentX(double mm)
{
    MeasuringCanvas::setCurrentX(mm);
    log(QStringLiteral("x")).x = mm;
}

void RecordingCanvas::setCurrentY(double mm)
{
    MeasuringCanvas::setCurrentY(mm);
    log(QStringLiteral("y")).y = mm;
}

void RecordingCanvas::printText(const QString &text)
{
    CanvasCall &c = log(QStringLiteral("print"));
    c.text = text;
    c.x = currentX();
    c.y = currentY();
    advancePast(text);
}

void RecordingCanvas::setLineWidth(int devicePixels)
{
    MeasuringCanvas::setLineWidth(devicePixels);
    log(QStringLiteral("lineWidth")).x = devicePixels;
}

void RecordingCanvas::drawLine(double x1, double y1, double x2, double y2)
{
    CanvasCall &c = log(QStringLiteral("line"));
    c.x = x1;
    c.y = y1;
    c.x2 = x2;
    c.y2 = y2;
}

void RecordingCanvas::drawPicture(const BarcodePicture &picture, double x, double y, double width)
{
    CanvasCall &c = log(QStringLiteral("picture"));
    c.text = picture.digits();
    c.x = x;
    c.y = y;
    c.width = width;
}

void RecordingCanvas::newPage()
{
    log(QStringLiteral("newPage"));
}

void RecordingCanvas::endDocument()
{
    log(QStringLiteral("end"));
}

void RecordingCanvas::abortDocument()
{
    log(QStringLiteral("abort"));
}

} // namespace zl::label
