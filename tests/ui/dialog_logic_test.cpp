// The dialog's logic without a window: a view that records what it is asked, the scripted
// camera of the upgrade tests and a fake clock, or the virtual camera on an in-memory line.
// The view plays the dialog thread with the dialog's own call queue: the job's calls wait until
// the test pumps them, as a sent window message waits for the dialog.
#include "imagetools/hex_test_files.h"
#include "imagetools/sha256.h"
// The records room is built where its stores are; this file is built everywhere.
#if __has_include("records/sqlite_store.h")
#include "records/sqlite_store.h"
#define ORVANE_TEST_RECORDS 1
#endif
#include "sim/memory_camera.h"
#include "text/string_table.h"
#include "text/text_language.h"
#include "ui/dialog_template.h"
#include "ui/logic/dialog_call_queue.h"
#include "ui/logic/upgrade_dlg_logic.h"
#include "upgrade/job_rig.h"

#include <array>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <thread>

namespace orvane::testing {
namespace {

using namespace std::chrono_literals;

class FakeView final : public DialogView {
  public:
    std::map<int, std::string> texts{
        {IDC_PORT, "ttyFAKE"}, {IDC_BPS, "9600"}, {IDC_ADDRESS, "1"}, {IDC_UPBPS, "9600"}};
    std::map<int, bool> enabled; // a control not named here is enabled
    std::vector<std::string> messages;
    std::vector<std::string> questions;
    std::vector<DefaultAnswer> questionDefaults;
    bool answerYes = false;
    std::deque<std::optional<std::string>> files; // nullopt: the user cancels
    std::vector<FileChoice> choices;
    std::vector<std::string> logShown; // every text set into the log box
    std::function<void()> onWait;      // while the logic waits for a job to give up
    std::function<void()> onShutDown;
    std::function<void(int id)> onRead; // as a control's text is read

    std::string controlText(int id) override {
        if (onRead) {
            onRead(id);
        }
        return texts[id];
    }
    void setControlText(int id, const std::string& text) override {
        texts[id] = text;
        if (id == IDC_LOG) {
            logShown.push_back(text);
        }
    }
    bool controlEnabled(int id) override { return !enabled.contains(id) || enabled[id]; }
    void enableControl(int id, bool on) override { enabled[id] = on; }
    void showMessage(const std::string& text) override { messages.push_back(text); }
    bool askYesNo(const std::string& text, DefaultAnswer preset) override {
        questions.push_back(text);
        questionDefaults.push_back(preset);
        return answerYes;
    }
    std::optional<std::string> chooseFile(const FileChoice& choice) override {
        choices.push_back(choice);
        if (files.empty()) {
            return std::nullopt;
        }
        auto picked = files.front();
        files.pop_front();
        return picked;
    }

    bool runOnDialogThread(std::function<void()> task) override { return queue_.call(std::move(task)); }
    void post(std::function<void()> task) override {
        {
            const std::lock_guard lock(mutex_);
            if (holding_) {
                held_.push_back(std::move(task));
                return;
            }
        }
        queue_.post(std::move(task));
    }
    // Posts wait aside from now on, as if the dialog thread were slow to take them ...
    void holdPosts() {
        const std::lock_guard lock(mutex_);
        holding_ = true;
    }
    // ... until they are queued and run here.
    void releasePosts() {
        std::vector<std::function<void()>> held;
        {
            const std::lock_guard lock(mutex_);
            holding_ = false;
            held = std::exchange(held_, {});
        }
        for (auto& task : held) {
            queue_.post(std::move(task));
        }
        queue_.runPending();
    }
    void shutDownDialogThreadCalls() override {
        queue_.shutDown();
        if (onShutDown) {
            onShutDown();
        }
    }
    void waitWithMessages(const std::function<bool()>& done) override {
        if (onWait) {
            onWait();
        }
        pumpUntil(done);
    }

    // Runs the job's calls and the posted ones here, the dialog thread, until done() holds.
    bool pumpUntil(const std::function<bool()>& done, std::chrono::seconds limit = 20s) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            {
                std::unique_lock lock(mutex_);
                rung_.wait_for(lock, 5ms, [&] { return woken_; });
                woken_ = false;
            }
            queue_.runPending();
        }
        return true;
    }

  private:
    // The window's wake-up: called with the queue's lock held, so it only notes the ring.
    bool ring() {
        const std::lock_guard lock(mutex_);
        woken_ = true;
        rung_.notify_all();
        return true;
    }

    std::mutex mutex_;
    std::condition_variable rung_;
    bool woken_ = false;
    bool holding_ = false;
    std::vector<std::function<void()>> held_;
    DialogCallQueue queue_{[this] { return ring(); }};
};

// The receiver is not started (no OnInitDialog): the scripted camera raises the flags itself.
struct LogicRig {
    ReplyFlags flags;
    FakeClock clock;
    ScriptedCamera camera{flags, clock};
    FakeView view;
    std::unique_ptr<UpgradeDlgLogic> logic =
        std::make_unique<UpgradeDlgLogic>(DialogLogicServices{camera, flags, clock, view});

    ~LogicRig() { logic.reset(); }
    bool waitForJobEnd() {
        return view.pumpUntil([this] { return !logic->jobRunning() && view.controlEnabled(IDC_PTZ_LEFT); });
    }
};

// Holds the job inside its first block write until opened.
class Gate {
  public:
    void hold(ScriptedCamera& camera) {
        camera.onWrite = [this](Sent kind) {
            std::unique_lock lock(mutex_);
            if (kind == Sent::Block && !open_) {
                reached_ = true;
                changed_.notify_all();
                changed_.wait(lock, [this] { return open_; });
            }
        };
    }
    bool reached() {
        const std::lock_guard lock(mutex_);
        return reached_;
    }
    void open() {
        const std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool reached_ = false;
    bool open_ = false;
};

constexpr std::string_view succeeded =
    "Start\r\nSend Command successful !\r\nSend updated datas  progress:100%\r\n"
    "Update was successful !\r\n";

struct PortCase {
    const char* name;
    std::string speedText;
    int openErrno; // 0: the port opens
    int closeErrno;
    std::string openTrace;
    std::vector<std::string> messageStarts;
    bool openEnabledAfter;
};

void PrintTo(const PortCase& row, std::ostream* out) {
    *out << row.name;
}

class PortButtons : public ::testing::TestWithParam<PortCase> {};

TEST_P(PortButtons, OpenAndCloseFollowThePort) {
    const PortCase& c = GetParam();
    LogicRig rig;
    rig.camera.open = false;
    rig.view.texts[IDC_BPS] = c.speedText;
    if (c.openErrno != 0) {
        rig.camera.failOpen[1] = c.openErrno;
    }
    if (c.closeErrno != 0) {
        rig.camera.failClose[1] = c.closeErrno;
    }
    EXPECT_TRUE(rig.logic->OnCommand(IDC_OPEN));
    EXPECT_EQ(rig.logic->m_portName, "ttyFAKE");
    EXPECT_EQ(rig.view.controlEnabled(IDC_OPEN), c.openErrno != 0);
    EXPECT_EQ(rig.view.controlEnabled(IDC_CLOSE), c.openErrno == 0);
    EXPECT_TRUE(rig.logic->OnCommand(IDC_CLOSE));
    EXPECT_EQ(rig.camera.trace(), (std::vector<std::string>{c.openTrace, "close"}));
    ASSERT_EQ(rig.view.messages.size(), c.messageStarts.size());
    for (std::size_t i = 0; i < c.messageStarts.size(); ++i) {
        EXPECT_TRUE(rig.view.messages[i].starts_with(c.messageStarts[i])) << rig.view.messages[i];
        // A refusal says why after message 116 or 118.
        EXPECT_EQ(c.messageStarts[i].ends_with("\n\n"),
                  rig.view.messages[i].size() > c.messageStarts[i].size());
    }
    EXPECT_EQ(rig.view.controlEnabled(IDC_OPEN), c.openEnabledAfter);
    EXPECT_EQ(rig.view.controlEnabled(IDC_CLOSE), !c.openEnabledAfter);
    EXPECT_TRUE(rig.view.questions.empty());
}

INSTANTIATE_TEST_SUITE_P(
    DialogLogic, PortButtons,
    ::testing::Values(PortCase{"OpenThenClose",
                               "9600",
                               0,
                               0,
                               "open ttyFAKE 9600",
                               {"Serial ports open successful !", "Serial ports close successful !"},
                               true},
                      PortCase{"SpeedNotANumber",
                               "fast",
                               0,
                               0,
                               "open ttyFAKE 0",
                               {"Serial ports open successful !", "Serial ports close successful !"},
                               true},
                      PortCase{"TypedSpeedWithBlanks",
                               "  57600",
                               0,
                               0,
                               "open ttyFAKE 57600",
                               {"Serial ports open successful !", "Serial ports close successful !"},
                               true},
                      PortCase{"RefusedOpen",
                               "9600",
                               ENOENT,
                               0,
                               "open ttyFAKE 9600",
                               {"Serial ports open fail !\n\n", "Serial ports close successful !"},
                               true},
                      PortCase{"RefusedClose",
                               "9600",
                               0,
                               EIO,
                               "open ttyFAKE 9600",
                               {"Serial ports open successful !", "Serial ports close fail !\n\n"},
                               false}),
    [](const auto& row) { return std::string(row.param.name); });

struct UpdateCase {
    const char* name;
    int button;
    UpgradeTarget target;
    std::size_t imageLength;
};

void PrintTo(const UpdateCase& row, std::ostream* out) {
    *out << row.name;
}

class UpdateButtons : public ::testing::TestWithParam<UpdateCase> {};

TEST_P(UpdateButtons, FlashTheCameraWithThePortLocked) {
    const UpdateCase& c = GetParam();
    LogicRig rig;
    TempFile image{imageOf(c.imageLength)};
    rig.view.files = {image.path()};
    rig.logic->OnCommand(IDC_FILE);
    rig.view.enabled[IDC_CLOSE] = false;
    rig.logic->setLanguageFlag(1);

    EXPECT_TRUE(rig.logic->OnCommand(c.button));
    ASSERT_TRUE(rig.logic->jobRunning());
    EXPECT_EQ(rig.logic->currentTarget(), c.target);
    for (const int id :
         {IDC_OPEN, IDC_CLOSE, IDC_PORT, IDC_BPS, IDC_UPBPS, IDC_PTZ_LEFT, IDC_PTZ_HOME, IDC_PTZ_FAR}) {
        EXPECT_FALSE(rig.view.controlEnabled(id)) << id;
    }
    EXPECT_TRUE(rig.view.controlEnabled(IDC_ADDRESS)); // read once, at the job's start
    // The handlers refuse as well while the job owns the port.
    rig.logic->OnPtzLeft();
    rig.logic->OnOpenPort();
    rig.logic->OnClosePort();

    ASSERT_TRUE(rig.waitForJobEnd());
    EXPECT_EQ(rig.logic->m_logText, succeeded);
    EXPECT_EQ(rig.view.texts[IDC_LOG], succeeded);
    EXPECT_EQ(rig.logic->m_portName, "ttyFAKE");
    EXPECT_EQ(rig.camera.written(Sent::Block).size(), (c.imageLength + 1023) / 1024);
    EXPECT_TRUE(rig.camera.written(Sent::Other).empty()); // no PTZ frame
    EXPECT_TRUE(rig.view.messages.empty());
    EXPECT_FALSE(rig.view.controlEnabled(IDC_CLOSE)); // as it was before the job
    EXPECT_TRUE(rig.view.controlEnabled(IDC_OPEN));
}

const auto updateCases =
    ::testing::Values(UpdateCase{"MainThreeBlocks", IDC_UPDATE_MAIN, UpgradeTarget::MainBoard, 3000},
                      UpdateCase{"MotorTwoBlocks", IDC_UPDATE_MOTOR, UpgradeTarget::MotorBoard, 2048},
                      UpdateCase{"SpecialOneBlock", IDC_UPDATE_SPECIAL, UpgradeTarget::Special, 700});

INSTANTIATE_TEST_SUITE_P(DialogLogic, UpdateButtons, updateCases,
                         [](const auto& row) { return std::string(row.param.name); });

// The same buttons against the virtual camera on an in-memory line, with the real receiver,
// clock and speed switches (line 9600, upgrade 115200): the camera must hold the image.
class UpdateButtonsOnMemoryLine : public ::testing::TestWithParam<UpdateCase> {};

TEST_P(UpdateButtonsOnMemoryLine, FlashTheImageByteForByte) {
    const UpdateCase& c = GetParam();
    const Bytes bytes = imageOf(c.imageLength);
    TempFile image{bytes};
    MemoryCamera camera({.address = 1, .lineSpeed = 9600, .upgradeSpeed = 115200});
    ReplyFlags flags;
    SystemClock clock;
    FakeView view;
    view.texts[IDC_UPBPS] = "115200";
    view.files = {image.path()};
    UpgradeDlgLogic logic({camera.link(), flags, clock, view});
    logic.OnInitDialog();
    logic.setLanguageFlag(1);
    logic.OnCommand(IDC_FILE);

    EXPECT_TRUE(logic.OnCommand(c.button));
    ASSERT_TRUE(view.pumpUntil([&] { return !logic.jobRunning(); }));
    EXPECT_EQ(logic.m_logText, succeeded);
    const auto verdict = camera.waitForVerdict(2s);
    ASSERT_TRUE(verdict);
    EXPECT_TRUE(verdict->matches) << verdict->summary;
    EXPECT_EQ(verdict->target, c.target);
    EXPECT_EQ(verdict->image, bytes);
}

INSTANTIATE_TEST_SUITE_P(DialogLogic, UpdateButtonsOnMemoryLine, updateCases,
                         [](const auto& row) { return std::string(row.param.name); });

// HEX text chosen as the image: the job asks first (No is the default) and sends nothing
// unless told yes.
class UnusualImage : public ::testing::TestWithParam<bool> {};

TEST_P(UnusualImage, GoesOutOnlyAfterAYes) {
    const bool yes = GetParam();
    const std::string hex = ":0400000508000000EF\r\n:00000001FF\r\n";
    TempFile image{Bytes(hex.begin(), hex.end())};
    MemoryCamera camera({.address = 1, .lineSpeed = 9600, .upgradeSpeed = 9600});
    ReplyFlags flags;
    SystemClock clock;
    FakeView view;
    view.files = {image.path()};
    view.answerYes = yes;
    UpgradeDlgLogic logic({camera.link(), flags, clock, view});
    logic.OnInitDialog();
    logic.OnCommand(IDC_FILE);

    EXPECT_TRUE(logic.OnCommand(IDC_UPDATE_MAIN));
    ASSERT_TRUE(view.pumpUntil([&] { return !logic.jobRunning(); }));
    const std::string reason = fillText(textOf(IDS_IMAGE_IS_HEX, TextLanguage::English), {image.path()});
    ASSERT_EQ(view.questions.size(), 1U);
    EXPECT_TRUE(view.questions.front().starts_with(reason)) << view.questions.front();
    EXPECT_EQ(view.questionDefaults, std::vector{DefaultAnswer::No}); // Enter sends nothing
    if (yes) {
        EXPECT_EQ(logic.m_logText, succeeded);
        const auto verdict = camera.waitForVerdict(2s);
        ASSERT_TRUE(verdict);
        EXPECT_EQ(verdict->image, Bytes(hex.begin(), hex.end()));
    } else {
        EXPECT_EQ(logic.m_logText, reason + "\r\n");
        EXPECT_TRUE(camera.receivedFrames().empty());
    }
}

INSTANTIATE_TEST_SUITE_P(DialogLogic, UnusualImage, ::testing::Bool());

#ifdef ORVANE_TEST_RECORDS
TEST(DialogLogic, EveryJobLeavesItsRecord) {
    const Bytes bytes = imageOf(3000);
    TempFile image{bytes};
    const std::string file = image.path() + ".records.sqlite";
    OpenedBook records = openRecordsBook({.place = file, .operatorName = "ann"});
    ASSERT_TRUE(records.book) << records.refusal;
    MemoryCamera camera({.address = 1, .lineSpeed = 9600, .upgradeSpeed = 9600});
    ReplyFlags flags;
    SystemClock clock;
    FakeView view;
    view.texts[IDC_PORT] = "ttyS3";
    view.files = {image.path()};
    {
        UpgradeDlgLogic logic({camera.link(), flags, clock, view, records.book.get()});
        logic.OnInitDialog();
        logic.OnCommand(IDC_FILE);
        EXPECT_TRUE(logic.OnCommand(IDC_UPDATE_MAIN));
        ASSERT_TRUE(view.pumpUntil([&] { return !logic.jobRunning(); }));
    }

    StoreStatus status;
    std::vector<UpgradeRecord> kept;
    {
        const auto store = SqliteStore::open(file, status);
        ASSERT_TRUE(store) << status.reason;
        kept = store->find({}, status);
    }
    // Closed first: Windows removes no file that is open.
    records.book.reset();
    for (const char* end : {"", "-wal", "-shm"}) {
        std::filesystem::remove(file + end);
    }
    ASSERT_EQ(kept.size(), 1U);
    EXPECT_EQ(kept.front().ending, "succeeded");
    EXPECT_EQ(kept.front().port, "ttyS3");
    EXPECT_EQ(kept.front().imagePath, image.path());
    EXPECT_EQ(kept.front().imageSha256, hexDigest(sha256Of(bytes)));
    EXPECT_EQ(kept.front().operatorName, "ann");
    EXPECT_EQ(kept.front().target, "main");
}

// The desk's records file could not be opened: the upgrade goes on, and its log says so.
TEST(DialogLogic, ARecordsFileThatCannotBeOpenedIsSaidAfterTheJob) {
    TempFile image{imageOf(3000)};
    OpenedBook records = openRecordsBook({.place = image.path() + "/under-a-file/records.sqlite"});
    ASSERT_FALSE(records.book);
    ASSERT_FALSE(records.refusal.empty());
    MemoryCamera camera({.address = 1, .lineSpeed = 9600, .upgradeSpeed = 9600});
    ReplyFlags flags;
    SystemClock clock;
    FakeView view;
    view.files = {image.path()};
    UpgradeDlgLogic logic({camera.link(), flags, clock, view, nullptr, records.refusal});
    logic.OnInitDialog();
    logic.OnCommand(IDC_FILE);
    EXPECT_TRUE(logic.OnCommand(IDC_UPDATE_MAIN));
    ASSERT_TRUE(view.pumpUntil([&] { return !logic.jobRunning(); }));
    EXPECT_NE(logic.m_logText.find("Update was successful !"), std::string::npos) << logic.m_logText;
    EXPECT_NE(logic.m_logText.find("could not be kept: " + records.refusal), std::string::npos)
        << logic.m_logText;
}
#endif

// Job 1 has ended but its unlock still waits for the dialog thread when job 2 starts: that
// unlock must leave job 2's controls locked.
TEST(DialogLogic, AnEndedJobsLateUnlockLeavesTheNextJobLocked) {
    LogicRig rig;
    TempFile image{imageOf(3000)};
    Gate gate;
    rig.view.onShutDown = [&] { gate.open(); };
    rig.view.holdPosts();
    rig.logic->OnUpdateMainBoard(); // no image chosen: ends at once
    ASSERT_TRUE(rig.view.pumpUntil([&] { return !rig.logic->jobRunning(); }));

    gate.hold(rig.camera);
    rig.view.files = {image.path()};
    rig.logic->OnSelectFile();
    rig.logic->OnUpdateMainBoard();
    rig.view.releasePosts();
    ASSERT_TRUE(rig.view.pumpUntil([&] { return gate.reached(); }));
    for (const int id : {IDC_OPEN, IDC_PORT, IDC_BPS, IDC_UPBPS, IDC_PTZ_LEFT, IDC_PTZ_FAR}) {
        EXPECT_FALSE(rig.view.controlEnabled(id)) << id;
    }
    gate.open();
    ASSERT_TRUE(rig.waitForJobEnd()); // its own unlock still comes
    EXPECT_TRUE(rig.logic->m_logText.ends_with("Update was successful !\r\n"));
    EXPECT_TRUE(rig.view.controlEnabled(IDC_OPEN));
}

TEST(DialogLogic, NoImageChosenOnlySaysSo) {
    LogicRig rig;
    rig.logic->OnUpdateMainBoard();
    ASSERT_TRUE(rig.waitForJobEnd());
    EXPECT_EQ(rig.logic->m_logText, "Please Select File !\r\n");
    EXPECT_TRUE(rig.camera.written(Sent::Enter).empty());
}

// A dialog that ends while the job reads its boxes refuses the reads that follow: the job gives
// up rather than sending the EnterUpgradeCommand to an address it never read.
TEST(DialogLogic, ReadsRefusedByAnEndedDialogSendNothing) {
    LogicRig rig;
    TempFile image{imageOf(3000)};
    rig.view.files = {image.path()};
    rig.logic->OnSelectFile();
    rig.view.onRead = [&rig](int id) {
        if (id == IDC_BPS) {
            rig.view.shutDownDialogThreadCalls();
        }
    };
    rig.logic->OnUpdateMainBoard();
    ASSERT_TRUE(rig.view.pumpUntil([&] { return !rig.logic->jobRunning(); }));
    EXPECT_EQ(rig.camera.trace(), (std::vector<std::string>{"close", "open ttyFAKE 9600"}));
}

// Enter, Escape and the close box all ask mayEndDialog.
enum class Ending { NoJob, JobAndNo, JobAndYes, Destroyed };

std::string nameOf(Ending ending) {
    constexpr std::array names{"NoJob", "JobAndNo", "JobAndYes", "Destroyed"};
    return names[static_cast<std::size_t>(ending)];
}
void PrintTo(Ending ending, std::ostream* out) {
    *out << nameOf(ending);
}

class EndingTheDialog : public ::testing::TestWithParam<Ending> {};

TEST_P(EndingTheDialog, AsksOnlyWhileAJobRuns) {
    const Ending ending = GetParam();
    LogicRig rig;
    TempFile image{imageOf(3000)};
    Gate gate;
    rig.view.onWait = [&] { gate.open(); };
    rig.view.onShutDown = [&] { gate.open(); };
    if (ending != Ending::NoJob) {
        gate.hold(rig.camera);
        rig.view.files = {image.path()};
        rig.logic->OnSelectFile();
        rig.logic->OnUpdateMainBoard();
        ASSERT_TRUE(rig.view.pumpUntil([&] { return gate.reached(); }));
        // A second start is refused with a line and leaves the running job's board.
        rig.logic->OnUpdateMotorBoard();
        EXPECT_TRUE(rig.logic->m_logText.ends_with("An upgrade is already running !\r\n"))
            << rig.logic->m_logText;
        EXPECT_EQ(rig.logic->currentTarget(), UpgradeTarget::MainBoard);
    }
    rig.view.answerYes = ending == Ending::JobAndYes;

    if (ending == Ending::Destroyed) {
        rig.logic.reset(); // the job is calling into the dialog; this must not hang
        EXPECT_EQ(rig.camera.written(Sent::Abort).size(), 1u);
        return;
    }
    const bool ends = rig.logic->mayEndDialog();
    EXPECT_EQ(ends, ending != Ending::JobAndNo);
    EXPECT_EQ(rig.view.questions.size(), ending == Ending::NoJob ? 0u : 1u);
    // Enter on the question ends the dialog, as Escape then Enter always has.
    EXPECT_TRUE(ending == Ending::NoJob || rig.view.questionDefaults == std::vector{DefaultAnswer::Yes});
    if (ending == Ending::JobAndNo) {
        EXPECT_TRUE(rig.logic->jobRunning());
        gate.open();
        ASSERT_TRUE(rig.waitForJobEnd());
        EXPECT_TRUE(rig.logic->m_logText.ends_with("Update was successful !\r\n"));
    }
    if (ending == Ending::JobAndYes) {
        EXPECT_FALSE(rig.logic->jobRunning()); // given up before the answer
        EXPECT_EQ(rig.camera.written(Sent::Abort).size(), 1u);
        EXPECT_TRUE(rig.logic->m_logText.ends_with("Upgrade cancelled\r\nUpdate was failed !\r\n"))
            << rig.logic->m_logText;
    }
    if (ending != Ending::JobAndYes) {
        EXPECT_TRUE(rig.camera.written(Sent::Abort).empty());
    }
}

INSTANTIATE_TEST_SUITE_P(DialogLogic, EndingTheDialog,
                         ::testing::Values(Ending::NoJob, Ending::JobAndNo, Ending::JobAndYes,
                                           Ending::Destroyed),
                         [](const auto& row) { return nameOf(row.param); });

struct PtzCase {
    const char* name;
    int button;
    Bytes frame; // empty: HOME sends nothing
};

void PrintTo(const PtzCase& row, std::ostream* out) {
    *out << row.name;
}

class PtzButtons : public ::testing::TestWithParam<PtzCase> {};

TEST_P(PtzButtons, PutTheirFrameOnThePort) {
    LogicRig rig;
    rig.view.texts[IDC_ADDRESS] = "42"; // neither the address nor the speed box is read
    rig.view.texts[IDC_SPEED] = "7";
    rig.logic->OnCommand(GetParam().button);
    rig.logic->OnCommand(GetParam().button);
    const std::vector<Bytes> expected = GetParam().frame.empty()
                                            ? std::vector<Bytes>{}
                                            : std::vector<Bytes>{GetParam().frame, GetParam().frame};
    EXPECT_EQ(rig.camera.written(Sent::Other), expected);
    EXPECT_TRUE(rig.logic->m_logText.empty());
}

INSTANTIATE_TEST_SUITE_P(
    DialogLogic, PtzButtons,
    ::testing::Values(PtzCase{"Left", IDC_PTZ_LEFT, {0xFF, 0x01, 0x00, 0x04, 0x1E, 0x00, 0x23}},
                      PtzCase{"Up", IDC_PTZ_UP, {0xFF, 0x01, 0x00, 0x08, 0x00, 0x1E, 0x27}},
                      PtzCase{"Down", IDC_PTZ_DOWN, {0xFF, 0x01, 0x00, 0x10, 0x00, 0x1E, 0x2F}},
                      PtzCase{"Right", IDC_PTZ_RIGHT, {0xFF, 0x01, 0x00, 0x02, 0x1E, 0x00, 0x21}},
                      PtzCase{"Home", IDC_PTZ_HOME, {}},
                      PtzCase{"Stop", IDC_PTZ_STOP, {0xFF, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01}},
                      PtzCase{"Tele", IDC_PTZ_TELE, {0xFF, 0x01, 0x00, 0x20, 0x00, 0x00, 0x21}},
                      PtzCase{"Wide", IDC_PTZ_WIDE, {0xFF, 0x01, 0x00, 0x40, 0x00, 0x00, 0x41}},
                      PtzCase{"Near", IDC_PTZ_NEAR, {0xFF, 0x01, 0x01, 0x00, 0x00, 0x00, 0x02}},
                      PtzCase{"Far", IDC_PTZ_FAR, {0xFF, 0x01, 0x00, 0x80, 0x00, 0x00, 0x81}}),
    [](const auto& row) { return std::string(row.param.name); });

std::string crlfJoin(const std::vector<std::string>& records) {
    std::string text;
    for (const auto& record : records) {
        text += record + "\r\n";
    }
    return text;
}

TEST(DialogLogic, UblAndAppPicksMergeBesideTheApp) {
    using namespace orvane::testing_support;
    TempFolder folder;
    const std::string ubl = folder.file("boot.hex");
    const std::string app = folder.file("camera.hex");
    auto ublRecords = dataRecords(0x0000, 40, 'a');
    ublRecords.insert(ublRecords.begin(), extendedLinear(0x0800));
    ublRecords.push_back(endOfFile);
    auto appRecords = dataRecords(0x4000, 50, 'A');
    appRecords.insert(appRecords.begin(), extendedLinear(0x0800));
    appRecords.push_back(startLinear(0x08004001));
    appRecords.push_back(endOfFile);
    writeFile(ubl, crlfJoin(ublRecords));
    writeFile(app, crlfJoin(appRecords));
    LogicRig rig;

    rig.view.files = {app}; // APP first: the merge has no UBL
    rig.logic->OnCommand(IDC_APP);
    EXPECT_EQ(rig.logic->m_logText, "Please Select File !1\r\n");

    rig.view.files = {ubl, app};
    rig.logic->OnCommand(IDC_UBL); // clears the log down to its own line
    rig.logic->OnCommand(IDC_APP);
    const std::string ublLine = "ubl:" + ubl + "\r\n";
    // The "app:" line is shown, not kept.
    EXPECT_EQ(rig.view.logShown.end()[-2], ublLine + "app:" + app + "\r\n");
    EXPECT_EQ(rig.logic->m_logText,
              ublLine + "Merged file written: " + folder.file("cameraall.hex") + "\r\n");
    EXPECT_EQ(rig.view.texts[IDC_LOG], rig.logic->m_logText);
    EXPECT_FALSE(readFile(folder.file("cameraall.hex")).empty());

    // Cancelled picks change nothing.
    const std::size_t shown = rig.view.logShown.size();
    rig.logic->OnUblButton();
    rig.logic->OnAppButton();
    EXPECT_EQ(rig.logic->m_ublPath, ubl);
    EXPECT_EQ(rig.logic->m_appPath, app);
    EXPECT_EQ(rig.view.logShown.size(), shown);
    EXPECT_EQ(rig.view.choices.back().defaultSuffix, "hex");
    EXPECT_EQ(rig.view.choices.back().filters.front().pattern, "*.hex");
}

TEST(DialogLogic, MissingMergePathFollowsTheLanguageFlag) {
    LogicRig rig;
    SetTextLanguage(1);
    rig.logic->setLanguageFlag(2);
    rig.view.files = {"/nonexistent/x.hex"};
    rig.logic->OnAppButton();
    EXPECT_EQ(rig.logic->m_logText, "请选择文件！1\r\n");
    EXPECT_EQ(threadLanguage(), TextLanguage::Chinese); // kept for the dialog's later messages
    SetTextLanguage(1);
}

struct PackageCase {
    int command;
    char digit;
};

void PrintTo(const PackageCase& row, std::ostream* out) {
    *out << "type " << row.digit;
}

class Packaging : public ::testing::TestWithParam<PackageCase> {};

TEST_P(Packaging, WritesTheDeviceImageBesideTheRawOne) {
    using namespace orvane::testing_support;
    TempFolder folder;
    const std::string raw = folder.file("fw.rev.bin");
    writeFile(raw, "ABUF9 already looks packaged" + std::string(3000, 'Z'));
    LogicRig rig;
    rig.view.files = {raw, folder.file("missing.bin"), std::nullopt};

    EXPECT_TRUE(rig.logic->OnCommand(GetParam().command));
    EXPECT_EQ(readFile(folder.file("fw.rev.dev")), "ABUF" + std::string(1, GetParam().digit) + readFile(raw));
    EXPECT_EQ(rig.logic->m_logText, "Device image written: " + folder.file("fw.rev.dev") + "\r\n");
    EXPECT_EQ(rig.view.choices.back().filters.size(), 2u);

    rig.logic->OnCommand(GetParam().command); // unreadable: a message, nothing written
    rig.logic->OnCommand(GetParam().command); // cancelled: nothing more
    EXPECT_EQ(rig.view.messages, std::vector<std::string>{"取数据 faiture !"});
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"fw.rev.bin", "fw.rev.dev"}));
}

INSTANTIATE_TEST_SUITE_P(DialogLogic, Packaging,
                         ::testing::Values(PackageCase{ID_PACKAGE_TYPE1, '1'},
                                           PackageCase{ID_PACKAGE_TYPE2, '2'},
                                           PackageCase{ID_PACKAGE_TYPE3, '3'}),
                         [](const auto& row) { return std::string("Type") + row.param.digit; });

TEST(DialogLogic, FileButtonKeepsThePathUntilAnotherIsPicked) {
    LogicRig rig;
    rig.view.files = {"/srv/images/main.bin", std::nullopt};
    rig.logic->OnSelectFile();
    rig.logic->OnSelectFile();
    EXPECT_EQ(rig.logic->m_filePath, "/srv/images/main.bin");
    EXPECT_EQ(rig.view.texts[IDC_FILE_PATH], "/srv/images/main.bin");
    EXPECT_EQ(rig.view.choices.front().defaultSuffix, "bin");
    EXPECT_FALSE(rig.logic->OnCommand(IDOK)); // Enter is the window's
}

} // namespace
} // namespace orvane::testing
