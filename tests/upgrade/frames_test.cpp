// Byte-exact checks of every frame the host sends and the replies it expects.
#include "upgrade/frames.h"

#include <gtest/gtest.h>
#include <numeric>
#include <random>
#include <vector>

namespace orvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

template <std::size_t N> Bytes bytesOf(const std::array<std::uint8_t, N>& frame) {
    return Bytes(frame.begin(), frame.end());
}

struct EnterCase {
    std::uint8_t address;
    UpgradeTarget target;
    Bytes expected;
};

class EnterUpgradeCommandTest : public testing::TestWithParam<EnterCase> {};

TEST_P(EnterUpgradeCommandTest, MatchesKnownFrame) {
    EXPECT_EQ(bytesOf(makeEnterUpgradeCommand(GetParam().address, GetParam().target)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    KnownFrames, EnterUpgradeCommandTest,
    testing::Values(EnterCase{1, UpgradeTarget::MainBoard, {0xA0, 0x01, 0x00, 0x57, 0xAA, 0x00, 0xAF, 0xF3}},
                    EnterCase{1, UpgradeTarget::MotorBoard, {0xA0, 0x01, 0x00, 0x57, 0x55, 0x00, 0xAF, 0x0C}},
                    EnterCase{1, UpgradeTarget::Special, {0xA0, 0x01, 0x00, 0x57, 0xAA, 0x00, 0xAF, 0xF3}},
                    EnterCase{0, UpgradeTarget::MainBoard, {0xA0, 0x00, 0x00, 0x57, 0xAA, 0x00, 0xAF, 0xF2}},
                    EnterCase{
                        255, UpgradeTarget::MotorBoard, {0xA0, 0xFF, 0x00, 0x57, 0x55, 0x00, 0xAF, 0xF2}}));

TEST(EnterUpgradeCommandProperty, CheckByteIsXorOfFirstSevenForEveryAddressAndTarget) {
    for (int address = 0; address <= 255; ++address) {
        for (auto target : {UpgradeTarget::MainBoard, UpgradeTarget::MotorBoard, UpgradeTarget::Special}) {
            const auto frame = makeEnterUpgradeCommand(static_cast<std::uint8_t>(address), target);
            const auto check =
                std::accumulate(frame.begin(), frame.begin() + 7, std::uint8_t{0},
                                [](std::uint8_t a, std::uint8_t b) -> std::uint8_t { return a ^ b; });
            ASSERT_EQ(frame[7], check) << "address " << address;
            ASSERT_EQ(frame[1], address);
            const std::uint8_t enterCode = target == UpgradeTarget::MotorBoard ? 0x55 : 0xAA;
            ASSERT_EQ(frame[7], address ^ enterCode ^ 0x58);
        }
    }
}

TEST(StartCommand, ThreeTargets) {
    EXPECT_EQ(bytesOf(makeStartCommand(UpgradeTarget::MainBoard)), (Bytes{0xA5, 0xF6, 0xAA, 0xF9, 0xAF}));
    EXPECT_EQ(bytesOf(makeStartCommand(UpgradeTarget::MotorBoard)), (Bytes{0xA5, 0xF6, 0x55, 0x06, 0xAF}));
    EXPECT_EQ(bytesOf(makeStartCommand(UpgradeTarget::Special)), (Bytes{0xA5, 0xF6, 0xA9, 0xFA, 0xAF}));
}

TEST(ShortFrames, EveryFiveByteFrameChecksAsStartXorCommandXorArgument) {
    const std::array frames{endFrame,
                            abortFrame,
                            enterAckReply,
                            headerRequestReply,
                            blockAckReply,
                            blockNakReply,
                            makeStartCommand(UpgradeTarget::MainBoard),
                            makeStartCommand(UpgradeTarget::MotorBoard),
                            makeStartCommand(UpgradeTarget::Special)};
    for (const auto& f : frames) {
        EXPECT_EQ(f[0], 0xA5);
        EXPECT_EQ(f[3], 0xA5 ^ f[1] ^ f[2]);
        EXPECT_EQ(f[4], 0xAF);
    }
    EXPECT_EQ(bytesOf(endFrame), (Bytes{0xA5, 0xFA, 0x00, 0x5F, 0xAF}));
    EXPECT_EQ(bytesOf(abortFrame), (Bytes{0xA5, 0xF9, 0x00, 0x5C, 0xAF}));
}

struct SizeCase {
    std::uint32_t length;
    Bytes header;
    std::size_t blocks;   // DataBlocks that follow
    std::size_t lastFill; // 0x1A bytes in the last block
};

class SizeHeaderTest : public testing::TestWithParam<SizeCase> {};

TEST_P(SizeHeaderTest, HeaderAndBlocks) {
    const auto& c = GetParam();
    EXPECT_EQ(bytesOf(makeSizeHeader(c.length)), c.header);

    const Bytes image(c.length, 0x00);
    std::size_t blocks = 0;
    for (std::uint32_t offset = 0; offset < c.length; offset += blockDataSize) {
        const auto block =
            makeDataBlock(image, offset, static_cast<std::uint32_t>(offset / blockDataSize + 1));
        ++blocks;
        EXPECT_EQ(block[2], 0);
        EXPECT_EQ(block[3], blocks);
        if (offset + blockDataSize >= c.length) {
            const auto fill =
                static_cast<std::size_t>(std::count(block.begin() + 4, block.begin() + 1028, 0x1A));
            EXPECT_EQ(fill, c.lastFill);
        }
    }
    EXPECT_EQ(blocks, c.blocks);
}

INSTANTIATE_TEST_SUITE_P(
    KnownLengths, SizeHeaderTest,
    testing::Values(SizeCase{3000, {0xA5, 0xF7, 0x00, 0x03, 0x00, 0x00, 0x0B, 0xB8, 0x0A, 0xE8, 0xAF}, 3, 72},
                    SizeCase{2048, {0xA5, 0xF7, 0x00, 0x03, 0x00, 0x00, 0x08, 0x00, 0x0A, 0x53, 0xAF}, 2, 0},
                    SizeCase{1024, {0xA5, 0xF7, 0x00, 0x02, 0x00, 0x00, 0x04, 0x00, 0x0A, 0x5E, 0xAF}, 1, 0},
                    SizeCase{0, {0xA5, 0xF7, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x0A, 0x59, 0xAF}, 0, 0},
                    SizeCase{
                        1, {0xA5, 0xF7, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x0A, 0x58, 0xAF}, 1, 1023}));

TEST(DataBlock, ThreeThousandZeroBytesGiveKnownCheckBytes) {
    const Bytes image(3000, 0x00);
    EXPECT_EQ(makeDataBlock(image, 0, 1)[1028], 0x5C);
    EXPECT_EQ(makeDataBlock(image, 1024, 2)[1028], 0x5F);
    EXPECT_EQ(makeDataBlock(image, 2048, 3)[1028], 0x5E);
    const auto last = makeDataBlock(image, 2048, 3);
    EXPECT_TRUE(std::all_of(last.begin() + 4, last.begin() + 4 + 952, [](auto b) { return b == 0; }));
    EXPECT_TRUE(std::all_of(last.begin() + 4 + 952, last.begin() + 1028, [](auto b) { return b == 0x1A; }));
    EXPECT_EQ(last[1029], 0xAF);
}

TEST(DataBlock, OneByteImageIsThatByteThenFiller) {
    const Bytes image{0x42};
    const auto block = makeDataBlock(image, 0, 1);
    EXPECT_EQ(block[4], 0x42);
    EXPECT_TRUE(std::all_of(block.begin() + 5, block.begin() + 1028, [](auto b) { return b == 0x1A; }));
}

TEST(DataBlock, BlockNumberSendsLowSixteenBits) {
    const Bytes image(10, 0x11);
    const std::array<std::pair<std::uint32_t, std::pair<int, int>>, 4> cases{
        {{0xFFFF, {0xFF, 0xFF}}, {0x10000, {0x00, 0x00}}, {0x10001, {0x00, 0x01}}, {0x1234, {0x12, 0x34}}}};
    for (const auto& [number, bytes] : cases) {
        const auto block = makeDataBlock(image, 0, number);
        EXPECT_EQ(block[2], bytes.first) << number;
        EXPECT_EQ(block[3], bytes.second) << number;
    }
}

TEST(BlockCount, FloorPlusOneInSixteenBits) {
    EXPECT_EQ(blockCountOf(0), 1);
    EXPECT_EQ(blockCountOf(1023), 1);
    EXPECT_EQ(blockCountOf(1024), 2);
    EXPECT_EQ(blockCountOf(67107839), 0xFFFF); // the largest image whose count fits
    EXPECT_EQ(blockCountOf(67107840), 0x0000); // and the first that wraps
}

TEST(XorChecksum, CountRuleInSixteenBits) {
    const std::array<std::uint8_t, 3> abc{'a', 'b', 'c'};
    EXPECT_EQ(xorChecksum(abc, 3), 0x60);
    EXPECT_EQ(xorChecksum(abc, 0), 0);
    EXPECT_EQ(xorChecksum(abc, 1), 'a');

    // count - 1 as a signed 16-bit number: 32768 covers 32768 bytes, 32769..65536 cover none,
    // 65537 wraps to one byte again.
    std::vector<std::uint8_t> big(70000, 0x00);
    big[0] = 0x01;
    big[32767] = 0x02;
    big[32768] = 0x04;
    EXPECT_EQ(xorChecksum(big, 32768), 0x03);
    EXPECT_EQ(xorChecksum(big, 32769), 0x00);
    EXPECT_EQ(xorChecksum(big, 65536), 0x00);
    EXPECT_EQ(xorChecksum(big, 65537), 0x01);
}

TEST(XorChecksum, NeverReadsPastTheBuffer) {
    const std::array<std::uint8_t, 2> two{0x0F, 0xF0};
    EXPECT_EQ(xorChecksum(two, 100), 0xFF);
}

// Independent formulation: the blocks of a random image, filler stripped, give the image back,
// and every check byte recomputes as the XOR of bytes 0..1027.
TEST(DataBlockProperty, BlocksReassembleToImageAndChecksRecompute) {
    std::mt19937 random(20261208);
    for (int round = 0; round < 40; ++round) {
        const auto length = std::uniform_int_distribution<std::uint32_t>(0, 9000)(random);
        Bytes image(length);
        for (auto& b : image) {
            b = static_cast<std::uint8_t>(random());
        }
        const auto header = makeSizeHeader(length);
        EXPECT_EQ((header[2] << 8) | header[3], length / 1024 + 1);
        EXPECT_EQ(static_cast<std::uint32_t>(header[4] << 24 | header[5] << 16 | header[6] << 8 | header[7]),
                  length);
        std::uint8_t headerCheck = 0;
        for (int i = 0; i < 9; ++i) {
            headerCheck ^= header[static_cast<std::size_t>(i)];
        }
        EXPECT_EQ(header[9], headerCheck);

        Bytes joined;
        std::uint32_t number = 1;
        for (std::uint32_t offset = 0; offset < length; offset += 1024, ++number) {
            const auto block = makeDataBlock(image, offset, number);
            std::uint8_t check = 0;
            for (std::size_t i = 0; i < 1028; ++i) {
                check ^= block[i];
            }
            ASSERT_EQ(block[1028], check);
            ASSERT_EQ(block[0], 0xA5);
            ASSERT_EQ(block[1], 0xF8);
            ASSERT_EQ(block[1029], 0xAF);
            ASSERT_EQ((block[2] << 8) | block[3], number);
            const std::size_t real = std::min<std::size_t>(1024, length - offset);
            joined.insert(joined.end(), block.begin() + 4,
                          block.begin() + 4 + static_cast<std::ptrdiff_t>(real));
            ASSERT_TRUE(std::all_of(block.begin() + 4 + static_cast<std::ptrdiff_t>(real),
                                    block.begin() + 1028, [](auto b) { return b == 0x1A; }));
        }
        EXPECT_EQ(joined, image);
    }
}

} // namespace
} // namespace orvane
