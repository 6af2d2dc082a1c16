// An attempt's record through the book every front end uses: what it keeps of the choices,
// and how far a running attempt came, written off the job's thread, never over its ending.
#include "attempts/records_book.h"
#include "records/sqlite_store.h"
#include "support/temp_folder.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

namespace orvane {
namespace {

using namespace std::chrono_literals;

// The progress writer's tick, with room for a loaded machine.
constexpr auto pastATick = 1500ms;

class AttemptBook : public ::testing::Test {
  protected:
    void SetUp() override {
        opened_ = openRecordsBook({.place = file_});
        ASSERT_TRUE(opened_.book) << opened_.refusal;
    }

    UpgradeRecord kept() const {
        StoreStatus status;
        const auto found = SqliteStore::openForReading(file_, status)->find({}, status);
        EXPECT_EQ(found.size(), 1U) << status.reason;
        return found.empty() ? UpgradeRecord{} : found.front();
    }

    const test::TempFolder folder_;
    const std::string file_ = folder_.file("records.sqlite");
    OpenedBook opened_;
};

TEST_F(AttemptBook, KeepsTheImageAsTypedAndAbsoluteAndASingleJobIsAPlugOfItsOwn) {
    auto recorder = opened_.book->begin({.port = "ttyUSB4", .imagePath = "fw2.bin"}, {});
    const UpgradeRecord single = kept();
    EXPECT_EQ(single.image, "fw2.bin");
    EXPECT_EQ(single.imagePath, (std::filesystem::current_path() / "fw2.bin").string());
    EXPECT_EQ(single.slot, "ttyUSB4");
    EXPECT_EQ(single.plug, single.id);
    EXPECT_EQ(single.attempt, 1U);
    EXPECT_FALSE(single.unit);
}

TEST_F(AttemptBook, ARetryKeepsItsUnitSlotPlugAndNumber) {
    auto recorder = opened_.book->begin({.port = "/dev/ttyUSB4",
                                         .imagePath = "/srv/fw.bin",
                                         .unit = "SN-0042",
                                         .slot = "left",
                                         .plug = "plug-7",
                                         .attempt = 2},
                                        {});
    const UpgradeRecord retry = kept();
    EXPECT_EQ(retry.imagePath, "/srv/fw.bin");
    EXPECT_EQ(retry.unit, "SN-0042");
    EXPECT_EQ(retry.slot, "left");
    EXPECT_EQ(retry.plug, "plug-7");
    EXPECT_EQ(retry.attempt, 2U);
}

// The step and block reached reach the file within about a second, not from the job's call;
// once the attempt has ended, a late progress write never turns it back into running.
TEST_F(AttemptBook, ProgressIsWrittenOffTheJobsThreadAndNeverOverTheEnding) {
    auto recorder = opened_.book->begin({.port = "ttyUSB4", .imagePath = "fw.bin"}, {});
    recorder->reached(UpgradeStep::Block, 3, 10);
    EXPECT_EQ(kept().step, "") << "written on the job's thread";
    std::this_thread::sleep_for(pastATick);
    const UpgradeRecord running = kept();
    EXPECT_EQ(running.ending, "running");
    EXPECT_EQ(running.step, "block");
    EXPECT_EQ(running.block, 3U);
    EXPECT_EQ(running.blocks, 10U);
    EXPECT_GT(running.durationMs, 0);

    recorder->reached(UpgradeStep::Block, 4, 10);
    recorder->complete({.ending = UpgradeEnding::Failed,
                        .step = UpgradeStep::Block,
                        .block = 4,
                        .blockCount = 10,
                        .reasonText = "no answer"});
    recorder->reached(UpgradeStep::Block, 5, 10);
    std::this_thread::sleep_for(pastATick);
    const UpgradeRecord ended = kept();
    EXPECT_EQ(ended.ending, "failed");
    EXPECT_EQ(ended.block, 4U);
}

} // namespace
} // namespace orvane
