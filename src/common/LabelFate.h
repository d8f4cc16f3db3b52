#pragma once
// What became of one label a run handed to its printer.

namespace zl {

enum class LabelFate : unsigned char {
    Out,     // known to have come out of the printer
    NotOut,  // known not to have come out
    Unknown, // the printer cannot tell: it may or may not have come out
};

} // namespace zl
