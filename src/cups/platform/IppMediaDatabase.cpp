#include "cups/platform/IppMediaDatabase.h"

#include "common/Length.h"

#include <algorithm>
#include <cups/cups.h>
#include <optional>

namespace zl::printer {

namespace {

// One dimension of a media-size: a number, or a range (a roll's length, a
// custom size's width and length), in hundredths of a millimetre.
struct Extent {
    int lower = 0;
    int upper = 0;
    bool range = false;
    bool operator==(const Extent &o) const { return lower == o.lower && upper == o.upper && range == o.range; }
};

std::optional<Extent> extentOf(ipp_t *mediaSize, const char *name)
{
    ipp_attribute_t *a = ippFindAttribute(mediaSize, name, IPP_TAG_ZERO);
    if (a && ippGetValueTag(a) == IPP_TAG_INTEGER) {
        const int v = ippGetInteger(a, 0);
        return Extent{v, v, false};
    }
    if (a && ippGetValueTag(a) == IPP_TAG_RANGE) {
        int upper = 0;
        const int lower = ippGetRange(a, 0, &upper);
        return Extent{lower, upper, true};
    }
    return std::nullopt;
}

ipp_t *mediaSizeOf(ipp_t *mediaCol)
{
    return ippGetCollection(ippFindAttribute(mediaCol, "media-size", IPP_TAG_BEGIN_COLLECTION), 0);
}

double points(int hundredthsMm)
{
    return Length::hundredthsMm(hundredthsMm).pt();
}

int hundredthsMm(double points)
{
    return qRound(Length::pt(points).mm() * 100);
}

// A missing margin is none: IPP's own default for a size that lists none.
QMarginsF marginsOf(ipp_t *mediaCol)
{
    auto margin = [mediaCol](const char *name) {
        ipp_attribute_t *a = ippFindAttribute(mediaCol, name, IPP_TAG_INTEGER);
        return a ? points(ippGetInteger(a, 0)) : 0.0;
    };
    return QMarginsF(margin("media-left-margin"), margin("media-top-margin"), margin("media-right-margin"),
                     margin("media-bottom-margin"));
}

QString keywordOf(ipp_t *mediaCol, const char *name)
{
    ipp_attribute_t *a = ippFindAttribute(mediaCol, name, IPP_TAG_ZERO);
    if (!a)
        return {};
    const ipp_tag_t tag = ippGetValueTag(a);
    if (tag != IPP_TAG_KEYWORD && tag != IPP_TAG_NAME && tag != IPP_TAG_NAMELANG && tag != IPP_TAG_TEXT
        && tag != IPP_TAG_TEXTLANG)
        return {};
    return QString::fromUtf8(ippGetString(a, 0, nullptr));
}

QString pwgName(const char *prefix, const char *name, int width, int length)
{
    char text[IPP_MAX_NAME];
    if (!pwgFormatSizeName(text, sizeof text, prefix, name, width, length, nullptr))
        return {};
    return QString::fromUtf8(text);
}

} // namespace

bool readMediaColDatabase(ipp_attribute_t *database, ipp_attribute_t *mediaColDefault, CupsPrinter::QueueFacts &f,
                          QString &defaultName)
{
    if (!database || ippGetValueTag(database) != IPP_TAG_BEGIN_COLLECTION)
        return false;
    std::optional<Extent> defaultWidth, defaultLength;
    if (mediaColDefault && ippGetValueTag(mediaColDefault) == IPP_TAG_BEGIN_COLLECTION) {
        ipp_t *size = mediaSizeOf(ippGetCollection(mediaColDefault, 0));
        defaultWidth = extentOf(size, "x-dimension");
        defaultLength = extentOf(size, "y-dimension");
    }
    for (int i = 0; i < ippGetCount(database); ++i) {
        ipp_t *col = ippGetCollection(database, i);
        ipp_t *mediaSize = mediaSizeOf(col);
        const std::optional<Extent> width = extentOf(mediaSize, "x-dimension");
        const std::optional<Extent> length = extentOf(mediaSize, "y-dimension");
        if (!width || !length || width->lower <= 0 || length->lower <= 0)
            continue;
        const QMarginsF margins = marginsOf(col);
        if (width->range) {
            f.customSizes = true;
            f.customMin = QSizeF(points(width->lower), points(length->lower));
            f.customMax = QSizeF(points(width->upper), points(length->upper));
            f.customMargins = margins;
            continue;
        }
        CupsPrinter::QueueSize size;
        size.roll = length->range;
        // A roll has no length of its own until a label is put on it: it
        // is listed at the shortest it can be cut.
        size.points = QSizeF(points(width->lower), points(length->lower));
        size.printablePoints = QRectF(QPointF(0, 0), size.points).marginsRemoved(margins);
        size.name = keywordOf(col, "media-size-name");
        if (size.roll) {
            if (size.name.isEmpty())
                size.name = pwgName("roll", "current", width->lower, length->upper);
            size.text = QStringLiteral("%1 mm ロール").arg(Length::hundredthsMm(width->lower).mm());
        } else {
            // A size of no standard is given PWG's custom name for it.
            if (const pwg_media_t *pwg = pwgMediaForSize(width->lower, length->lower); pwg && size.name.isEmpty())
                size.name = QString::fromUtf8(pwg->pwg);
            size.text = keywordOf(col, "media-info");
            if (size.text.isEmpty())
                size.text = size.name;
        }
        // The database lists a size once for each source and type it
        // comes in; it is one paper to the operator.
        const bool listed = std::any_of(f.sizes.begin(), f.sizes.end(), [&size](const CupsPrinter::QueueSize &s) {
            return s.name == size.name && s.roll == size.roll && s.printablePoints == size.printablePoints;
        });
        if (listed)
            continue;
        if (defaultName.isEmpty() && defaultWidth == width && defaultLength == length)
            defaultName = size.name;
        f.sizes << size;
    }
    return true;
}

QString customMediaName(QSizeF pagePoints)
{
    return pwgName("custom", nullptr, hundredthsMm(pagePoints.width()), hundredthsMm(pagePoints.height()));
}

} // namespace zl::printer
