#include "platform/error_text.h"

#include <system_error>

namespace orvane {

std::string systemErrorText(int errorNumber) {
    if (errorNumber == 0) {
        return "the system gave no reason";
    }
    // generic_category is thread-safe and the same on every C library, unlike strerror_r's
    // two incompatible forms.
    return std::generic_category().message(errorNumber);
}

} // namespace orvane
