// A control's text read as a number, as the dialog's speed and address boxes are read.
#pragma once

#include <string_view>

namespace orvane {

// The signed value of a control's text as the dialog manager reads it: leading blanks, an
// optional minus sign and decimal digits, nothing after them; anything else, or a value that
// does not fit an int, gives 0.
int controlValueOf(std::string_view text);

} // namespace orvane
