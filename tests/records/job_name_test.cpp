// Job names and NAME@VERSION as an engineer types them.
#include "records/job_name.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

struct ReferenceCase {
    std::string text;
    bool taken;
    std::int64_t version; // 0: the latest
};

TEST(JobReference, TakesOnlyNamesAndVersionsThatAreOneWordEverywhere) {
    const ReferenceCase cases[] = {
        {"cam-fw_2.1", true, 0},
        {std::string(64, 'a'), true, 0},
        {"cam@7", true, 7},
        {"cam@2147483647", true, 2147483647},
        {std::string(65, 'a'), false, 0},
        {"", false, 0},
        {"@3", false, 0},
        {"cam fw", false, 0},
        {"cam/fw", false, 0},
        {"相机", false, 0},
        {"cam@", false, 0},
        {"cam@0", false, 0},
        {"cam@-1", false, 0},
        {"cam@+1", false, 0},
        {"cam@1x", false, 0},
        {"cam@2147483648", false, 0},
        {"cam@1@2", false, 0},
    };
    for (const ReferenceCase& c : cases) {
        SCOPED_TRACE(c.text);
        const JobReferenceReading read = readJobReference(c.text);
        ASSERT_EQ(read.reference.has_value(), c.taken) << read.refusal;
        if (!c.taken) {
            EXPECT_NE(read.refusal.find("not a job"), std::string::npos);
            continue;
        }
        EXPECT_EQ(read.reference->name, c.text.substr(0, c.text.find('@')));
        EXPECT_EQ(read.reference->version.value_or(0), c.version);
    }
}

} // namespace
} // namespace orvane
