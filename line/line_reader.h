// The line's reader: its own connection to the line's database, LISTENing on orvane_stations.
// A notification only wakes it: it then reads the named station's row. Every second it reads
// every row again with the server's clock, which marks the stations that fell silent and
// mends a notification lost; the records are counted again when a station's counters moved.
// A database that stops answering is said on the page and tried again.
#pragma once

#include "line/line_view.h"

#include <atomic>
#include <string>
#include <thread>

namespace orvane {

class LineReader {
  public:
    LineReader(std::string uri, LineView& view);
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // Connects and reads every row once, on the calling thread; false with error said when the
    // server does not answer or has no stations yet.
    bool start(std::string& error);
    void stop();

  private:
    struct Connection;
    void run();
    void count();

    std::string uri_;
    LineView& view_;
    std::unique_ptr<Connection> connection_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

} // namespace orvane
