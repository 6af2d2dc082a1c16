#include "cli/binary_output.h"

#include <fcntl.h>
#include <io.h>

namespace orvane {

void useBinaryOutput(std::FILE* stream) {
    std::fflush(stream);
    _setmode(_fileno(stream), _O_BINARY);
}

} // namespace orvane
