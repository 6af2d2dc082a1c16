// The station's events for the page's live connections. The station's threads only put lines
// in each client's own bounded queue and wake the server's loop; a client that does not keep
// up is dropped, never waited for, so a browser that stops reading cannot hold a camera's job.
#pragma once

#include "station/station_state.h"

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace orvane {

class EventClient {
  public:
    explicit EventClient(std::size_t capacity) : capacity_(capacity) {}
    // False once the client is dropped (its queue was full) or closed.
    bool push(std::string message);
    // wake is called, on the pushing thread, when a message waits where none did or the client
    // is dropped; at once when either is so already.
    void watch(std::function<void()> wake);
    // Every message waiting, oldest first.
    std::deque<std::string> take();
    bool dropped() const;
    void close();

  private:
    void wakeUp();

    mutable std::mutex mutex_;
    std::function<void()> wake_;
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
