// The station's rules on virtual time: ports that come and go and attempts that end as each
// case scripts them, the station's events written down as a trace.
#include "station/station.h"
#include "support/fake_clock.h"

#include <cctype>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sstream>

namespace orvane {
namespace {

using namespace std::chrono_literals;

constexpr auto jobTime = 1000ms;

struct Rules {
    const char* name;
    unsigned retries;
    unsigned parallel;
    bool fixed;         // the ports as fixed slots (--port, --ports-from), else a watched folder
    const char* script; // "port:endings" of its attempts in turn, S succeeded, F failed; lower
                        // case: ends so even if the camera goes meanwhile; beyond: S
    const char* acts;   // "ms what": +port plugged, -port pulled, ~port gone and back unseen,
                        // hPORT held, rPORT let go, xPORT its link gone, its device staying,
                        // d the folder appears (absent until), ! stop asked (a hang-up,
                        // SIGTERM, Ctrl-C, the page), Llabel a label scanned
    const char* trace;  // +/-port, port and attempt begun (=its unit), port? waiting for its
                        // label, port:ending, refused/dropped:label | succeeded/not succeeded
};

// What the scanner adds to a plan.
struct Labels {
    bool requireUnit = false;
    std::chrono::seconds window{120};
    std::string scanDevice{};
};

void PrintTo(const Rules& rules, std::ostream* out) {
    *out << rules.name;
}

// Ports, attempts and a front, all on the fake clock; a pulled camera ends its attempt.
class Bench final : public StationPorts,
                    public SlotJobs,
                    public StationFront,
                    public StationListener,
                    public LabelSource,
                    public JobSource {
  public:
    explicit Bench(const Rules& rules) {
        std::istringstream script(rules.script);
        for (std::string entry; script >> entry;) {
            endings_[entry.substr(0, entry.find(':'))] = entry.substr(entry.find(':') + 1);
        }
        folderThere_ = std::string(rules.acts).find(" d") == std::string::npos;
    }

    bool waitForChange(std::chrono::milliseconds timeout) override {
        const unsigned before = heard_;
        if (!clock.waitAtMost([&] { return heard_ != before; }, timeout, signal_)) {
            return false;
        }
        clock.sleepFor(0ms); // what else changed at that moment is heard with it
        return true;
    }
    std::vector<PortFacts> portsIn(const std::filesystem::path&, bool) override {
        std::vector<PortFacts> ports;
        for (const std::string& port : folderThere_ ? plugged_ : std::set<std::string>{}) {
            if (unlinked_.count(port) == 0) {
                ports.push_back({port, port});
            }
        }
        return ports;
    }
    // "tty-a" is the device behind the link "a".
    bool present(const std::string& port) override {
        const bool device = port.rfind("tty-", 0) == 0;
        const std::string link = device ? port.substr(4) : port;
        return plugged_.count(link) != 0 && (device || unlinked_.count(link) == 0);
    }
    std::string deviceOf(const std::string& port) override { return "tty-" + port; }
    std::unique_ptr<SlotJob> make(const AttemptPlace& place, std::unique_ptr<UpgradeLog>) override {
        const std::string& port = place.port;
        // Every attempt of a plug under one id, counted from 1; a new plug, a new id.
        const auto [last, fresh] = attempts_.try_emplace(place.plug, place.attempt);
        EXPECT_EQ(place.attempt == 1, fresh) << port << place.attempt;
        EXPECT_EQ(last->second, place.attempt - (fresh ? 0 : 1)) << port;
        last->second = place.attempt;
        std::string& left = endings_[port];
        const char ending = left.empty() ? 'S' : left.front();
        left.erase(0, left.empty() ? 0 : 1);
        return std::make_unique<Job>(*this, port, ending);
    }
    std::unique_ptr<UpgradeLog> attemptLog(const SlotSnapshot&) override { return nullptr; }
    // The attempt that ended, even when a new plug came before it was looked at.
    void attemptEnded(const SlotSnapshot& slot, UpgradeLog*, const UpgradeOutcome&, double) override {
        EXPECT_GE(slot.attempt, 1U) << slot.name;
    }
    std::vector<std::string> takeLines() override { return std::exchange(scanned_, {}); }
    JobLook look() override {
        if (lineDown_) {
            return {JobLook::Kind::Unanswered, {}, "down"};
        }
        return retired_ ? JobLook{JobLook::Kind::Retired} : JobLook{JobLook::Kind::Released, released_};
    }
    void jobNote(const JobNote& note) override {
        static constexpr const char* said[] = {"v", "retired", "lost", "back", "refused"};
        trace_ << said[static_cast<int>(note.kind)];
        if (note.kind == JobNote::Kind::Taken) {
            trace_ << note.job->version;
        }
        trace_ << ' ';
    }
    void labelNote(const LabelNote& note) override {
        if (note.kind == LabelNote::Kind::Refused) {
            trace_ << "refused ";
        } else if (note.kind == LabelNote::Kind::Dropped) {
            trace_ << "dropped:" << note.text << ' ';
        }
    }
    void stationEvent(const StationEvent& event, const StationSnapshot& now) override {
        using Kind = StationEvent::Kind;
        const SlotSnapshot& slot = event.slot;
        if (event.kind == Kind::Appeared || event.kind == Kind::Disappeared) {
            trace_ << (event.kind == Kind::Appeared ? '+' : '-') << slot.name << ' ';
        } else if (event.kind == Kind::Started) {
            trace_ << slot.name << slot.attempt << (slot.unit ? "=" + *slot.unit : "")
                   << (slot.jobVersion ? "@" + std::to_string(*slot.jobVersion) : "") << ' ';
        } else if (event.kind == Kind::WaitingForJob) {
            trace_ << slot.name << "! ";
        } else if (event.kind == Kind::Labelled && !slot.unit) {
            trace_ << slot.name << "? ";
        } else if (event.kind == Kind::Ended) {
            trace_ << slot.name << ':' << (slot.lastReason == "unplugged" ? "unplugged" : slot.lastResult)
                   << ' ';
        }
        total_ = now.total;
    }

    // Runs the station until a stop is asked or 8 s have passed; answers the trace.
    std::string run(const Rules& rules, const Labels& labels = {}, bool released = false) {
        StationPlan plan;
        release(1);
        JobSwitch follow(*this, released_);
        plan.released = released ? &follow : nullptr;
        plan.labels = this;
        plan.requireUnit = labels.requireUnit;
        plan.labelWindow = labels.window;
        plan.scanDevice = labels.scanDevice;
        plan.retries = rules.retries;
        plan.parallel = rules.parallel;
        plan.held = [this](const std::string& slot) { return held_.count(slot) != 0; };
        std::istringstream acts(rules.acts);
        bool stop = false;
        for (long at = 0; acts >> at;) {
            std::string what;
            acts >> what;
            act(at, what, stop);
            if (rules.fixed && what[0] == '+') {
                plan.slots.push_back({what.substr(1), {}});
            }
        }
        StationState state("fw.bin", "", 0);
        state.addListener(*this);
        Station station(plan, state, *this, {*this, *this, clock});
        station.run([&] { return stop || clock.elapsed() >= 8s; });
        trace_ << "| " << total_.succeeded << '/' << total_.notSucceeded;
        return trace_.str();
    }

    testing::FakeClock clock;

  private:
    class Job final : public SlotJob {
      public:
        Job(Bench& bench, std::string port, char ending)
            : bench_(bench), port_(std::move(port)), ending_(ending), plug_(bench.plugs_[port_]) {}
        void start() override { end_ = bench_.clock.elapsed() + jobTime; }
        bool running() const override { return !gone() && bench_.clock.elapsed() < end_; }
        void cancel() override {
            cancelled_ = true;
            end_ = std::min(end_, bench_.clock.elapsed() + 200ms);
        }
        UpgradeOutcome finish() override {
            UpgradeOutcome outcome;
            outcome.ending = cancelled_ ? UpgradeEnding::Cancelled : UpgradeEnding::Failed;
            if (gone()) {
                outcome.reason = UpgradeReason::DeviceGone;
            } else if (!cancelled_ && std::toupper(ending_) == 'S') {
                outcome.ending = UpgradeEnding::Succeeded;
            }
            return outcome;
        }
        UpgradeLog* frontLog() const override { return nullptr; }
        double seconds() const override { return 1.0; }

      private:
        bool gone() const { return std::isupper(ending_) && bench_.plugs_[port_] != plug_; }

        Bench& bench_;
        std::string port_;
        char ending_;
        unsigned plug_;
        std::chrono::milliseconds end_{};
        bool cancelled_ = false;
    };

    void act(long at, const std::string& what, bool& stop) {
        clock.after(std::chrono::milliseconds(at), [this, what, &stop] {
            const std::string port = what.substr(1);
            switch (what[0]) {
            case '+':
                plugged_.insert(port);
                unlinked_.erase(port);
                break;
            case '-':
                plugged_.erase(port);
                unlinked_.erase(port);
                ++plugs_[port];
                break;
            case 'x':
                unlinked_.insert(port);
                break;
            case '~': // the camera's job notices; the next look sees it there again
                ++plugs_[port];
                return;
            case 'h':
                held_.insert(port);
                return;
            case 'r':
                held_.erase(port);
                return;
            case 'd':
                folderThere_ = true;
                return; // not heard: the folder was not there to watch
            case 'L':
                scanned_.push_back(port);
                return;
            case 'V': // a version released, or the job retired (R) or the server lost (D) and back (U)
                release(std::stoi(port));
                return;
            case 'R':
                retired_ = true;
                return;
            case 'D':
            case 'U':
                lineDown_ = what[0] == 'D';
                return;
            default:
                stop = true;
                return;
            }
            heard_ += folderThere_ ? 1 : 0;
        });
    }

    void release(int version) {
        auto job = std::make_shared<ReleasedJob>();
        job->version = version;
        released_ = job;
        retired_ = false;
    }

    std::shared_ptr<const ReleasedJob> released_;
    bool retired_ = false;
    bool lineDown_ = false;
    FlagSignal signal_;
    std::set<std::string> plugged_;
    std::set<std::string> held_;
    std::set<std::string> unlinked_;
    std::map<std::string, unsigned> attempts_; // by plug id, the last attempt begun
    std::map<std::string, unsigned> plugs_;    // a port's unplugs so far
    std::map<std::string, std::string> endings_;
    bool folderThere_ = true;
    unsigned heard_ = 0;
    std::vector<std::string> scanned_;
    std::ostringstream trace_;
    Tally total_;
};

class StationRules : public ::testing::TestWithParam<Rules> {};

TEST_P(StationRules, Trace) {
    Bench bench(GetParam());
    EXPECT_EQ(bench.run(GetParam()), GetParam().trace);
}

constexpr Rules rules[] = {
    {"OnceAPlugAgainAfterAReplug", 0, 0, false, "", "0 +a 3000 -a 3500 +a",
     "+a a1 a:succeeded -a +a a1 a:succeeded | 2/0"},
    {"FailedLeftInTriedOnceWithoutRetries", 0, 0, true, "a:F", "0 +a", "+a a1 a:failed | 0/1"},
    {"RetriedWhileLeftIn", 2, 0, false, "a:FF b:FFFF", "0 +a 0 +b",
     "+a +b a1 b1 a:failed b:failed a2 b2 a:failed b:failed a3 b3 a:succeeded b:failed | 1/1"},
    {"NotRetriedAfterAnUnplug", 2, 0, false, "a:F", "0 +a 500 -a", "+a a1 -a a:unplugged | 0/1"},
    {"ParallelCapOfOne", 0, 1, false, "", "0 +a 0 +b 0 +c",
     "+a +b +c a1 a:succeeded b1 b:succeeded c1 c:succeeded | 3/0"},
    {"ParallelCapOfTwo", 0, 2, true, "", "0 +a 0 +b 0 +c",
     "+a +b +c a1 b1 a:succeeded b:succeeded c1 c:succeeded | 3/0"},
    {"HeldSlotWaitsItsJobGoesOn", 0, 0, false, "", "0 ha 0 +a 0 +b 500 hb 2000 ra",
     "+a +b b1 b:succeeded a1 a:succeeded | 2/0"},
    {"GoneAndBackBetweenTwoLooksIsANewPlug", 1, 0, true, "", "0 +a 500 ~a",
     "+a a1 a:unplugged a1 a:succeeded | 1/1"},
    {"SwappedAsItsAttemptEndsIsANewPlug", 0, 0, false, "a:s", "0 +a 800 -a 900 +a",
     "+a a1 -a +a a:succeeded a1 a:succeeded | 2/0"},
    {"SwappedFailureCountedOnce", 1, 0, false, "a:f", "0 +a 800 -a 900 +a",
     "+a a1 -a +a a:failed a1 a:succeeded | 1/1"},
    {"WatchedFolderAppearsLate", 0, 0, false, "", "0 +a 2500 d", "+a a1 a:succeeded | 1/0"},
    {"LinkGoneDeviceStaysIsNoUnplug", 0, 0, false, "", "0 +a 500 xa 2000 -a", "+a a1 a:succeeded -a | 1/0"},
    {"FixedLinkGoneDeviceStaysIsNoUnplug", 0, 0, true, "", "0 +a 500 xa 2000 -a",
     "+a a1 a:succeeded -a | 1/0"},
    {"StopGivesUpTheJobStartsNoMore", 1, 1, false, "", "0 +a 0 +b 500 !", "+a +b a1 a:cancelled | 0/1"},
};

INSTANTIATE_TEST_SUITE_P(Station, StationRules, ::testing::ValuesIn(rules),
                         [](const auto& row) { return std::string(row.param.name); });

struct LabelRules {
    Rules rules;
    Labels labels;
};

void PrintTo(const LabelRules& row, std::ostream* out) {
    *out << row.rules.name;
}

class StationLabels : public ::testing::TestWithParam<LabelRules> {};

TEST_P(StationLabels, Trace) {
    Bench bench(GetParam().rules);
    EXPECT_EQ(bench.run(GetParam().rules, GetParam().labels), GetParam().rules.trace);
}

const Labels required{.requireUnit = true};

const LabelRules labelRules[] = {
    {{"EachLabelToTheNextPlugFirstReadFirstGiven", 0, 0, false, "", "0 LU1 0 LU2 500 +a 1000 +b",
      "+a a1=U1 +b b1=U2 a:succeeded b:succeeded | 2/0"},
     {}},
    {{"NoLabelFlashedWithNoneALaterLabelForTheNextPlug", 0, 0, false, "", "0 +a 500 LU1 1500 +b",
      "+a a1 a:succeeded +b b1=U1 b:succeeded | 2/0"},
     {}},
    {{"RequiredWaitsForItsLabel", 0, 0, false, "", "0 +a 3000 LU1", "+a a? a1=U1 a:succeeded | 1/0"},
     required},
    {{"WaitingTakeLabelsInPlugOrder", 0, 0, false, "", "0 +a 300 -a 600 +b 900 +a 2000 LU1 2000 LU2",
      "+a a? -a +b b? +a a? a1=U2 b1=U1 a:succeeded b:succeeded | 2/0"},
     required},
    {{"LabelPastItsWindowDroppedAndSaid", 0, 0, false, "", "0 LU1 3000 +a", "dropped:U1 +a a? | 0/0"},
     {.requireUnit = true, .window = std::chrono::seconds(2)}},
    {{"RetriesKeepTheUnit", 1, 0, false, "a:F", "0 LU1 500 +a", "+a a1=U1 a:failed a2=U1 a:succeeded | 1/0"},
     required},
    {{"ANewPlugNeedsANewLabel", 0, 0, false, "", "0 LU1 0 +a 2000 -a 2500 +a",
      "+a a1=U1 a:succeeded -a +a a? | 1/0"},
     required},
    {{"RefusedLabelNeverGiven", 0, 0, false, "",
      "0 L\xe2\x80\xae"
      "1 500 +a",
      "refused +a a? | 0/0"},
     required},
    {{"TheScannerIsNoCamera", 0, 0, false, "", "0 +scanner 0 +a", "+a a1 a:succeeded | 1/0"},
     {.scanDevice = "scanner"}},
};

INSTANTIATE_TEST_SUITE_P(Station, StationLabels, ::testing::ValuesIn(labelRules),
                         [](const auto& row) { return std::string(row.param.rules.name); });

class StationReleasedJob : public ::testing::TestWithParam<Rules> {};

TEST_P(StationReleasedJob, Trace) {
    Bench bench(GetParam());
    EXPECT_EQ(bench.run(GetParam(), {}, true), GetParam().trace);
}

// Acts on the job: Vn version n released, R retired, D the line's server down, U up again.
constexpr Rules releasedRules[] = {
    {"ANewVersionIsTakenByTheNextPlug", 0, 0, false, "", "0 +a 500 V2 600 +b 3000 -a 3100 +a",
     "+a a1@1 v2 +b b1@2 a:succeeded b:succeeded -a +a a1@2 a:succeeded | 3/0"},
    {"RetriesKeepTheirPlugsVersion", 2, 0, false, "a:FF", "0 +a 500 V2 600 +b",
     "+a a1@1 v2 +b b1@2 a:failed a2@1 b:succeeded a:failed a3@1 a:succeeded | 2/0"},
    {"RetiredStartsNothingTheAttemptInFlightEnds", 1, 0, false, "a:F", "0 +a 500 R 600 +b 3000 V3",
     "+a a1@1 retired +b b! a:failed a! v3 a2@1 b1@3 a:succeeded b:succeeded | 2/0"},
    {"RetiredFromTheStartHoldsPlugsUntilARelease", 0, 0, false, "", "0 R 0 +a 2000 V2",
     "+a retired a! v2 a1@2 a:succeeded | 1/0"},
    {"ServerLostSaidOnceTheHeldVersionGoesOn", 0, 0, false, "", "0 D 500 +a 2000 V2 3000 U 3100 +b",
     "lost +a a1@1 a:succeeded back v2 +b b1@2 b:succeeded | 2/0"},
};

INSTANTIATE_TEST_SUITE_P(Station, StationReleasedJob, ::testing::ValuesIn(releasedRules),
                         [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace orvane
