// A station run in process over virtual cameras, for the benchmarks that time one: a front
// that keeps nothing and counts the attempts ended, the station on a thread of its own (its
// CPU taken on that thread), and a camera that appears in the watched folder.
#pragma once

#include "bench/bench_support.h"
#include "sim/virtual_camera.h"
#include "station/station.h"
#include "station/station_jobs.h"
#include "station/watched_ports.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace orvane::bench {

using Steady = std::chrono::steady_clock;

class QuietFront final : public StationFront, public StationListener {
  public:
    std::unique_ptr<UpgradeLog> attemptLog(const SlotSnapshot&) override { return nullptr; }
    void attemptEnded(const SlotSnapshot&, UpgradeLog*, const UpgradeOutcome&, double) override {}
    void stationEvent(const StationEvent& event, const StationSnapshot&) override {
        if (event.kind == StationEvent::Kind::Ended) {
            const std::lock_guard lock(mutex_);
            ++ended_;
            changed_.notify_all();
        }
    }
    void waitForEnded(unsigned count) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return ended_ >= count; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    unsigned ended_ = 0;
};

// A station over folder on a thread of its own, its CPU measured from start to stop.
class RunningStation {
  public:
    // prepare sees the state before the station runs (a dashboard listens to it from there).
    RunningStation(const std::string& folder, const FirmwareImage& image,
                   const std::function<void(StationState&)>& prepare = {})
        : state_(image.path, image.sha256, image.bytes.size()) {
        plan_.watchFolder = folder;
        plan_.job.image = &image;
        plan_.job.lineSpeed = plan_.job.upgradeSpeed = 115200;
        state_.addListener(front_);
        if (prepare) {
            prepare(state_);
        }
        ports_ = std::make_unique<WatchedPorts>(plan_);
        station_ = std::make_unique<Station>(plan_, state_, front_, StationParts{*ports_, jobs_, clock_});
        thread_ = std::thread([this] {
            station_->run([this] {
                if (sampleWanted_.exchange(false)) {
                    const std::lock_guard lock(sampleMutex_);
                    sample_ = ThreadUsage::now(); // asked of the station's own thread
                    sampled_.notify_all();
                }
                return stop_.load();
            });
        });
    }
    // The station thread's CPU so far, taken on that thread at its next look (within 100 ms).
    ThreadUsage sample() {
        std::unique_lock lock(sampleMutex_);
        sample_.reset();
        sampleWanted_ = true;
        sampled_.wait(lock, [this] { return sample_.has_value(); });
        return *sample_;
    }
    void stop() {
        stop_ = true;
        thread_.join();
    }
    QuietFront& front() { return front_; }

  private:
    StationPlan plan_;
    StationState state_;
    QuietFront front_;
    std::unique_ptr<WatchedPorts> ports_;
    StationJobs jobs_{plan_.job, state_};
    SystemClock clock_;
    std::unique_ptr<Station> station_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> sampleWanted_{false};
    std::mutex sampleMutex_;
    std::condition_variable sampled_;
    std::optional<ThreadUsage> sample_;
    std::thread thread_;
};

inline std::unique_ptr<VirtualCamera> camera(const std::string& link,
                                             std::atomic<Steady::time_point>* firstFrame) {
    VirtualCameraOptions options;
    options.lineSpeed = options.upgradeSpeed = 115200;
    options.linkPath = link;
    if (firstFrame != nullptr) {
        options.onEvent = [firstFrame](const CameraEvent& event) {
            if (event.kind == CameraEvent::Kind::Received && firstFrame->load() == Steady::time_point{}) {
                firstFrame->store(Steady::now());
            }
        };
    }
    auto made = std::make_unique<VirtualCamera>(options);
    made->start();
    return made;
}

// Seconds from plugging cameras at once into a station's folder to every one of them ended;
// finished runs then, while the station and its state are still there.
inline double timeOf(const std::string& folder, const FirmwareImage& image, int cameras,
                     const std::function<void(StationState&)>& prepare = {},
                     const std::function<void()>& finished = {}) {
    RunningStation station(folder, image, prepare);
    std::this_thread::sleep_for(std::chrono::milliseconds{200});
    const auto began = Steady::now();
    std::vector<std::unique_ptr<VirtualCamera>> plugged;
    for (int i = 0; i < cameras; ++i) {
        plugged.push_back(camera(folder + "/cam" + std::to_string(i), nullptr));
    }
    station.front().waitForEnded(static_cast<unsigned>(cameras));
    const double seconds = std::chrono::duration<double>(Steady::now() - began).count();
    if (finished) {
        finished();
    }
    station.stop();
    return seconds;
}

} // namespace orvane::bench
