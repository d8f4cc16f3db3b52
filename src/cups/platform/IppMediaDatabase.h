#pragma once
// The sizes an IPP printer describes in its media-col-database: fixed sizes
// with their margins, continuous rolls (a fixed width and a range of
// lengths) and the range of custom sizes with the margins kept on them.
// CUPS' own media lookup (cupsGetDestMediaBy*) lists a roll as a page of
// its longest length and, in CUPS 2.4, gives every custom size a half-inch
// bottom margin whatever the printer says, so the collection is read here.
#include "cups/platform/CupsPrinter.h"

#include <cups/ipp.h>

namespace zl::printer {

// Adds the sizes of `database` (a media-col-database attribute) to `f`, and
// sets `defaultName` to the name of the size `mediaColDefault` (null when
// there is none) describes. False, and nothing changes, when `database` is
// not a collection.
bool readMediaColDatabase(ipp_attribute_t *database, ipp_attribute_t *mediaColDefault, CupsPrinter::QueueFacts &f,
                          QString &defaultName);

// The name an IPP printer is sent for a page of a size it has no name for:
// PWG's custom name ("custom_62x37.2mm_62x37.2mm").
QString customMediaName(QSizeF points);

} // namespace zl::printer
