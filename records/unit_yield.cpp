#include "records/unit_yield.h"

#include <algorithm>
#include <tuple>
#include <vector>

namespace orvane {
namespace {

std::optional<double> share(std::size_t part, std::size_t whole) {
    if (whole == 0) {
        return std::nullopt;
    }
    return static_cast<double>(part) / static_cast<double>(whole);
}

} // namespace

void UnitYield::add(const std::string& unit, std::string_view ending) {
    if (ending == recordRunning) {
        return;
    }
    ++attempts_;
    Verdicts& verdicts = units_[unit];
    const bool succeeded = ending == "succeeded";
    if (!succeeded && ending != "failed") {
        // A newer program's ending is left out of the yields, as these three are.
        cancelled_ += ending == "cancelled" ? 1 : 0;
        unusable_ += ending == "unusable" ? 1 : 0;
        interrupted_ += ending == recordInterrupted ? 1 : 0;
        return;
    }
    if (!verdicts.first) {
        verdicts.first = succeeded;
        ++judged_;
        firstPass_ += succeeded ? 1 : 0;
    } else if (verdicts.last) {
        --finalPass_;
    }
    verdicts.last = succeeded;
    finalPass_ += succeeded ? 1 : 0;
}

std::optional<double> UnitYield::firstPassYield() const {
    return share(firstPass_, judged_);
}

std::optional<double> UnitYield::finalYield() const {
    return share(finalPass_, judged_);
}

std::optional<double> UnitYield::attemptsPerUnit() const {
    return share(attempts_, units_.size());
}

std::string unitKey(const std::optional<std::string>& label, const std::string& plug) {
    return label ? "unit " + *label : "plug " + plug;
}

std::string unitOf(const UpgradeRecord& record) {
    return unitKey(record.unit, record.plug.empty() ? record.id : record.plug);
}

UnitYield countUnitYield(std::span<const UpgradeRecord* const> records) {
    std::vector<const UpgradeRecord*> inOrder(records.begin(), records.end());
    std::stable_sort(inOrder.begin(), inOrder.end(), [](const UpgradeRecord* a, const UpgradeRecord* b) {
        return std::tie(a->startedMs, a->attempt) < std::tie(b->startedMs, b->attempt);
    });
    UnitYield yield;
    for (const UpgradeRecord* record : inOrder) {
        yield.add(unitOf(*record), record->ending);
    }
    return yield;
}

UnitYield countUnitYield(std::span<const UpgradeRecord> records) {
    std::vector<const UpgradeRecord*> all;
    all.reserve(records.size());
    for (const UpgradeRecord& record : records) {
        all.push_back(&record);
    }
    return countUnitYield(all);
}

} // namespace orvane
