#include "cli/demo_camera.h"
#include "sim/memory_camera.h"

namespace orvane {
namespace {

class MemoryDemoCamera final : public DemoCamera {
  public:
    explicit MemoryDemoCamera(const DemoCameraSettings& s)
        : port_("memory-line-" + std::to_string(s.number)),
          camera_(MemoryCameraOptions{s.address, s.lineSpeed, s.upgradeSpeed, true}) {}
    std::string port() const override { return port_; }
    SerialLink* line() override { return &camera_.link(); }
    std::optional<UpgradeVerdict> waitForVerdict(std::chrono::milliseconds timeout) override {
        return camera_.waitForVerdict(timeout);
    }
    void stop() override { camera_.stop(); }

  private:
    std::string port_;
    MemoryCamera camera_;
};

} // namespace

std::unique_ptr<DemoCamera> startMemoryDemoCamera(const DemoCameraSettings& settings) {
    return std::make_unique<MemoryDemoCamera>(settings);
}

} // namespace orvane
