#include "cli/upgrade_session.h"

#include <cerrno>
#include <chrono>
#include <thread>

#include "cli/exit_codes.h"
#include "cli/job_log_printer.h"
#include "serial/port_holder.h"
#include "serial/port_name.h"
#include "serial/serial_port.h"
#include "upgrade/clock.h"
#include "upgrade/reply_receiver.h"
#include "upgrade/upgrade_worker.h"

namespace orvane {
namespace {

// The user's choices are fixed for the whole job on the command line.
class FixedInputs final : public UpgradeInputs {
public:
    explicit FixedInputs(const UpgradeRequest& request) : request_(request) {}
    std::string imagePath() override { return request_.imagePath; }
    std::string portName() override { return request_.portName; }
    int lineSpeed() override { return request_.lineSpeed; }
    int address() override { return request_.address; }
    int upgradeSpeed() override { return request_.upgradeSpeed; }

private:
    const UpgradeRequest& request_;
};

// The job says a busy port is in use; who holds it is only known here, in the user's process.
void noteBusyPortHolder(const std::string& portName, int err, Console& console) {
    if (err != EBUSY && err != EWOULDBLOCK) {
        return;
    }
    if (const auto holder = findPortHolder(devicePathOf(portName))) {
        console.note(portName + ": " + busyPortHint(*holder));
    }
}

} // namespace

int runUpgradeSession(const UpgradeRequest& request, Console& console, TextLanguage language,
                      const InterruptWatch& interrupt) {
    SerialPort port;
    ReplyFlags flags;
    SystemClock clock;
    JobLogPrinter printer(console, language);
    FixedInputs inputs(request);
    int result = -1;
    {
        ReplyReceiver receiver(port, flags, clock);
        UpgradeWorker worker(port, flags, clock, inputs, printer);
        if (worker.start(request.target)) {
            while (worker.running()) {
                if (interrupt.waitFor(std::chrono::milliseconds{50})) {
                    // The job gives up at its next pause: AbortFrame, then "Update was failed !".
                    worker.cancel();
                    std::this_thread::sleep_for(std::chrono::milliseconds{20});
                }
            }
        }
        result = worker.wait();
        printer.finish();
        noteBusyPortHolder(request.portName, port.lastError(), console);
        // Closing first wakes the receiver's read at once, so the stop does not wait it out.
        port.closePort();
        receiver.stop();
    }

    int status = exitUnusable;
    if (result == 0) {
        status = exitSuccess;
    } else if (interrupt.interrupted()) {
        status = interrupt.exitStatus();
    } else if (printer.failureLogged()) {
        status = exitFailed;
    }
    console.event(JsonObject()
                      .add("event", "result")
                      .add("ok", status == exitSuccess)
                      .add("exitCode", status)
                      .add("text", printer.lastLine()));
    return status;
}

} // namespace orvane
