#include "event_log.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <set>

namespace orvane::test {

void keepEvents(std::string_view out) {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    if (test == nullptr || out.empty()) {
        return;
    }
    std::string name = std::string(test->test_suite_name()) + "." + test->name();
    for (char& c : name) {
        c = c == '/' ? '_' : c;
    }
    static std::set<std::string> begun;
    const bool first = begun.insert(name).second;
    std::filesystem::create_directories(ORVANE_CLI_EVENTS_DIR);
    std::ofstream file(std::string(ORVANE_CLI_EVENTS_DIR) + "/" + name + ".jsonl",
                       std::ios::binary | (first ? std::ios::trunc : std::ios::app));
    file.write(out.data(), static_cast<std::streamsize>(out.size()));
    if (out.back() != '\n') {
        file.put('\n');
    }
}

std::string stableEvent(const std::string& line, std::initializer_list<const char*> alsoWithout) {
    nlohmann::ordered_json event = nlohmann::ordered_json::parse(line, nullptr, false);
    if (!event.is_object()) {
        return "not a JSON object: " + line;
    }
    event.erase("time");
    for (const char* field : alsoWithout) {
        event.erase(field);
    }
    return event.dump();
}

} // namespace orvane::test
