// The records rule every front end's camera job follows, here through the station's: records
// required and not kept is the ending unusable with one reason, and nothing starts.
#include "station/station_job.h"
#include "text/string_table.h"

#include <gtest/gtest.h>
#include <mutex>

namespace orvane {
namespace {

class UnkeptRecorder final : public AttemptRecorder {
  public:
    bool startKept() const override { return false; }
    void complete(const UpgradeOutcome& /*outcome*/) override {}
    void imageLoaded(std::span<const std::uint8_t> /*bytes*/) override {}
};

class FullDisk final : public RecordsBook {
  public:
    std::unique_ptr<AttemptRecorder> begin(const AttemptFacts& /*facts*/, RecordTrouble trouble) override {
        trouble({"disk full"});
        return std::make_unique<UnkeptRecorder>();
    }
};

class RecordsRule : public ::testing::TestWithParam<bool> {};

TEST_P(RecordsRule, RequiredAndNotKeptStartsNothing) {
    const bool required = GetParam();
    const FirmwareImage image{"fw.bin", std::vector<std::uint8_t>(100, 0x5a), "digest"};
    FullDisk book;
    std::mutex mutex;
    std::vector<std::string> told;
    StationJobSetup setup{.image = &image,
                          .settings = {.language = TextLanguage::Chinese},
                          .records = &book,
                          .recordsRequired = required,
                          .recordTrouble = [&](const std::string& port, const RecordTroubleNote& note) {
                              const std::lock_guard lock(mutex);
                              told.push_back(port + ": " + note.reason);
                          }};
    StationState state(image.path, image.sha256, image.bytes.size());
    StationJob job(setup, "/nonexistent/ttyNothing", "left", std::nullopt, state, nullptr);

    job.start();
    const UpgradeOutcome outcome = job.finish();

    EXPECT_EQ(outcome.ending, UpgradeEnding::Unusable);
    if (required) {
        EXPECT_EQ(outcome.reason, UpgradeReason::RecordsNotKept);
        EXPECT_EQ(outcome.reasonText,
                  fillText(textOf(IDS_RECORDS_REQUIRED, TextLanguage::Chinese), {"disk full"}));
        EXPECT_TRUE(told.empty());
    } else {
        EXPECT_EQ(outcome.reason, UpgradeReason::PortUnusable);
        EXPECT_EQ(told, std::vector<std::string>{"/nonexistent/ttyNothing: disk full"});
    }
}

INSTANTIATE_TEST_SUITE_P(Station, RecordsRule, ::testing::Bool());

} // namespace
} // namespace orvane
