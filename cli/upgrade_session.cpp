#include "cli/upgrade_session.h"

#include <chrono>
#include <thread>

#include "cli/exit_codes.h"
#include "cli/job_log_printer.h"
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

} // namespace

int exitStatusOf(const UpgradeOutcome& outcome, const InterruptWatch& interrupt) {
    switch (outcome.ending) {
    case UpgradeEnding::Succeeded:
        return exitSuccess;
    case UpgradeEnding::Failed:
        return exitFailed;
    case UpgradeEnding::Unusable:
        return exitUnusable;
    case UpgradeEnding::Cancelled:
        return interrupt.interrupted() ? interrupt.exitStatus() : exitFailed;
    }
    return exitFailed;
}

int runUpgradeSession(const UpgradeRequest& request, Console& console, TextLanguage language,
                      const InterruptWatch& interrupt) {
    SerialPort port;
    ReplyFlags flags;
    SystemClock clock;
    JobLogPrinter printer(console);
    FixedInputs inputs(request);
    UpgradeOutcome outcome;
    {
        ReplyReceiver receiver(port, flags, clock);
        UpgradeWorker worker(port, flags, clock, inputs, printer);
        if (worker.start(UpgradeSettings{request.target, language, request.maxResends, request.lowLatency})) {
            while (worker.running()) {
                if (interrupt.waitFor(std::chrono::milliseconds{50})) {
                    // The job gives up at its next pause: AbortFrame, then "Update was failed !".
                    worker.cancel();
                    std::this_thread::sleep_for(std::chrono::milliseconds{20});
                }
            }
        }
        outcome = worker.wait();
        printer.finish();
        // Closing first wakes the receiver's read at once, so the stop does not wait it out.
        port.closePort();
        receiver.stop();
    }

    const int status = exitStatusOf(outcome, interrupt);
    JsonObject result;
    result.add("event", "result").add("ok", status == exitSuccess).add("exitCode", status).add("text", printer.lastLine());
    if (status != exitSuccess) {
        result.add("reason", outcome.reasonText).add("step", stepName(outcome.step));
        if (outcome.step == UpgradeStep::Block) {
            result.add("block", outcome.block).add("blocks", outcome.blockCount);
        }
    }
    console.event(result);
    return status;
}

} // namespace orvane
