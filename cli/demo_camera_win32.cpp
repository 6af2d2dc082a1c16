// Windows has no pseudo-terminal: the demo's cameras live on in-memory lines.
#include "cli/demo_camera.h"

namespace orvane {

std::unique_ptr<DemoCamera> startDemoCamera(const DemoCameraSettings& settings, std::string&) {
    return startMemoryDemoCamera(settings);
}

} // namespace orvane
