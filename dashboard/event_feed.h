// The station's events for the page's live connections. The station's threads only put lines
// in each client's own bounded queue; a client that does not keep up is dropped, never waited
// for, so a browser that stops reading cannot hold a camera's job.
#pragma once

#include "station/station_state.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

class EventClient {
  public:
    explicit EventClient(std::size_t capacity) : capacity_(capacity) {}
    // False once the client is dropped (its queue was full) or closed.
    bool push(std::string message);
    // The next message, or none when wait passed; dropped() says which once closed.
    std::optional<std::string> next(std::chrono::milliseconds wait);
    bool dropped() const;
    void close();

  private:
    mutable std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::string> queue_;
    std::size_t capacity_;
    bool dropped_ = false;
};

class EventFeed final : public StationListener {
  public:
    using HeldSlot = std::function<bool(const std::string& slot)>;
    // held says which slots the page shows as paused; slotEvents, whether a slot plugged in or
    // pulled out is also told as the command line's "slot" event.
    EventFeed(std::size_t maxClients, std::size_t queueCapacity, HeldSlot held = {}, bool slotEvents = true);
    // A new client, or none when maxClients are connected already.
    std::shared_ptr<EventClient> join();
    void leave(const std::shared_ptr<EventClient>& client);
    void closeAll();
    void stationEvent(const StationEvent& event, const StationSnapshot& now) override;
    // A message in Server-Sent Events form to every client.
    void publish(const std::string& message);

  private:
    std::mutex mutex_;
    std::vector<std::shared_ptr<EventClient>> clients_;
    std::size_t maxClients_;
    std::size_t queueCapacity_;
    HeldSlot held_;
    bool slotEvents_;
};

// One Server-Sent Events message: the type's line when not empty, then data's line.
std::string sseMessage(const std::string& type, const std::string& data);

} // namespace orvane
