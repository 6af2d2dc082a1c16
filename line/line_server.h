// The line's page over HTTP, from the same server, checks and limits as a station's page: the
// page, /api/line, /api/records (the latest across the line), /api/events (a "snapshot" of
// the line keyed by station, then "state" messages each carrying its "station"), and with
// control POST /api/pause?station= and /api/resume?station=.
#pragma once

#include "dashboard/dashboard_server.h"
#include "line/line_control.h"
#include "line/line_view.h"

#include <memory>
#include <string>

namespace orvane {

class LineServer {
  public:
    // settings: address, token, TLS, control, limits and records as a station's page has them;
    // control: where a pause goes (only with settings.control).
    LineServer(LineView& view, DashboardSettings settings, LineControl* control);
    ~LineServer();
    LineServer(const LineServer&) = delete;
    LineServer& operator=(const LineServer&) = delete;

    bool start(std::string& error);
    int port() const;
    void stop();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace orvane
