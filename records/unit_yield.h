// The yields a line is judged by, counted by unit: a camera by its label, or by its plug where
// it has none. A unit passes first time when its first attempt that ended succeeded-or-failed
// succeeded, and passes in the end when its last such attempt did. An attempt cancelled,
// unusable or interrupted says nothing of the camera, so it counts in neither yield, only on
// its own; a unit with nothing but those is not judged at all.
#pragma once

#include "records/upgrade_record.h"

#include <cstddef>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace orvane {

class UnitYield {
  public:
    // One ended attempt of a unit, fed in the order the attempts began; "running" is skipped.
    void add(const std::string& unit, std::string_view ending);

    std::size_t units() const { return units_.size(); }
    std::size_t attempts() const { return attempts_; }
    std::size_t judged() const { return judged_; } // units with a succeeded or failed attempt
    std::size_t firstPass() const { return firstPass_; }
    std::size_t finalPass() const { return finalPass_; }
    std::size_t cancelled() const { return cancelled_; }
    std::size_t unusable() const { return unusable_; }
    std::size_t interrupted() const { return interrupted_; }

    // Shares of the judged units, 0 to 1; none before a unit is judged (never a yield of 0).
    std::optional<double> firstPassYield() const;
    std::optional<double> finalYield() const;
    std::optional<double> attemptsPerUnit() const; // none before the first unit

  private:
    struct Verdicts {
        std::optional<bool> first;
        bool last = false;
    };
    std::map<std::string, Verdicts, std::less<>> units_;
    std::size_t attempts_ = 0;
    std::size_t judged_ = 0;
    std::size_t firstPass_ = 0;
    std::size_t finalPass_ = 0;
    std::size_t cancelled_ = 0;
    std::size_t unusable_ = 0;
    std::size_t interrupted_ = 0;
};

// The unit an attempt is of: its label, else its plug. The two never meet, even where a label
// reads like a plug's id.
std::string unitKey(const std::optional<std::string>& label, const std::string& plug);
// A record's unit (in a record older than plugs, the record itself stands for its plug).
std::string unitOf(const UpgradeRecord& record);

// records: in any order; they are counted in the order they began.
UnitYield countUnitYield(std::span<const UpgradeRecord> records);
UnitYield countUnitYield(std::span<const UpgradeRecord* const> records);

} // namespace orvane
