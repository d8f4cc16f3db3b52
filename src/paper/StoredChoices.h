#pragma once
// What the layout and sheet tables hold for the next run, as the screens'
// printer line and label previews show it. They ask for it at every record
// the operator steps to; the tables are read again only when one of them
// has changed on disk since.
#include "paper/PaperSelection.h"
#include "sheets/SheetChoice.h"

#include <optional>

namespace zl::printer {

struct StoredChoices {
    std::optional<LayoutRow> layout;    // nothing when the table cannot be read
    std::optional<SheetChoice> sheet;   // likewise: the run will say why
    LabelScale scale = LabelScale::Fit; // Fit when it cannot be read
};

StoredChoices storedChoices();

} // namespace zl::printer
