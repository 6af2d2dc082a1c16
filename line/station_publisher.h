// A station's row in the line's database, kept by a thread of its own over its own
// connection: written at once when a slot changes state, at most twice a second while only a
// percent moves, and at least every few seconds as a heartbeat; marked stopped when the shift
// ends in order. The same thread obeys the line's pause and resume for the station. The
// station's threads only leave a mark and a wake-up here, so a slow or silent server never
// holds a camera's job; the server is tried again quietly (the records say once that it is
// away).
#pragma once

#include "line/line_connection.h"
#include "line/station_row.h"
#include "station/station_state.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace orvane {

struct PublisherSettings {
    std::string uri;
    StationRow row; // name, host, process and job; the state is the station's own
    std::chrono::seconds staleAfter{15};
    std::chrono::milliseconds heartbeat{5000};
    std::chrono::milliseconds progressGap{500};
    std::chrono::milliseconds retryGap{2000};
    std::chrono::milliseconds commandPoll{200}; // how soon a notification is looked at
    // The slots held on the station itself (its page's pauses), shown in the row.
    std::function<bool(const std::string& slot)> held{};
    // On the publisher's thread, when a command from the line pauses (true) or resumes it.
    std::function<void(bool paused)> pausedChanged{};
};

class StationPublisher final : public StationListener {
  public:
    StationPublisher(StationState& state, PublisherSettings settings);
    ~StationPublisher() override;
    StationPublisher(const StationPublisher&) = delete;
    StationPublisher& operator=(const StationPublisher&) = delete;

    // Claims the name and starts publishing. Answers who holds the name when another live
    // station does (nothing is started then). A server that does not answer is no refusal:
    // the row follows once it does.
    std::optional<NameHolder> start();
    // Marks the row stopped (when the server answers) and ends the thread.
    void stop();
    // The line paused the station: no camera begins.
    bool paused() const { return paused_; }

    void stationEvent(const StationEvent& event, const StationSnapshot& now) override;

  private:
    enum class Pending : std::uint8_t { none, progress, change };

    void run();
    // Connects, listens and writes the row, when the server is due another try.
    void reach(std::chrono::steady_clock::time_point now);
    RowWrite publish(NameHolder* holder = nullptr);
    void readCommands();
    std::chrono::steady_clock::time_point writeDue() const;
    StationRow currentRow();

    StationState& state_;
    PublisherSettings settings_;
    LineConnection line_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    Pending pending_ = Pending::none;
    StationRow row_; // under mutex_: its job may change
    // The publisher's thread alone:
    bool starting_ = true; // no row written yet this shift
    std::optional<std::int64_t> lastCommand_;
    std::chrono::steady_clock::time_point lastWrite_{};
    std::chrono::steady_clock::time_point lastTry_{};
    std::atomic<bool> paused_{false};
};

} // namespace orvane
