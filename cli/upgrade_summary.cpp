#include "cli/upgrade_summary.h"

#include "cli/exit_codes.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace orvane {
namespace {

std::string fixed1(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

// One row a port, columns padded to their widest cell, the reason last since it is the
// longest.
void printTable(Console& console, std::span<const CameraReport> cameras) {
    std::vector<std::vector<std::string>> rows{{"PORT", "RESULT", "SECONDS", "BYTES/S", "RESENDS", "REASON"}};
    for (const CameraReport& camera : cameras) {
        const std::string reason = camera.exitStatus == exitSuccess ? "" : camera.outcome.reasonText;
        rows.push_back({portLabel(camera.port), std::string(endingName(camera.outcome.ending)),
                        fixed1(camera.seconds),
                        std::to_string(static_cast<long long>(camera.bytesPerSecond())),
                        std::to_string(camera.outcome.resends), reason});
    }
    std::vector<std::size_t> widths(rows.front().size(), 0);
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            widths[i] = std::max(widths[i], row[i].size());
        }
    }
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) {
                line.append(widths[i] - row[i].size() + 2, ' ');
            }
        }
        while (!line.empty() && line.back() == ' ') {
            line.pop_back();
        }
        console.line(line);
    }
}

JsonFields summaryFields(std::span<const CameraReport> cameras, int status) {
    JsonFields entries = JsonFields::array();
    std::size_t succeeded = 0;
    std::string failed;
    for (const CameraReport& camera : cameras) {
        JsonFields entry{{"port", camera.port}};
        entry.update(resultFields(cameraResult(camera, true)));
        entry["ending"] = endingName(camera.outcome.ending);
        entries.push_back(std::move(entry));
        if (camera.exitStatus == exitSuccess) {
            ++succeeded;
        } else {
            failed += (failed.empty() ? "" : ", ") + camera.port;
        }
    }
    JsonFields summary{
        {"ok", status == exitSuccess},
        {"exitCode", status},
        {"text", std::to_string(succeeded) + " of " + std::to_string(cameras.size()) + " cameras upgraded"}};
    if (status != exitSuccess) {
        summary["reason"] = failed.empty() ? "interrupted" : "not upgraded: " + failed;
    }
    const auto stopped = std::find_if(cameras.begin(), cameras.end(),
                                      [](const CameraReport& camera) { return !camera.signal.empty(); });
    if (stopped != cameras.end()) {
        summary["signal"] = stopped->signal;
    }
    summary["cameras"] = std::move(entries);
    return summary;
}

} // namespace

CommandResult cameraResult(const CameraReport& camera, bool several) {
    CommandResult result;
    result.exitCode = camera.exitStatus;
    // A job that ends before its first log line (no port) has only its reason to say.
    result.text = camera.lastLine.empty() ? camera.outcome.reasonText : camera.lastLine;
    result.reason = camera.outcome.reasonText;
    result.port = {camera.port, several};
    result.shown = true;
    JsonFields& details = result.details;
    if (camera.exitStatus != exitSuccess) {
        details["step"] = stepName(camera.outcome.step);
        if (camera.outcome.step == UpgradeStep::Block) {
            details["block"] = camera.outcome.block;
            details["blocks"] = camera.outcome.blockCount;
        }
    }
    details["seconds"] = oneDecimal(camera.seconds);
    details["bytesPerSecond"] = oneDecimal(camera.bytesPerSecond());
    details["resends"] = camera.outcome.resends;
    if (!camera.signal.empty()) {
        details["signal"] = camera.signal;
    }
    return result;
}

void printSummary(Console& console, std::span<const CameraReport> cameras, int status) {
    if (console.json()) {
        console.event("summary", summaryFields(cameras, status));
    } else {
        printTable(console, cameras);
    }
}

} // namespace orvane
