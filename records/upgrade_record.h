// One upgrade attempt as it is kept: enough to tell later which camera got which image, when,
// on which adapter, by whom, and why an attempt did not succeed. Written as "running" when
// the job starts and completed when it ends, so a crash leaves its evidence behind.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orvane {

// The endings a record can hold: the job's own ("succeeded", "failed", "unusable",
// "cancelled", as endingName gives them), "running" while it runs, and "interrupted" for a
// running record whose process is gone.
inline constexpr std::string_view recordRunning = "running";
inline constexpr std::string_view recordInterrupted = "interrupted";

struct UpgradeRecord {
    std::string id;             // a random UUID, also what makes a second send harmless
    std::int64_t startedMs = 0; // UTC, milliseconds since 1970
    std::int64_t durationMs = 0;
    std::string station;      // host name, or the name given
    std::string operatorName; // the name given, else the login name
    // The camera's port: as the user gave it, the device it stands for and what the system
    // says of the adapter.
    std::string port;
    std::string device;
    std::optional<std::string> byId;
    std::optional<std::string> driver;
    std::optional<std::string> vid;
    std::optional<std::string> pid;
    std::optional<std::string> usbSerial;
    // The image: the path as given, made absolute (empty in records older than that), and
    // the size and SHA-256 of the bytes sent.
    std::string image;
    std::string imagePath;
    std::uint64_t imageSize = 0;
    std::string imageSha256;
    std::string target; // main, motor, special
    int address = 0;
    int lineSpeed = 0;
    int upgradeSpeed = 0;
    std::string replyMode; // standard, low-latency
    std::string ending = std::string(recordRunning);
    std::string step; // as stepName gives it: where it ended, or reached while running
    std::uint32_t block = 0;
    std::uint32_t blocks = 0;
    std::string reason;
    std::uint32_t resends = 0;
    std::string toolVersion;
    // Who wrote it, so that a record left "running" by a crash can be told from a live one.
    std::string host;
    std::int64_t processId = 0;
    std::string bootId;
    // The camera and where this attempt stands among a station's: its label (none when not
    // given), the slot (nickname or port), the plug every attempt of one plug shares (the
    // record's own id for a single job) and the attempt's number within that plug.
    std::optional<std::string> unit;
    std::string slot;
    std::string plug;
    std::uint32_t attempt = 1;
    // The line's released job the image came from, and its version; none for an image named
    // on the command line or in the dialog.
    std::optional<std::string> job;
    std::optional<std::int64_t> jobVersion;
    // Kept only by a desk's file: the server ("host/database") a spooled record was sent to.
    std::optional<std::string> sentTo;

    bool operator==(const UpgradeRecord&) const = default;
};

} // namespace orvane
