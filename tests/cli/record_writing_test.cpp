// What `upgrade --records` leaves behind: one record an attempt, read back from its file, and
// what the upgrade does when the file cannot be kept.
#include "cli_process.h"
#include "imagetools/sha256.h"
#include "records/sqlite_store.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdlib.h>

namespace orvane::test {
namespace {

class Camera {
  public:
    explicit Camera(const TempFolder& dir, const std::string& name = "cam",
                    std::vector<std::string> faults = {})
        : link_(dir.file(name)) {
        std::vector<std::string> args{"simulate", "--link", link_};
        args.insert(args.end(), faults.begin(), faults.end());
        process_ = std::make_unique<CliProcess>(args);
        ready_ = process_->waitForLine("ready:", 10s).has_value();
    }
    bool ready() const { return ready_; }
    const std::string& link() const { return link_; }
    CliResult stop() {
        process_->interrupt();
        return process_->wait(10s);
    }

  private:
    std::string link_;
    std::unique_ptr<CliProcess> process_;
    bool ready_ = false;
};

std::string imageOf(const TempFolder& dir, std::string& sha256) {
    std::string bytes(2500, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>(i * 7 + 3);
    }
    sha256 = hexDigest(sha256Of({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}));
    const std::string path = dir.file("fw.bin");
    writeFile(path, bytes);
    return path;
}

std::vector<UpgradeRecord> recordsIn(const std::string& path) {
    StoreStatus status;
    const auto store = SqliteStore::open(path, status);
    EXPECT_TRUE(store != nullptr) << status.reason;
    return store ? store->find({}, status) : std::vector<UpgradeRecord>{};
}

// The digest as the tool a technician checks with prints it.
std::string sha256sumOf(const std::string& path) {
    const std::unique_ptr<FILE, int (*)(FILE*)> tool(popen(("sha256sum '" + path + "'").c_str(), "r"),
                                                     pclose);
    std::string digest(64, '\0');
    return tool && std::fread(digest.data(), 1, digest.size(), tool.get()) == digest.size() ? digest : "";
}

std::size_t count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
}

TEST(CliRecordWriting, SucceededAttemptKeptWithTheDigestOfWhatWasSent) {
    const TempFolder dir;
    Camera camera(dir);
    ASSERT_TRUE(camera.ready());
    std::string sha256;
    const std::string image = imageOf(dir, sha256);
    const std::string file = dir.file("records.sqlite");

    const CliResult result = runCli({"upgrade", image, "--port", camera.link(), "--records", file,
                                     "--operator", "ann", "--station-name", "line-2"});
    camera.stop();

    ASSERT_EQ(result.exitCode, 0) << result.err;
    const auto records = recordsIn(file);
    ASSERT_EQ(records.size(), 1U);
    const UpgradeRecord& r = records.front();
    EXPECT_EQ(r.ending, "succeeded");
    EXPECT_EQ(r.step, "done");
    EXPECT_EQ(r.imageSha256, sha256);
    EXPECT_EQ(r.imageSize, 2500U);
    EXPECT_EQ(r.blocks, 3U);
    EXPECT_EQ(r.port, camera.link());
    EXPECT_FALSE(r.device.empty());
    EXPECT_EQ(r.lineSpeed, 9600);
    EXPECT_EQ(r.upgradeSpeed, 9600);
    EXPECT_EQ(r.replyMode, "standard");
    EXPECT_GT(r.durationMs, 0);
    EXPECT_EQ(r.operatorName, "ann");
    EXPECT_EQ(r.station, "line-2");
    EXPECT_EQ(r.toolVersion, ORVANE_VERSION);
    EXPECT_EQ(r.id.size(), 36U);
}

// What a script reads back after a run: the attempt that succeeded with the digest sha256sum
// gives, and the one the camera gave up on with where and why it stopped.
TEST(CliRecordWriting, RecordsJsonTellsASucceededAttemptFromAFailedOne) {
    const TempFolder dir;
    Camera good(dir, "good");
    Camera giving(dir, "giving", {"--abort-at-block", "2"});
    ASSERT_TRUE(good.ready() && giving.ready());
    std::string sha256;
    const std::string image = imageOf(dir, sha256);
    const std::string file = dir.file("records.sqlite");
    runCli({"upgrade", image, "--port", good.link(), "--port", giving.link(), "--records", file});
    good.stop();
    giving.stop();

    const CliResult listed = runCli({"records", "--records", file, "--json"});
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    std::map<std::string, nlohmann::json> byPort;
    std::istringstream lines(listed.out);
    for (std::string line; std::getline(lines, line);) {
        const auto event = nlohmann::json::parse(line);
        if (event["event"] == "record") {
            byPort[event["port"].get<std::string>()] = event;
        }
    }
    ASSERT_EQ(byPort.size(), 2U) << listed.out;
    const nlohmann::json& ok = byPort[good.link()];
    EXPECT_EQ(ok["ending"], "succeeded");
    EXPECT_EQ(ok["sha256"], sha256sumOf(image));
    EXPECT_EQ(ok["lineSpeed"], 9600);
    EXPECT_EQ(ok["upgradeSpeed"], 9600);
    EXPECT_GT(ok["seconds"].get<double>(), 0.0);
    const nlohmann::json& failed = byPort[giving.link()];
    EXPECT_EQ(failed["ending"], "failed");
    EXPECT_EQ(failed["step"], "block");
    EXPECT_EQ(failed["block"], 2);
    EXPECT_FALSE(failed["reason"].get<std::string>().empty());
}

TEST(CliRecordWriting, UnusablePortKeptWithItsStepAndReason) {
    const TempFolder dir;
    std::string sha256;
    const std::string image = imageOf(dir, sha256);
    const std::string file = dir.file("records.sqlite");

    const CliResult result = runCli({"upgrade", image, "--port", dir.file("nothing"), "--records", file});

    EXPECT_EQ(result.exitCode, 3);
    const auto records = recordsIn(file);
    ASSERT_EQ(records.size(), 1U);
    EXPECT_EQ(records.front().ending, "unusable");
    EXPECT_EQ(records.front().step, "port");
    EXPECT_FALSE(records.front().reason.empty());
    EXPECT_EQ(records.front().imageSha256, sha256); // the image was read before the port failed
}

TEST(CliRecordWriting, NoneKeepsNothingEvenInTheDefaultFile) {
    const TempFolder dir;
    std::string sha256;
    const std::string image = imageOf(dir, sha256);
    setenv("XDG_STATE_HOME", dir.file("state").c_str(), 1);

    const CliResult result = runCli({"upgrade", image, "--port", dir.file("nothing"), "--records", "none"});
    unsetenv("XDG_STATE_HOME");

    EXPECT_EQ(result.exitCode, 3);
    EXPECT_FALSE(std::filesystem::exists(dir.file("state")));
}

// A regular file where the records' folder should be: no store can be made there, even by root.
TEST(CliRecordWriting, UnwritablePlaceSaidOnceAndTheUpgradeGoesOnUnlessRequired) {
    const TempFolder dir;
    Camera camera(dir);
    ASSERT_TRUE(camera.ready());
    std::string sha256;
    const std::string image = imageOf(dir, sha256);
    writeFile(dir.file("blocked"), "x");
    const std::string file = dir.file("blocked") + "/records.sqlite";

    const CliResult required =
        runCli({"upgrade", image, "--port", camera.link(), "--records", file, "--records-required"});
    const CliResult kept = runCli({"upgrade", image, "--port", camera.link(), "--records", file});
    const CliResult simulated = camera.stop();
    const CliResult json =
        runCli({"upgrade", image, "--port", dir.file("nothing"), "--records", file, "--json"});

    EXPECT_EQ(count(json.out, R"("event":"recordNotKept")"), 1U) << json.out;
    EXPECT_EQ(required.exitCode, 3);
    EXPECT_EQ(count(required.err, "Records are required but cannot be kept"), 1U) << required.err;
    EXPECT_EQ(kept.exitCode, 0) << kept.err;
    EXPECT_EQ(count(kept.err, "could not be kept"), 1U) << kept.err;
    EXPECT_NE(kept.err.find("unable to open"), std::string::npos) << kept.err;
    // Only the second run reached the camera: one upgrade, one verdict.
    EXPECT_EQ(count(simulated.out, "verdict match"), 1U) << simulated.out;
}

} // namespace
} // namespace orvane::test
