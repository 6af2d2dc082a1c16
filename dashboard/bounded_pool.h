// The server's connections: a fixed number of threads and a short queue. Past both, the
// accepting thread serves the connection itself, so nothing more is accepted until one ends
// and the kernel's backlog holds the rest: the connections held open stay bounded.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <httplib.h>
#include <mutex>
#include <thread>
#include <vector>

namespace orvane {

class BoundedPool final : public httplib::TaskQueue {
  public:
    BoundedPool(std::size_t threads, std::size_t queued);
    ~BoundedPool() override;
    void enqueue(std::function<void()> task) override;
    void shutdown() override;
    // Whether this thread is the accepting one serving a connection itself: such a
    // connection must not be a long one.
    static bool servingInline();

  private:
    void work();

    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> tasks_;
    std::vector<std::thread> threads_;
    std::size_t queued_;
    std::size_t idle_ = 0;
    bool shutdown_ = false;
};

} // namespace orvane
