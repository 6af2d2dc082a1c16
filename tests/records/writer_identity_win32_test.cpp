// A live process of this boot is alive whichever side of a minute its boot's start was read
// on, or after a small correction of the clock; an hour apart, or a Linux boot id, is another
// boot.
#include "records/writer_identity.h"

#include <gtest/gtest.h>
#include <string>

namespace orvane {
namespace {

TEST(WriterIdentity, ThisProcessThroughTheBootStartsReadings) {
    const WriterIdentity self = thisWriter();
    ASSERT_TRUE(writerAlive(self));
    const long long minute = std::stoll(self.bootId.substr(5));
    for (const long long shift : {-2LL, -1LL, 1LL, 2LL, -60LL, 60LL}) {
        WriterIdentity read = self;
        read.bootId = "boot-" + std::to_string(minute + shift);
        EXPECT_EQ(writerAlive(read), shift > -60 && shift < 60) << shift;
    }
    WriterIdentity linuxBoot = self;
    linuxBoot.bootId = "3f2b8c1e-0d4a-4c7e-9b1a-5e6f7a8b9c0d";
    EXPECT_FALSE(writerAlive(linuxBoot));
}

} // namespace
} // namespace orvane
