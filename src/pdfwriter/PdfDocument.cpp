#include "pdfwriter/PdfDocument.h"

#include "pdfwriter/FontSubset.h"

#include <QDateTime>
#include <QHash>
#include <QIODevice>
#include <QImage>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainterPath>
#include <QPixmap>
#include <QRawFont>
#include <QGlyphRun>
#include <QSet>
#include <QTextItem>
#include <QTextLayout>
#include <charconv>
#include <climits>
#include <cmath>
#include <optional>
#include <utility>
#include <vector>
#include <zlib.h>

namespace zl::pdfwriter {

namespace {

// Numbers as PDF writes them: no exponent, no trailing zeros.
void number(QByteArray &out, double v, int decimals)
{
    static constexpr double kScale[] = {1, 10, 100, 1000, 10000, 100000, 1000000};
    v = std::round(v * kScale[decimals]) / kScale[decimals];
    if (v == 0)
        v = 0; // no "-0"
    char buf[48];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    char *end = r.ptr;
    if (decimals > 0) {
        while (end[-1] == '0')
            --end;
        if (end[-1] == '.')
            --end;
    }
    out.append(buf, end - buf);
    out.append(' ');
}

// Dots carry two decimals: a hundredth of a dot is far below what any
// printer can place.
void dots(QByteArray &out, double v)
{
    number(out, v, 2);
}

// Pages are compressed one after another with one stream kept ready: a
// stream made anew for each (as qCompress does) costs more than a label's
// content takes to compress. A page is a few kilobytes, a sheet some tens,
// so a small window loses next to nothing.
class Deflater {
public:
    explicit Deflater(int windowBits = 13, int memLevel = 6)
    {
        m_ok = deflateInit2(&m_stream, 6, Z_DEFLATED, windowBits, memLevel, Z_DEFAULT_STRATEGY) == Z_OK;
    }
    ~Deflater() { deflateEnd(&m_stream); }
    Deflater(const Deflater &) = delete;
    Deflater &operator=(const Deflater &) = delete;

    QByteArray operator()(const QByteArray &data)
    {
        QByteArray out;
        if (!m_ok || deflateReset(&m_stream) != Z_OK)
            return qCompress(data, 6).mid(4); // qCompress puts the length in front
        out.resize(qsizetype(deflateBound(&m_stream, uLong(data.size()))));
        m_stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
        m_stream.avail_in = uInt(data.size());
        m_stream.next_out = reinterpret_cast<Bytef *>(out.data());
        m_stream.avail_out = uInt(out.size());
        if (deflate(&m_stream, Z_FINISH) != Z_STREAM_END)
            return qCompress(data, 6).mid(4);
        out.resize(qsizetype(m_stream.total_out));
        return out;
    }

private:
    z_stream m_stream{};
    bool m_ok = false;
};

QByteArray deflated(const QByteArray &data)
{
    Deflater whole(15, 8);
    return whole(data);
}

bool axisAligned(const QTransform &m)
{
    return m.type() <= QTransform::TxRotate
        && ((qFuzzyIsNull(m.m12()) && qFuzzyIsNull(m.m21())) || (qFuzzyIsNull(m.m11()) && qFuzzyIsNull(m.m22())));
}

// The stroke a face without a bold weight is widened by to look bold, as a
// share of the em: what FreeType adds when it emboldens a glyph on screen.
constexpr double kBoldStroke = 1.0 / 24;
// The slant given to a face without an italic style.
constexpr double kItalicSlant = 0.2126;

} // namespace

// What a document writes and where each object went.
struct Output {
    QIODevice *device = nullptr;
    qint64 at = 0;
    bool ok = true;
    std::vector<qint64> offsets{0}; // by object number

    int reserve()
    {
        offsets.push_back(-1);
        return int(offsets.size() - 1);
    }
    void write(const QByteArray &bytes)
    {
        if (ok && device->write(bytes) != bytes.size())
            ok = false;
        at += bytes.size();
    }
    void object(int id, const QByteArray &body)
    {
        offsets[size_t(id)] = at;
        write(QByteArray::number(id) + " 0 obj\n" + body + "\nendobj\n");
    }
    void stream(int id, const QByteArray &dictionary, const QByteArray &data)
    {
        object(id, "<</Length " + QByteArray::number(data.size()) + dictionary + ">>\nstream\n" + data + "\nendstream");
    }
};

// A face embedded in the document: one font resource, whatever the sizes,
// weights and slants its texts are drawn at.
struct EmbeddedFace {
    FontSubset subset;
    bool embeddable = false;
    QByteArray resource;   // "/F1"
    QList<QString> unicodes{QString()}; // the text each subset glyph stands for; empty: none known
};

// A font as the painter gives it, and how it is drawn from its face.
struct FontUse {
    EmbeddedFace *face = nullptr; // none: drawn as outlines
    QRawFont raw;
    double pixelSize = 0;
    bool bold = false;   // widened by a stroke
    bool italic = false; // slanted
};

struct Resources {
    std::vector<std::unique_ptr<EmbeddedFace>> faces;
    QHash<QString, EmbeddedFace *> faceByKey;
    // A run draws a handful of fonts over and over: compared as they are,
    // not by the long key QFont makes of itself.
    std::vector<std::pair<QFont, std::unique_ptr<FontUse>>> uses;
    QByteArray images; // "/Im1 7 0 R…"
    int imageCount = 0;

    const FontUse &use(const QFont &font)
    {
        for (const auto &[known, use] : uses)
            if (known == font)
                return *use;
        FontUse use;
        use.raw = QRawFont::fromFont(font);
        if (use.raw.isValid()) {
            use.pixelSize = use.raw.pixelSize();
            const QByteArray head = use.raw.fontTable("head");
            // The same file answers for every size and weight drawn from it.
            const QString faceKey = use.raw.familyName() + QLatin1Char('\n') + QString::fromLatin1(head.toHex());
            EmbeddedFace *&face = faceByKey[faceKey];
            if (!face) {
                faces.push_back(std::make_unique<EmbeddedFace>());
                face = faces.back().get();
                face->embeddable = face->subset.load(use.raw);
                face->resource = "/F" + QByteArray::number(faces.size());
            }
            if (face->embeddable) {
                use.face = face;
                use.bold = font.weight() >= QFont::DemiBold && !face->subset.isBold();
                use.italic = font.style() != QFont::StyleNormal && !face->subset.isItalic();
            }
        }
        uses.emplace_back(font, std::make_unique<FontUse>(use));
        return *uses.back().second;
    }
};

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
    PdfEngine(Output &out, Resources &resources)
        : QPaintEngine(AllFeatures & ~(PorterDuff | PerspectiveTransform | ObjectBoundingModeGradients | ConicalGradientFill)),
          m_out(out), m_resources(resources)
    {
    }

    QByteArray content;

    bool begin(QPaintDevice *) override
    {
        m_state = GraphicsState();
        m_saved = GraphicsState();
        m_transform = QTransform();
        m_pen = QPen();
        m_brush = QBrush();
        m_clips.clear();
        m_clipOn = m_clipDirty = m_inClip = false;
        m_rects.clear();
        return true;
    }

    bool end() override
    {
        flushRects();
        if (m_inClip)
            content += "Q\n";
        m_inClip = false;
        return true;
    }

    Type type() const override { return User; }

    void updateState(const QPaintEngineState &state) override
    {
        const DirtyFlags flags = state.state();
        if (flags & DirtyTransform)
            m_transform = state.transform();
        if (flags & DirtyPen)
            m_pen = state.pen();
        if (flags & DirtyBrush)
            m_brush = state.brush();
        if (flags & DirtyClipPath) {
            clip(state.clipOperation(), m_transform.map(state.clipPath()));
        } else if (flags & DirtyClipRegion) {
            QPainterPath path;
            for (const QRect &r : state.clipRegion())
                path.addRect(r);
            clip(state.clipOperation(), m_transform.map(path));
        } else if (flags & DirtyClipEnabled) {
            flushRects();
            m_clipOn = state.isClipEnabled();
            m_clipDirty = true;
        }
    }

    void drawRects(const QRectF *rects, int count) override
    {
        if (fillsRectanglesAlone()) {
            fillRectangles(rects, count);
            return;
        }
        QPainterPath path;
        for (int i = 0; i < count; ++i)
            path.addRect(rects[i]);
        paintPath(path, true, true);
    }

    void drawRects(const QRect *rects, int count) override
    {
        QList<QRectF> exact;
        exact.reserve(count);
        for (int i = 0; i < count; ++i)
            exact.append(QRectF(rects[i]));
        drawRects(exact.constData(), count);
    }

    void drawLines(const QLineF *lines, int count) override
    {
        QPainterPath path;
        for (int i = 0; i < count; ++i) {
            path.moveTo(lines[i].p1());
            path.lineTo(lines[i].p2());
        }
        paintPath(path, false, true);
    }

    void drawPolygon(const QPointF *points, int count, PolygonDrawMode mode) override
    {
        if (count < 2)
            return;
        QPainterPath path;
        path.setFillRule(mode == OddEvenMode ? Qt::OddEvenFill : Qt::WindingFill);
        path.moveTo(points[0]);
        for (int i = 1; i < count; ++i)
            path.lineTo(points[i]);
        if (mode != PolylineMode)
            path.closeSubpath();
        paintPath(path, mode != PolylineMode, true);
    }

    void drawPoints(const QPointF *points, int count) override
    {
        const double half = std::max(m_pen.widthF(), 1.0) / 2;
        QPainterPath path;
        for (int i = 0; i < count; ++i)
            path.addRect(QRectF(points[i] - QPointF(half, half), QSizeF(2 * half, 2 * half)));
        fillWith(path, m_pen.color().rgb());
    }

    void drawPath(const QPainterPath &path) override
    {
        // A recorded page holds its rectangles as paths, a barcode's bars as
        // one path of rectangles.
        if (fillsRectanglesAlone()) {
            if (const QList<QRectF> rects = rectanglesOf(path); !rects.isEmpty()) {
                fillRectangles(rects.constData(), int(rects.size()));
                return;
            }
        }
        paintPath(path, true, true);
    }

    void drawPixmap(const QRectF &r, const QPixmap &pixmap, const QRectF &source) override
    {
        drawImage(r, pixmap.toImage(), source, Qt::AutoColor);
    }

    void drawImage(const QRectF &r, const QImage &image, const QRectF &source, Qt::ImageConversionFlags) override
    {
        applyClip();
        flushRects();
        // On white paper: what shows through a transparent image is the paper.
        QImage rgb(source.toAlignedRect().size(), QImage::Format_RGB888);
        if (rgb.isNull())
            return;
        rgb.fill(Qt::white);
        {
            QPainter p(&rgb);
            p.drawImage(QPointF(0, 0), image, source);
        }
        QByteArray pixels;
        pixels.reserve(qsizetype(rgb.width()) * rgb.height() * 3);
        for (int y = 0; y < rgb.height(); ++y)
            pixels.append(reinterpret_cast<const char *>(rgb.constScanLine(y)), qsizetype(rgb.width()) * 3);
        const int id = m_out.reserve();
        m_out.stream(id,
                     "/Type/XObject/Subtype/Image/Width " + QByteArray::number(rgb.width()) + "/Height "
                         + QByteArray::number(rgb.height()) + "/ColorSpace/DeviceRGB/BitsPerComponent 8/Filter/FlateDecode",
                     deflated(pixels));
        const QByteArray name = "/Im" + QByteArray::number(++m_resources.imageCount);
        m_resources.images += name + ' ' + QByteArray::number(id) + " 0 R";
        // The image's unit square, its first row at the top, onto the rectangle.
        const QTransform place = QTransform(r.width(), 0, 0, -r.height(), r.x(), r.y() + r.height()) * m_transform;
        content += "q ";
        matrix(place);
        content += "cm " + name + " Do Q\n";
    }

    void drawTextItem(const QPointF &p, const QTextItem &item) override
    {
        applyClip();
        flushRects();
        if (m_pen.style() == Qt::NoPen)
            return;
        const QString text = item.text();
        if (text.isEmpty())
            return;
        const FontUse &use = m_resources.use(item.font());
        const QRgb color = m_pen.color().rgb();
        if (use.face && showUnshaped(use, p, item, color))
            return;
        // The glyphs as Qt shapes them, where it places them: combining
        // marks over their letters, kerning, ligatures, and characters the
        // face lacks from the font Qt takes them from.
        QTextLayout layout(text, item.font(), paintDevice());
        QTextOption option;
        option.setWrapMode(QTextOption::NoWrap);
        layout.setTextOption(option);
        layout.beginLayout();
        const QTextLine line = layout.createLine();
        layout.endLayout();
        const QPointF origin = p - QPointF(0, line.ascent());
        for (const QGlyphRun &run : layout.glyphRuns()) {
            if (use.face && sameFace(run.rawFont(), use.raw))
                showGlyphs(use, run.glyphIndexes(), run.positions(), origin,
                           charactersOf(use.raw, text, layout, run.glyphIndexes()), color);
            else
                fillWith(outlines(run, origin), color); // a face that cannot be embedded
        }
    }

private:
    // Most label text is each character its face's glyph, one after the
    // other: shown so without shaping it again, which would cost as much
    // as the rest of the label. Where shaping changed anything (a mark, a
    // kerning pair, a ligature, a character from another face) Qt's width
    // for the text tells, and it is shaped.
    bool showUnshaped(const FontUse &use, const QPointF &p, const QTextItem &item, QRgb color)
    {
        const QString text = item.text();
        const QList<uint> chars = text.toUcs4();
        for (const uint c : chars)
            if (QChar::isMark(char32_t(c)))
                return false;
        const QList<quint32> glyphs = use.raw.glyphIndexesForString(text);
        if (glyphs.size() != chars.size() || glyphs.contains(0))
            return false;
        const double scale = use.pixelSize / use.face->subset.unitsPerEm();
        QList<QPointF> at;
        at.reserve(glyphs.size());
        double x = 0;
        for (const quint32 g : glyphs) {
            at.append(QPointF(x, 0));
            x += use.face->subset.advance(g) * scale;
        }
        if (std::abs(x - item.width()) > 1e-3 * use.pixelSize)
            return false;
        QHash<quint32, QString> characters;
        for (qsizetype i = 0; i < glyphs.size(); ++i)
            characters.insert(glyphs[i], QString::fromUcs4(reinterpret_cast<const char32_t *>(&chars[i]), 1));
        showGlyphs(use, glyphs, at, p, characters, color);
        return true;
    }

    static bool sameFace(const QRawFont &a, const QRawFont &b)
    {
        return a.familyName() == b.familyName() && a.styleName() == b.styleName() && qFuzzyCompare(a.pixelSize(), b.pixelSize());
    }

    static QPainterPath outlines(const QGlyphRun &run, const QPointF &origin)
    {
        QPainterPath path;
        const QList<quint32> glyphs = run.glyphIndexes();
        const QList<QPointF> at = run.positions();
        for (qsizetype i = 0; i < glyphs.size(); ++i)
            path.addPath(run.rawFont().pathForGlyph(glyphs[i]).translated(origin + at[i]));
        return path;
    }

    // What each glyph stands for, for the text to be searched and copied:
    // the character it is the face's glyph of, or the characters Qt made
    // it of (a ligature).
    static QHash<quint32, QString> charactersOf(const QRawFont &face, const QString &text, const QTextLayout &layout,
                                               const QList<quint32> &shaped)
    {
        QHash<quint32, QString> of;
        // A letter and its combining mark are shaped as the composed letter.
        const QString composed = text.normalized(QString::NormalizationForm_C);
        for (const QString &form : {text, composed}) {
            const QList<uint> chars = form.toUcs4();
            const QList<quint32> glyphs = face.glyphIndexesForString(form);
            for (qsizetype i = 0; i < glyphs.size() && i < chars.size(); ++i)
                of.insert(glyphs[i], QString::fromUcs4(reinterpret_cast<const char32_t *>(&chars[i]), 1));
            if (composed == text)
                break;
        }
        QSet<quint32> made;
        for (const quint32 g : shaped)
            if (!of.contains(g))
                made.insert(g);
        // Rare (a ligature): each character asked which glyph it became.
        for (int i = 0; !made.isEmpty() && i < text.size(); ++i) {
            const int length = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
            QSet<quint32> became;
            for (const QGlyphRun &run : layout.glyphRuns(i, length))
                for (const quint32 g : run.glyphIndexes())
                    if (made.contains(g) && !became.contains(g)) {
                        became.insert(g);
                        of[g] += text.mid(i, length);
                    }
            i += length - 1;
        }
        return of;
    }

    // Glyphs of the embedded face, each at its place: a line of
    // them in one text object, its spacing as Qt laid it out; a glyph off
    // the line (a mark raised or lowered) placed on its own.
    void showGlyphs(const FontUse &use, const QList<quint32> &glyphs, const QList<QPointF> &at, const QPointF &origin,
                    const QHash<quint32, QString> &characters, QRgb color)
    {
        EmbeddedFace &face = *use.face;
        if (glyphs.isEmpty())
            return;
        const double px = use.pixelSize;
        setFill(color);
        if (use.bold) {
            setStroke(color);
            setLineWidth(px * std::sqrt(std::abs(m_transform.determinant())) * kBoldStroke);
            setJoin(Qt::RoundJoin);
        }
        content += "BT ";
        if (m_state.font != face.resource) {
            m_state.font = face.resource;
            content += face.resource + " 1 Tf ";
        }
        const int mode = use.bold ? 2 : 0;
        if (m_state.textMode != mode) {
            m_state.textMode = mode;
            content += QByteArray::number(mode) + " Tr ";
        }
        if (m_state.charSpacing != 0) {
            m_state.charSpacing = 0;
            content += "0 Tc ";
        }
        const double em = 1.0 / face.subset.unitsPerEm();
        for (qsizetype from = 0; from < glyphs.size();) {
            qsizetype to = from + 1;
            while (to < glyphs.size() && at[to].y() == at[from].y())
                ++to;
            // Glyph space is y up and one em; an upright face drawn italic leans right.
            const QPointF start = origin + at[from];
            const QTransform glyphSpace(px, 0, use.italic ? kItalicSlant * px : 0, -px, start.x(), start.y());
            matrix(glyphSpace * m_transform, 3);
            content += "Tm [";
            double pen = 0; // ems from the line's start, as the glyphs' widths move it
            for (qsizetype i = from; i < to; ++i) {
                const double wanted = (at[i].x() - at[from].x()) / px;
                const int shift = int(std::lround((pen - wanted) * 1000));
                if (shift != 0) {
                    content += QByteArray::number(shift);
                    pen -= shift / 1000.0;
                }
                const quint16 id = face.subset.glyphFor(glyphs[i]);
                const QString character = characters.value(glyphs[i]);
                if (id == face.unicodes.size())
                    face.unicodes.append(character);
                else if (face.unicodes[id].isEmpty())
                    face.unicodes[id] = character;
                pen += face.subset.advance(glyphs[i]) * em;
                QByteArray string = "(";
                for (const char byte : {char(id >> 8), char(id & 0xff)}) {
                    if (byte == '(' || byte == ')' || byte == '\\')
                        string += '\\';
                    if (byte == '\r')
                        string += "\\r";
                    else
                        string += byte;
                }
                content += string + ')';
            }
            content += "]TJ ";
            from = to;
        }
        content += "ET\n";
    }

    // The rectangles a path is made of, each a subpath as addRect makes
    // it; none when it is anything else.
    static QList<QRectF> rectanglesOf(const QPainterPath &path)
    {
        const int count = path.elementCount();
        if (count == 0 || count % 5 != 0)
            return {};
        QList<QRectF> rects;
        rects.reserve(count / 5);
        for (int at = 0; at < count; at += 5) {
            const std::optional<QRectF> r = rectangleAt(path, at);
            if (!r)
                return {};
            rects.append(*r);
        }
        return rects;
    }

    // Filled, not outlined, and still upright on the page: rectangles stay
    // rectangles.
    bool fillsRectanglesAlone() const
    {
        return m_pen.style() == Qt::NoPen && m_brush.style() != Qt::NoBrush && axisAligned(m_transform);
    }

    // Rectangles filled one after another in one colour (a barcode's bars)
    // make one path.
    void fillRectangles(const QRectF *rects, int count)
    {
        applyClip();
        const QRgb color = m_brush.color().rgb();
        if (!m_rects.isEmpty() && color != m_rectsColor)
            flushRects();
        m_rectsColor = color;
        for (int i = 0; i < count; ++i)
            m_rects.append(m_transform.mapRect(rects[i]).normalized());
    }

    static std::optional<QRectF> rectangleAt(const QPainterPath &path, int at)
    {
        if (!path.elementAt(at).isMoveTo())
            return std::nullopt;
        QPointF p[5];
        for (int i = 0; i < 5; ++i) {
            if (i > 0 && !path.elementAt(at + i).isLineTo())
                return std::nullopt;
            p[i] = path.elementAt(at + i);
        }
        const bool across = p[0].y() == p[1].y() && p[1].x() == p[2].x() && p[2].y() == p[3].y() && p[3].x() == p[0].x();
        const bool down = p[0].x() == p[1].x() && p[1].y() == p[2].y() && p[2].x() == p[3].x() && p[3].y() == p[0].y();
        if (p[4] != p[0] || !(across || down))
            return std::nullopt;
        return QRectF(p[0], p[2]).normalized();
    }

    void matrix(const QTransform &m, int decimals = 3)
    {
        number(content, m.m11(), decimals);
        number(content, m.m12(), decimals);
        number(content, m.m21(), decimals);
        number(content, m.m22(), decimals);
        dots(content, m.dx());
        dots(content, m.dy());
    }

    static void color(QByteArray &out, QRgb c, const char *gray, const char *rgb)
    {
        if (qRed(c) == qGreen(c) && qGreen(c) == qBlue(c)) {
            number(out, qRed(c) / 255.0, 3);
            out += gray;
        } else {
            number(out, qRed(c) / 255.0, 3);
            number(out, qGreen(c) / 255.0, 3);
            number(out, qBlue(c) / 255.0, 3);
            out += rgb;
        }
    }

    void setFill(QRgb c)
    {
        if (c != m_state.fill) {
            m_state.fill = c;
            color(content, c, "g\n", "rg\n");
        }
    }

    void setStroke(QRgb c)
    {
        if (c != m_state.stroke) {
            m_state.stroke = c;
            color(content, c, "G\n", "RG\n");
        }
    }

    void setLineWidth(double w)
    {
        w = std::round(w * 100) / 100;
        if (w != m_state.lineWidth) {
            m_state.lineWidth = w;
            dots(content, w);
            content += "w\n";
        }
    }

    void setJoin(Qt::PenJoinStyle style)
    {
        const int join = style == Qt::RoundJoin ? 1 : style == Qt::BevelJoin ? 2 : 0;
        if (join != m_state.join) {
            m_state.join = join;
            content += QByteArray::number(join) + " j\n";
        }
    }

    void setPen(double width)
    {
        setStroke(m_pen.color().rgb());
        setLineWidth(width);
        const int cap = m_pen.capStyle() == Qt::RoundCap ? 1 : m_pen.capStyle() == Qt::SquareCap ? 2 : 0;
        if (cap != m_state.cap) {
            m_state.cap = cap;
            content += QByteArray::number(cap) + " J\n";
        }
        setJoin(m_pen.joinStyle());
        QByteArray dash = "[";
        if (m_pen.style() != Qt::SolidLine) {
            for (const qreal d : m_pen.dashPattern())
                dots(dash, d * std::max(width, 1.0));
        }
        dash += "]0 d";
        if (dash != m_state.dash) {
            m_state.dash = dash;
            content += dash + '\n';
        }
    }

    double penWidth() const
    {
        if (m_pen.isCosmetic())
            return m_pen.widthF();
        return m_pen.widthF() * std::sqrt(std::abs(m_transform.determinant()));
    }

    void writeRect(const QRectF &r)
    {
        dots(content, r.x());
        dots(content, r.y());
        dots(content, r.width());
        dots(content, r.height());
        content += "re\n";
    }

    void writePath(const QPainterPath &path)
    {
        QPointF start;
        QPointF last;
        auto close = [&] {
            if (last == start)
                content += "h\n";
        };
        for (int i = 0; i < path.elementCount(); ++i) {
            const QPainterPath::Element e = path.elementAt(i);
            if (e.isMoveTo()) {
                if (i > 0)
                    close();
                start = last = e;
                dots(content, e.x);
                dots(content, e.y);
                content += "m\n";
            } else if (e.isLineTo()) {
                last = e;
                dots(content, e.x);
                dots(content, e.y);
                content += "l\n";
            } else if (e.isCurveTo() && i + 2 < path.elementCount()) {
                for (int k = 0; k < 3; ++k) {
                    dots(content, path.elementAt(i + k).x);
                    dots(content, path.elementAt(i + k).y);
                }
                last = path.elementAt(i + 2);
                content += "c\n";
                i += 2;
            }
        }
        if (path.elementCount() > 0)
            close();
    }

    void paintPath(const QPainterPath &path, bool mayFill, bool mayStroke)
    {
        applyClip();
        flushRects();
        const bool fill = mayFill && m_brush.style() != Qt::NoBrush;
        const bool stroke = mayStroke && m_pen.style() != Qt::NoPen;
        if (path.isEmpty() || (!fill && !stroke))
            return;
        if (fill)
            setFill(m_brush.color().rgb());
        if (stroke)
            setPen(penWidth());
        writePath(m_transform.map(path));
        const bool oddEven = path.fillRule() == Qt::OddEvenFill;
        content += fill && stroke ? (oddEven ? "B*\n" : "B\n") : fill ? (oddEven ? "f*\n" : "f\n") : "S\n";
    }

    void fillWith(const QPainterPath &path, QRgb c)
    {
        applyClip();
        flushRects();
        if (path.isEmpty())
            return;
        setFill(c);
        writePath(m_transform.map(path));
        content += path.fillRule() == Qt::OddEvenFill ? "f*\n" : "f\n";
    }

    void flushRects()
    {
        if (m_rects.isEmpty())
            return;
        setFill(m_rectsColor);
        for (const QRectF &r : std::as_const(m_rects))
            writeRect(r);
        content += "f\n";
        m_rects.clear();
    }

    void clip(Qt::ClipOperation op, const QPainterPath &path)
    {
        flushRects();
        if (op == Qt::NoClip) {
            m_clips.clear();
            m_clipOn = false;
        } else {
            if (op == Qt::ReplaceClip)
                m_clips.clear();
            m_clips.append(path);
            m_clipOn = true;
        }
        m_clipDirty = true;
    }

    // A clip lives in a saved graphics state of its own, left when it changes.
    void applyClip()
    {
        if (!m_clipDirty)
            return;
        m_clipDirty = false;
        if (m_inClip) {
            content += "Q\n";
            m_state = m_saved;
            m_inClip = false;
        }
        if (!m_clipOn || m_clips.isEmpty())
            return;
        content += "q\n";
        m_saved = m_state;
        m_inClip = true;
        for (const QPainterPath &path : std::as_const(m_clips)) {
            if (const QList<QRectF> rects = rectanglesOf(path); !rects.isEmpty()) {
                for (const QRectF &r : rects)
                    writeRect(r);
                content += "W n\n";
                continue;
            }
            writePath(path);
            content += path.fillRule() == Qt::OddEvenFill ? "W* n\n" : "W n\n";
        }
    }

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

class PdfDevice : public QPaintDevice {
public:
    explicit PdfDevice(PdfEngine &engine) : m_engine(engine) {}
    void setPage(QSizeF dots, int dpi)
    {
        m_dots = dots;
        m_dpi = dpi;
    }
    QPaintEngine *paintEngine() const override { return &m_engine; }

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth:
            return int(std::lround(m_dots.width()));
        case PdmHeight:
            return int(std::lround(m_dots.height()));
        case PdmWidthMM:
            return int(std::lround(m_dots.width() * 25.4 / m_dpi));
        case PdmHeightMM:
            return int(std::lround(m_dots.height() * 25.4 / m_dpi));
        case PdmNumColors:
            return INT_MAX;
        case PdmDepth:
            return 32;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return m_dpi;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        default:
            return 0;
        }
    }

private:
    PdfEngine &m_engine;
    QSizeF m_dots;
    int m_dpi = 300;
};

struct PdfDocument::Impl {
    Output out;
    Resources resources;
    PdfEngine engine{out, resources};
    PdfDevice device{engine};
    QPainter painter;
    Deflater deflatePage;
    QString title;
    QList<int> pages;
    QSizeF pageSizePt;
    int pagesId = 0;
    int resourcesId = 0;

    void writeFonts(QByteArray &fonts);
};

PdfDocument::PdfDocument(QIODevice *out, const QString &title) : d(std::make_unique<Impl>())
{
    d->out.device = out;
    d->title = title;
    d->out.write("%PDF-1.4\n%\xe2\xe3\xcf\xd3\n");
    const int catalog = d->out.reserve();
    d->pagesId = d->out.reserve();
    d->resourcesId = d->out.reserve();
    d->out.object(catalog, "<</Type/Catalog/Pages " + QByteArray::number(d->pagesId) + " 0 R>>");
}

PdfDocument::~PdfDocument()
{
    if (d->painter.isActive())
        d->painter.end();
}

int PdfDocument::pages() const
{
    return int(d->pages.size());
}

QPainter &PdfDocument::beginPage(QSizeF sizePt, int dpi, double topPt)
{
    if (d->painter.isActive())
        endPage();
    d->pageSizePt = sizePt;
    d->device.setPage(sizePt * dpi / 72.0, dpi);
    QByteArray &content = d->engine.content;
    content.clear();
    // The page in dots from its top-left corner, as the painter draws it.
    const double k = 72.0 / dpi;
    number(content, k, 6);
    content += "0 0 ";
    number(content, -k, 6);
    content += "0 ";
    number(content, topPt >= 0 ? topPt : sizePt.height(), 4);
    content += "cm\n";
    d->painter.begin(&d->device);
    return d->painter;
}

bool PdfDocument::endPage()
{
    if (!d->painter.isActive())
        return d->out.ok;
    d->painter.end();
    const int contents = d->out.reserve();
    d->out.stream(contents, "/Filter/FlateDecode", d->deflatePage(d->engine.content));
    const int page = d->out.reserve();
    d->out.object(page, "<</Type/Page/Parent " + QByteArray::number(d->pagesId) + " 0 R/MediaBox [0 0 "
                            + QByteArray::number(d->pageSizePt.width(), 'f', 4) + ' '
                            + QByteArray::number(d->pageSizePt.height(), 'f', 4) + "]/Resources "
                            + QByteArray::number(d->resourcesId) + " 0 R/Contents " + QByteArray::number(contents)
                            + " 0 R>>");
    d->pages.append(page);
    return d->out.ok;
}

void PdfDocument::Impl::writeFonts(QByteArray &fonts)
{
    for (const auto &face : resources.faces) {
        if (!face->embeddable || face->subset.glyphCount() <= 1)
            continue;
        const QByteArray file = face->subset.fontFile();
        // A subset is named by a tag of its own, so that a reader never takes
        // it for the whole face or for another subset of it.
        size_t seed = qHash(file);
        QByteArray name(6, 'A');
        for (char &c : name) {
            c = char('A' + seed % 26);
            seed /= 26;
        }
        name += '+' + face->subset.postScriptName();
        const int fileId = out.reserve();
        out.stream(fileId, "/Length1 " + QByteArray::number(file.size()) + "/Filter/FlateDecode", deflated(file));
        const QRectF box = face->subset.box();
        QByteArray descriptor = "<</Type/FontDescriptor/FontName/" + name + "/Flags 4/FontBBox [";
        for (double v : {box.left(), box.top(), box.right(), box.bottom()})
            number(descriptor, v, 0);
        descriptor += "]/ItalicAngle 0/Ascent " + QByteArray::number(face->subset.ascent()) + "/Descent "
            + QByteArray::number(face->subset.descent()) + "/CapHeight " + QByteArray::number(face->subset.ascent())
            + "/StemV 80/FontFile2 " + QByteArray::number(fileId) + " 0 R>>";
        const int descriptorId = out.reserve();
        out.object(descriptorId, descriptor);
        QByteArray widths = "[0[";
        for (int w : face->subset.widths())
            widths += QByteArray::number(w) + ' ';
        widths += "]]";
        const int cidId = out.reserve();
        out.object(cidId, "<</Type/Font/Subtype/CIDFontType2/BaseFont/" + name
                              + "/CIDSystemInfo<</Registry(Adobe)/Ordering(Identity)/Supplement 0>>/FontDescriptor "
                              + QByteArray::number(descriptorId) + " 0 R/CIDToGIDMap/Identity/W " + widths + ">>");
        // What each glyph stands for, so that the text can be searched and copied.
        QByteArray cmap = "/CIDInit/ProcSet findresource begin 12 dict begin begincmap\n"
                          "/CIDSystemInfo<</Registry(Adobe)/Ordering(UCS)/Supplement 0>>def\n"
                          "/CMapName/Adobe-Identity-UCS def /CMapType 2 def\n"
                          "1 begincodespacerange <0000><FFFF> endcodespacerange\n";
        QList<qsizetype> mapped;
        for (qsizetype id = 1; id < face->unicodes.size(); ++id)
            if (!face->unicodes[id].isEmpty())
                mapped.append(id);
        for (qsizetype from = 0; from < mapped.size(); from += 100) {
            const qsizetype to = std::min<qsizetype>(from + 100, mapped.size());
            cmap += QByteArray::number(to - from) + " beginbfchar\n";
            for (qsizetype k = from; k < to; ++k) {
                const qsizetype id = mapped[k];
                const QString &ch = face->unicodes[id];
                cmap += '<' + QByteArray::number(quint16(id), 16).rightJustified(4, '0') + "><";
                for (QChar c : ch)
                    cmap += QByteArray::number(c.unicode(), 16).rightJustified(4, '0');
                cmap += ">\n";
            }
            cmap += "endbfchar\n";
        }
        cmap += "endcmap CMapName currentdict /CMap defineresource pop end end";
        const int cmapId = out.reserve();
        out.stream(cmapId, "/Filter/FlateDecode", deflated(cmap));
        const int fontId = out.reserve();
        out.object(fontId, "<</Type/Font/Subtype/Type0/BaseFont/" + name + "/Encoding/Identity-H/DescendantFonts["
                               + QByteArray::number(cidId) + " 0 R]/ToUnicode " + QByteArray::number(cmapId) + " 0 R>>");
        fonts += face->resource + ' ' + QByteArray::number(fontId) + " 0 R";
    }
}

bool PdfDocument::finish()
{
    if (d->painter.isActive())
        endPage();
    QByteArray fonts;
    d->writeFonts(fonts);
    QByteArray resources = "<<";
    if (!fonts.isEmpty())
        resources += "/Font<<" + fonts + ">>";
    if (!d->resources.images.isEmpty())
        resources += "/XObject<<" + d->resources.images + ">>";
    d->out.object(d->resourcesId, resources + ">>");
    QByteArray kids;
    for (int page : std::as_const(d->pages))
        kids += QByteArray::number(page) + " 0 R ";
    d->out.object(d->pagesId,
                  "<</Type/Pages/Kids[" + kids + "]/Count " + QByteArray::number(d->pages.size()) + ">>");
    const int info = d->out.reserve();
    QByteArray title = "<FEFF";
    for (QChar c : d->title)
        title += QByteArray::number(c.unicode(), 16).rightJustified(4, '0');
    title += '>';
    d->out.object(info, "<</Title" + title + "/Creator(Zenlabo)/Producer(Zenlabo)/CreationDate(D:"
                            + QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddHHmmss")).toLatin1()
                            + "Z)>>");
    const qint64 xref = d->out.at;
    QByteArray table = "xref\n0 " + QByteArray::number(d->out.offsets.size()) + "\n0000000000 65535 f \n";
    for (size_t i = 1; i < d->out.offsets.size(); ++i)
        table += QByteArray::number(std::max<qint64>(d->out.offsets[i], 0)).rightJustified(10, '0') + " 00000 n \n";
    table += "trailer\n<</Size " + QByteArray::number(d->out.offsets.size()) + "/Root 1 0 R/Info "
        + QByteArray::number(info) + " 0 R>>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    d->out.write(table);
    return d->out.ok;
}

} // namespace zl::pdfwriter
