#include "upgrade/upgrade_outcome.h"

namespace orvane {

std::string_view endingName(UpgradeEnding ending) {
    switch (ending) {
    case UpgradeEnding::Succeeded:
        return "succeeded";
    case UpgradeEnding::Failed:
        return "failed";
    case UpgradeEnding::Unusable:
        return "unusable";
    case UpgradeEnding::Cancelled:
        return "cancelled";
    }
    return "unusable";
}

std::string_view stepName(UpgradeStep step) {
    switch (step) {
    case UpgradeStep::Image:
        return "image";
    case UpgradeStep::Port:
        return "port";
    case UpgradeStep::Enter:
        return "enter";
    case UpgradeStep::Start:
        return "start";
    case UpgradeStep::Header:
        return "header";
    case UpgradeStep::Block:
        return "block";
    case UpgradeStep::EndFrame:
        return "end";
    case UpgradeStep::Done:
        return "done";
    }
    return "image";
}

} // namespace orvane
