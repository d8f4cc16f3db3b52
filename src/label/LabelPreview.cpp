#include "label/LabelPreview.h"

#include "common/Failure.h"
#include "common/Length.h"
#include "datasource/DataSource.h"
#include "printer/PagePlayback.h"
#include "label/Adjustments.h"
#include "label/LabelRenderer.h"
#include "label/PageCanvas.h"
#include "settings/StoredSettings.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace zl::label {

namespace {

// Records the pages, and where every text went so that texts past the
// paper's edge can be named.
class PreviewCanvas : public PictureCanvas {
public:
    PreviewCanvas(const printer::PageGeometry &geometry, const LabelFit &fit, LabelPreview &out)
        : PictureCanvas(geometry, fit, [&out](const QList<QPicture> &pages) { out.pages = pages; }), m_out(out),
          m_geometry(geometry), m_fit(fit)
    {
    }
    void printText(const QString &text) override
    {
        if (!text.isEmpty()) {
            const QPointF at(currentX(), currentY());
            m_out.texts.append({m_page, QRectF(at, QSizeF(textWidth(text), textHeight(text))), text,
                                textInk(text).translated(at)});
        }
        PictureCanvas::printText(text);
    }
    void drawLine(double x1, double y1, double x2, double y2) override
    {
        const int dpi = m_geometry.deviceDpi();
        m_out.lines.append(
            {m_page, m_fit.withinLabel(QLineF(x1, y1, x2, y2)), lineWidth() * Length::kMmPerInch / dpi});
        PictureCanvas::drawLine(x1, y1, x2, y2);
    }
    void drawPicture(const BarcodePicture &picture, double x, double y, double width) override
    {
        if (!picture.isNull()) {
            m_out.barcodeBox = QRectF(x, y, width, picture.heightForWidth(width));
            m_out.barcodePage = m_page;
        }
        PictureCanvas::drawPicture(picture, x, y, width);
    }
    void newPage() override
    {
        ++m_page;
        PictureCanvas::newPage();
    }

private:
    LabelPreview &m_out;
    printer::PageGeometry m_geometry;
    LabelFit m_fit;
    int m_page = 0;
};

// Where every text went and how many pages the label took; nothing drawn.
class FindingsCanvas : public MeasuringCanvas {
public:
    FindingsCanvas(const LabelFit &fit, LabelPreview &out) : MeasuringCanvas(layoutPrintable(fit)), m_out(out) {}
    void printText(const QString &text) override
    {
        if (!text.isEmpty())
            m_out.texts.append({m_page, QRectF(currentX(), currentY(), textWidth(text), textHeight(text)), text});
        advancePast(text);
    }
    void drawLine(double, double, double, double) override {}
    void drawPicture(const BarcodePicture &picture, double x, double y, double width) override
    {
        if (!picture.isNull())
            m_out.barcodeBox = QRectF(x, y, width, picture.heightForWidth(width));
    }
    void newPage() override { ++m_page; }
    void endDocument() override { m_out.pages = QList<QPicture>(m_page + 1); }
    void abortDocument() override { m_out.pages.clear(); }

private:
    LabelPreview &m_out;
    int m_page = 0;
};

constexpr double kEdgeSlackMm = 0.05; // a text that ends on the edge is on the paper

// Ink that meets over less than this (a dot at 300 dpi) is a hairline no
// reader notices.
constexpr double kOverlapSlackMm = 0.1;

bool overlap(const QRectF &a, const QRectF &b)
{
    const QRectF both = a.intersected(b);
    return both.width() > kOverlapSlackMm && both.height() > kOverlapSlackMm;
}

QRectF lineBox(const PreviewLine &line)
{
    const double half = line.widthMm / 2;
    return QRectF(line.mm.p1(), line.mm.p2()).normalized().adjusted(-half, -half, half, half);
}

// The renderer drew in the layout's millimetres; the findings are read on
// the page.
void putOnPage(LabelPreview &out)
{
    if (out.fit.asDrawn())
        return;
    const QTransform t = out.fit.toPage();
    for (PreviewText &text : out.texts) {
        text.mm = t.mapRect(text.mm);
        text.ink = t.mapRect(text.ink);
    }
    for (PreviewLine &line : out.lines)
        line.mm = t.map(line.mm);
    if (!out.barcodeBox.isEmpty())
        out.barcodeBox = t.mapRect(out.barcodeBox);
}

QString mmText(double mm)
{
    return QString::number(mm, 'f', 1);
}

// The narrowest roll, in whole millimetres, that takes the layout at
// `scale` or larger: across the roll turned while the roll is narrow, as
// fitLabel lays it, with the driver's margins beside it.
int rollWidthForScale(const printer::PageGeometry &roll, double scale)
{
    const double turnedWidth = printer::kLayoutHeightMm * scale;
    const double printable = turnedWidth < kTurnOnRollBelow * printer::kLayoutWidthMm
        ? turnedWidth
        : std::max(printer::kLayoutWidthMm * scale, kTurnOnRollBelow * printer::kLayoutWidthMm);
    const double margins = std::max(0.0, roll.paperMm.width() - roll.printableMm.width());
    return int(std::ceil(printable + margins - 1e-9));
}

} // namespace

QString barcodeProblem(const printer::PageGeometry &geometry, const QRectF &box, bool turned, double modules)
{
    if (box.isEmpty() || modules <= 0)
        return {};
    const int dpi = geometry.deviceDpi();
    const double dot = Length::mmPerDot(dpi);
    const double width = turned ? box.height() : box.width();
    const int moduleDots = int(std::floor(width / dot / modules + 1e-9));
    // The symbol is centred in its box, its light margins inside.
    const double symbol = std::min(width, std::max(moduleDots, 1) * modules * dot);
    QRectF drawn = box;
    if (turned) {
        drawn.setTop(box.center().y() - symbol / 2);
        drawn.setHeight(symbol);
    } else {
        drawn.setLeft(box.center().x() - symbol / 2);
        drawn.setWidth(symbol);
    }
    const QSizeF area = geometry.printableMm.size();
    const QRectF onLabel = QRectF(QPointF(0, 0), area).adjusted(-kEdgeSlackMm, -kEdgeSlackMm, kEdgeSlackMm, kEdgeSlackMm);
    if (!onLabel.contains(drawn))
        return QStringLiteral("バーコードが左右の余白を含めてラベルの印刷できる範囲（%1 x %2 mm）に収まらず、"
                              "読み取れないおそれがあります。印刷位置調整を見直すか、大きいラベルを選んでください。")
            .arg(mmText(area.width()), mmText(area.height()));
    const double moduleMm = moduleDots * dot;
    if (moduleDots < kMinModuleDots || moduleMm < kMinModuleMm - 1e-9) {
        const int neededDots = std::max(kMinModuleDots, int(std::ceil(kMinModuleMm / dot - 1e-9)));
        const double grow = neededDots * dot * modules / width;
        // The bars are never narrower than a dot: that is what prints.
        const QString problem = QStringLiteral("バーコードの細いバーが%1 mm（%2 dpiのプリンターで%3ドット）と細くなりすぎ、"
                                               "読み取れないおそれがあります。")
                                    .arg(QString::number(width / modules, 'f', 2))
                                    .arg(dpi)
                                    .arg(std::max(moduleDots, 1));
        // A roll's label is as long as the layout needs: only a wider roll
        // makes its bars wider.
        if (geometry.roll)
            return problem
                + QStringLiteral("幅%1 mm以上のロールか、解像度の高いプリンターを選んでください。")
                      .arg(rollWidthForScale(geometry, width / kBarcodeWidthMm * grow));
        return problem
            + QStringLiteral("%1 x %2 mm以上のラベルか、解像度の高いプリンターを選んでください。")
                  .arg(std::ceil(area.width() * grow))
                  .arg(std::ceil(area.height() * grow));
    }
    return {};
}

QStringList LabelPreview::warnings() const
{
    QStringList list;
    if (!failure.isEmpty())
        return {failure};
    if (!barcodeProblem.isEmpty())
        list << barcodeProblem;
    if (!withoutBarcode.isEmpty())
        list << QStringLiteral("バーコードなし: %1").arg(withoutBarcode);
    const QRectF paper(QPointF(0, 0), geometry.printableMm.size());
    for (const PreviewText &t : texts) {
        if (t.mm.right() > paper.right() + kEdgeSlackMm)
            list << QStringLiteral("「%1」が用紙の右端からはみ出します。").arg(t.text);
        else if (t.mm.bottom() > paper.bottom() + kEdgeSlackMm)
            list << QStringLiteral("「%1」が用紙の下端からはみ出します。").arg(t.text);
        else if (t.mm.left() < -kEdgeSlackMm || t.mm.top() < -kEdgeSlackMm)
            list << QStringLiteral("「%1」が用紙の端からはみ出します。").arg(t.text);
    }
    // Drawn later covers drawn earlier: both are named, the later first.
    for (qsizetype i = 0; i < texts.size(); ++i) {
        const PreviewText &t = texts.at(i);
        for (qsizetype j = i + 1; j < texts.size(); ++j) {
            const PreviewText &u = texts.at(j);
            if (u.page == t.page && overlap(t.ink, u.ink))
                list << QStringLiteral("「%1」が「%2」に重なります。").arg(u.text, t.text);
        }
        if (t.page == barcodePage && overlap(t.ink, barcodeBox))
            list << QStringLiteral("「%1」がバーコードに重なり、読み取れなくなるおそれがあります。").arg(t.text);
    }
    if (pages.size() > 1)
        list << QStringLiteral("このラベルは%1ページになり、用紙を%1枚使います。").arg(pages.size());
    return list;
}

LabelPreview previewLabel(const LabelFields &fields, const printer::PageGeometry &geometry,
                          const Titles &titles, const QString &withoutBarcode, bool findingsOnly,
                          printer::LabelScale scale)
{
    LabelPreview out;
    out.geometry = geometry;
    out.fit = fitLabel(geometry, scale);
    out.withoutBarcode = withoutBarcode;
    const LabelFields &f = fields;
    try {
        out.barcodeMm = QPointF(1 + adjustmentValue(f.adjustX, QString()), 14 + adjustmentValue(f.adjustY, QString()));
        if (findingsOnly) {
            FindingsCanvas canvas(out.fit, out);
            printLabel(canvas, f, titles);
        } else {
            PreviewCanvas canvas(geometry, out.fit, out);
            printLabel(canvas, f, titles);
        }
        putOnPage(out);
        if (!f.barcode.isNull())
            out.barcodeProblem = barcodeProblem(geometry, out.barcodeBox, out.fit.turned, f.barcode.modules());
    } catch (const Failure &failure) {
        out.pages.clear();
        out.texts.clear();
        out.failure = failure.description();
    }
    return out;
}

QImage previewImage(const LabelPreview &preview, double pxPerMm, double marginMm)
{
    const QSizeF paper = preview.geometry.paperMm;
    const int sheets = std::max<int>(1, int(preview.pages.size()));
    const QSizeF totalMm(sheets * paper.width() + (sheets + 1) * marginMm, paper.height() + 2 * marginMm);
    const QSize size(int(std::ceil(totalMm.width() * pxPerMm)), int(std::ceil(totalMm.height() * pxPerMm)));
    auto sheetAt = [&](int i) {
        return QRectF(marginMm + i * (paper.width() + marginMm), marginMm, paper.width(), paper.height());
    };

    // Everything the renderer drew, unclipped, on its own layer.
    QImage ink(size, QImage::Format_ARGB32_Premultiplied);
    ink.fill(Qt::transparent);
    {
        QPainter p(&ink);
        p.setRenderHint(QPainter::Antialiasing);
        for (int i = 0; i < int(preview.pages.size()); ++i)
            printer::playPage(p, preview.pages.at(i), sheetAt(i).topLeft() + preview.geometry.printableMm.topLeft(),
                              pxPerMm);
    }
    QPainterPath onPaper;
    for (int i = 0; i < sheets; ++i) {
        const QRectF r = sheetAt(i);
        onPaper.addRect(QRectF(r.topLeft() * pxPerMm, r.size() * pxPerMm));
    }
    QPainterPath everything;
    everything.addRect(QRectF(QPointF(0, 0), QSizeF(size)));
    QPainterPath rules;
    for (const PreviewLine &line : preview.lines) {
        if (line.page >= sheets)
            continue;
        // The layout runs its rule past the label's edge (to the right, or
        // down a turned label) on purpose.
        const QPointF origin = sheetAt(line.page).topLeft() + preview.geometry.printableMm.topLeft();
        QRectF box = lineBox(line).translated(origin);
        if (preview.fit.turned)
            box.setTop(std::max(box.top(), sheetAt(line.page).bottom()));
        else
            box.setLeft(std::max(box.left(), sheetAt(line.page).right()));
        if (box.width() <= 0 || box.height() <= 0)
            continue;
        // A pixel more, so antialiased edges do not show red either.
        rules.addRect(QRectF(box.topLeft() * pxPerMm, box.size() * pxPerMm).adjusted(-1, -1, 1, 1));
    }

    QImage off = ink;
    {
        QPainter p(&off);
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(off.rect(), QColor(220, 0, 0));
    }

    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(200, 200, 200));
    QPainter p(&image);
    p.fillPath(onPaper, Qt::white);
    p.save();
    p.setClipPath(onPaper);
    p.drawImage(0, 0, ink);
    p.setClipPath(everything.subtracted(onPaper).subtracted(rules));
    p.drawImage(0, 0, off);
    p.restore();
    p.setPen(QPen(QColor(0, 90, 200), 1));
    for (int i = 0; i < sheets; ++i) {
        const QRectF r = sheetAt(i);
        p.drawRect(QRectF(r.topLeft() * pxPerMm, r.size() * pxPerMm).adjusted(-0.5, -0.5, 0.5, 0.5));
    }
    if (!preview.withoutBarcode.isEmpty() && preview.failure.isEmpty()) {
        const QRectF onPage = preview.fit.toPage().mapRect(QRectF(preview.barcodeMm, QSizeF(32, 6)));
        const QPointF at = (sheetAt(0).topLeft() + preview.geometry.printableMm.topLeft() + onPage.topLeft()) * pxPerMm;
        QFont font(QStringLiteral("IPAPGothic"));
        font.setPixelSize(std::max(8, int(std::lround(3 * preview.fit.scale * pxPerMm))));
        font.setBold(true);
        p.setFont(font);
        p.setPen(QColor(220, 0, 0));
        const QRectF box(at, onPage.size() * pxPerMm);
        p.drawRect(box);
        p.drawText(box, Qt::AlignCenter, QStringLiteral("バーコードなし"));
    }
    return image;
}

LabelFields firstRecordFields(QString *withoutBarcode)
{
    const settings::StoredDataSource ds = settings::readDataSource();
    const datasource::DataSource source = datasource::DataSource::open(ds.folder, ds.file);
    if (source.recordCount() == 0)
        throw Failure(QStringLiteral("データファイル %1 にレコードがありません。").arg(ds.file));
    return recordFields(source.fields(0, 4), withoutBarcode);
}

LabelFields recordFields(const QStringList &columns, QString *withoutBarcode)
{
    LabelFields f;
    const QString reason = f.setRecord(columns);
    if (withoutBarcode)
        *withoutBarcode = reason;
    const settings::StoredAdjustments adj = settings::readAdjustments();
    f.adjustX = adj.x;
    f.adjustY = adj.y;
    f.adjustS = adj.s;
    return f;
}

} // namespace zl::label
