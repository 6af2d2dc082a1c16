#include "cli/binary_output.h"

namespace orvane {

void useBinaryOutput(std::FILE*) {}

} // namespace orvane
