// The serial scanner's reader: the camera ports' own SerialPort at the scanner's speed.
#include "serial/port_open_failure.h"
#include "serial/serial_port.h"
#include "station/scan_reader.h"
#include "text/string_table.h"
#include "text/text_ids.h"

#include <array>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <stop_token>
#include <thread>

namespace orvane {
namespace {

class ScanDevice final : public LabelSource {
  public:
    ScanDevice(std::string device, int bps, TextLanguage language,
               std::function<void(const std::string&)> say)
        : device_(std::move(device)), bps_(bps), language_(language), say_(std::move(say)) {}
    ~ScanDevice() override {
        thread_.request_stop();
        port_.closePort(); // wakes a read in progress
    }
    ScanDevice(const ScanDevice&) = delete;
    ScanDevice& operator=(const ScanDevice&) = delete;

    bool open() { return port_.openPort(device_, bps_, parityNone, 8, oneStopBit) == 1; }
    int lastError() const { return port_.lastError(); }
    void start() {
        thread_ = std::jthread([this](const std::stop_token& stop) { readUntil(stop); });
    }
    std::vector<std::string> takeLines() override { return lines_.takeLines(); }

  private:
    void readUntil(const std::stop_token& stop) {
        std::array<std::uint8_t, 256> buffer{};
        bool lost = false;
        while (!stop.stop_requested()) {
            if (!port_.isOpen() && !open()) {
                if (!lost) {
                    say(fillText(textOf(IDS_SCANNER_LOST, language_),
                                 {device_, openFailureMessage(device_, port_.lastError(), language_)}));
                    lost = true;
                }
                std::mutex mutex;
                std::unique_lock lock(mutex);
                std::condition_variable_any().wait_for(lock, stop, std::chrono::seconds(1),
                                                       [] { return false; });
                continue;
            }
            if (lost) {
                say(fillText(textOf(IDS_SCANNER_BACK, language_), {device_}));
                lost = false;
            }
            const int count = port_.readPort(buffer);
            lines_.feed({reinterpret_cast<const char*>(buffer.data()), static_cast<std::size_t>(count)});
            if (port_.deviceGone()) {
                port_.closePort();
            }
        }
    }
    void say(const std::string& text) const {
        if (say_) {
            say_(text);
        }
    }

    std::string device_;
    int bps_;
    TextLanguage language_;
    std::function<void(const std::string&)> say_;
    ScanLines lines_;
    SerialPort port_;
    std::jthread thread_; // last: it stops before what it uses goes
};

} // namespace

std::unique_ptr<LabelSource> readScanDevice(const std::string& device, int bps, TextLanguage language,
                                            std::function<void(const std::string&)> say, std::string& error) {
    auto reader = std::make_unique<ScanDevice>(device, bps, language, std::move(say));
    if (!reader->open()) {
        error = openFailureMessage(device, reader->lastError(), language);
        return nullptr;
    }
    reader->start();
    return reader;
}

} // namespace orvane
