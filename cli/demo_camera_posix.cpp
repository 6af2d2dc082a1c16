#include "cli/demo_camera.h"
#include "sim/virtual_camera.h"

namespace orvane {
namespace {

class PtyDemoCamera final : public DemoCamera {
  public:
    explicit PtyDemoCamera(const DemoCameraSettings& s) : camera_(optionsFor(s)) {}
    bool start(std::string& error) {
        if (!camera_.start()) {
            error = camera_.error();
            return false;
        }
        return true;
    }
    std::string port() const override { return camera_.devicePath(); }
    SerialLink* line() override { return nullptr; }
    std::optional<UpgradeVerdict> waitForVerdict(std::chrono::milliseconds timeout) override {
        return camera_.waitForVerdict(timeout);
    }
    void stop() override { camera_.stop(); }

  private:
    static VirtualCameraOptions optionsFor(const DemoCameraSettings& s) {
        VirtualCameraOptions options;
        options.address = s.address;
        options.lineSpeed = s.lineSpeed;
        options.upgradeSpeed = s.upgradeSpeed;
        options.pacing = true;
        return options;
    }

    VirtualCamera camera_;
};

} // namespace

std::unique_ptr<DemoCamera> startDemoCamera(const DemoCameraSettings& settings, std::string& error) {
    auto camera = std::make_unique<PtyDemoCamera>(settings);
    if (!camera->start(error)) {
        return nullptr;
    }
    return camera;
}

} // namespace orvane
