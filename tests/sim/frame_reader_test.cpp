// The frame reader on its own: frame boundaries, damaged frames, noise and resynchronisation,
// and that the way bytes are chunked never changes what is found.
#include "sim/frame_reader.h"
#include "upgrade/frames.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using K = HostFrameKind;

template <std::size_t N> Bytes bytes(const std::array<std::uint8_t, N>& frame) {
    return {frame.begin(), frame.end()};
}

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

Bytes block(std::uint32_t number) {
    const Bytes image(3000, 0xA5); // data full of start bytes must not be taken for frames
    return bytes(makeDataBlock(image, (number - 1) * 1024, number));
}

Bytes damagedBlock() {
    Bytes b = block(1);
    b[1028] ^= 0xFF;
    return b;
}

Bytes cutBlock(std::size_t keep) {
    Bytes b = block(2);
    b.resize(keep);
    return b;
}

Bytes damagedHeader() {
    Bytes h = bytes(makeSizeHeader(3000));
    h[9] ^= 0x01;
    return h;
}

struct Found {
    K kind;
    bool intact = true;
    std::size_t size = 0; // 0: not checked
    bool operator==(const Found&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Found& f) {
    return os << "{kind " << static_cast<int>(f.kind) << ", intact " << f.intact << ", size " << f.size
              << "}";
}

struct ReaderCase {
    const char* name;
    Bytes input;
    std::vector<Found> expected; // after everything was fed and the gap has passed
};

// Loose bytes are handed on as they come, so runs split by chunking are joined here.
std::vector<Found> summarise(const std::vector<HostFrame>& frames, const std::vector<Found>& expected) {
    std::vector<Found> out;
    std::vector<std::size_t> sizes;
    for (const auto& f : frames) {
        if (f.kind == K::Unrecognised && !out.empty() && out.back().kind == K::Unrecognised) {
            sizes.back() += f.bytes.size();
            continue;
        }
        out.push_back({f.kind, f.intact, 0});
        sizes.push_back(f.bytes.size());
    }
    for (std::size_t i = 0; i < out.size() && i < expected.size(); ++i) {
        out[i].size = expected[i].size != 0 ? sizes[i] : 0;
    }
    return out;
}

const ShortFrame startMain = makeStartCommand(UpgradeTarget::MainBoard);
const Bytes enter1 = bytes(makeEnterUpgradeCommand(1, UpgradeTarget::MainBoard));
const Bytes ptzLeft{0xFF, 0x01, 0x00, 0x04, 0x1E, 0x00, 0x23};

const ReaderCase readerCases[] = {
    {"EveryHostFrame",
     cat({enter1, bytes(startMain), bytes(makeSizeHeader(3000)), block(1), bytes(endFrame), bytes(abortFrame),
          ptzLeft}),
     {{K::EnterUpgrade}, {K::Start}, {K::Header}, {K::Block, true, 1030}, {K::End}, {K::Abort}, {K::Ptz}}},
    {"NoiseInFrontIsLoose",
     cat({{0x00, 0x11, 0x5A}, bytes(startMain)}),
     {{K::Unrecognised, true, 3}, {K::Start}}},
    {"StrayStartByteGivesWay", cat({{0xA5}, bytes(startMain)}), {{K::Unrecognised, true, 1}, {K::Start}}},
    {"StartByteWithUnknownCommand",
     cat({{0xA5, 0x42}, bytes(endFrame)}),
     {{K::Unrecognised, true, 2}, {K::End}}},
    {"PelcoPStartLetGoEarly", cat({{0xA0}, bytes(startMain)}), {{K::Unrecognised, true, 1}, {K::Start}}},
    {"PelcoDStartWaitsThenGivesWay",
     cat({{0xFF}, bytes(startMain)}),
     {{K::Unrecognised, true, 1}, {K::Start}}},
    {"EnterWithWrongCheckIsLoose",
     {0xA0, 0x01, 0x00, 0x57, 0xAA, 0x00, 0xAF, 0xF4},
     {{K::Unrecognised, true, 8}}},
    {"ShortFrameWithWrongEndIsLoose", {0xA5, 0xF6, 0xAA, 0xF9, 0x00}, {{K::Unrecognised, true, 5}}},
    {"ShortFrameWithWrongCheckIsLoose", {0xA5, 0xFA, 0x00, 0x5E, 0xAF}, {{K::Unrecognised, true, 5}}},
    {"PtzWithWrongSumIsLoose", {0xFF, 0x01, 0x00, 0x04, 0x1E, 0x00, 0x24}, {{K::Unrecognised, true, 7}}},
    {"DamagedHeaderHandedOn", damagedHeader(), {{K::Header, false}}},
    {"DamagedBlockHandedOnWhole",
     cat({damagedBlock(), bytes(endFrame)}),
     {{K::Block, false, 1030}, {K::End}}},
    {"CutOffBlockHandedOnAfterGap", cutBlock(500), {{K::Block, false, 500}}},
    {"UnfinishedShortFrameGivenUp", {0xA5, 0xF6, 0xAA}, {{K::Unrecognised, true, 3}}},
    {"BlockFullOfStartBytes", cat({block(1), block(2), block(3)}), {{K::Block}, {K::Block}, {K::Block}}},
};

class ReaderTable : public ::testing::TestWithParam<ReaderCase> {};

std::string caseName(const ::testing::TestParamInfo<ReaderCase>& param) {
    return param.param.name;
}

std::vector<HostFrame> readAll(const Bytes& input, std::size_t chunk) {
    FrameReader reader(100ms);
    const SimTime t0{};
    std::vector<HostFrame> out;
    for (std::size_t at = 0; at < input.size(); at += chunk) {
        const std::size_t n = std::min(chunk, input.size() - at);
        reader.feed(std::span(input).subspan(at, n), t0, out);
    }
    reader.expire(t0 + 100ms, out);
    EXPECT_FALSE(reader.deadline()) << "nothing may stay pending after the gap";
    return out;
}

TEST_P(ReaderTable, FindsTheFramesWhateverTheChunking) {
    const ReaderCase& c = GetParam();
    for (std::size_t chunk :
         {c.input.size(), std::size_t{1}, std::size_t{2}, std::size_t{7}, std::size_t{1029}}) {
        if (chunk == 0)
            continue;
        const auto frames = readAll(c.input, chunk);
        EXPECT_EQ(summarise(frames, c.expected), c.expected) << "chunks of " << chunk;
        std::size_t total = 0;
        for (const auto& f : frames)
            total += f.bytes.size();
        EXPECT_EQ(total, c.input.size()) << "every byte is accounted for, chunks of " << chunk;
    }
}

INSTANTIATE_TEST_SUITE_P(Frames, ReaderTable, ::testing::ValuesIn(readerCases), caseName);

TEST(FrameReader, UnfinishedFrameWaitsForTheGapBeforeGivingUp) {
    FrameReader reader(100ms);
    const SimTime t0{};
    std::vector<HostFrame> out;
    reader.feed(Bytes{0xA5, 0xF9}, t0, out);
    reader.expire(t0 + 99ms, out);
    EXPECT_TRUE(out.empty());
    ASSERT_TRUE(reader.deadline());
    EXPECT_EQ(*reader.deadline(), t0 + 100ms);
    reader.feed(Bytes{0x00, 0x5C, 0xAF}, t0 + 99ms, out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].kind, K::Abort);
    EXPECT_EQ(out[0].time, t0 + 99ms);
    EXPECT_FALSE(reader.deadline());
}

TEST(FrameMeaning, NamesWhatATechnicianNeeds) {
    auto meaning = [](K kind, Bytes b, bool intact = true) {
        return meaningOf({kind, std::move(b), {}, intact});
    };
    EXPECT_EQ(meaning(K::EnterUpgrade, enter1),
              "EnterUpgradeCommand for address 1, main board or special target");
    EXPECT_EQ(meaning(K::Start, bytes(makeStartCommand(UpgradeTarget::Special))),
              "StartCommand, special target");
    EXPECT_EQ(meaning(K::Header, bytes(makeSizeHeader(3000))), "SizeHeader, 3000 bytes in 3 blocks");
    EXPECT_EQ(meaning(K::Block, block(2)), "DataBlock 2");
    EXPECT_EQ(meaning(K::Block, damagedBlock(), false),
              "DataBlock 1 (damaged: check byte or end byte wrong)");
    EXPECT_EQ(meaning(K::Ptz, ptzLeft), "PTZ pan left (address 1, pan speed 30)");
    EXPECT_EQ(meaning(K::Ptz, {0xFF, 0x01, 0x01, 0x00, 0x00, 0x00, 0x02}), "PTZ focus near (address 1)");
    EXPECT_EQ(meaning(K::Ptz, {0xFF, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01}), "PTZ stop (address 1)");
    EXPECT_EQ(hexOf({0xA5, 0x0F, 0xAF}), "A5 0F AF");
    EXPECT_EQ(hexOf(block(1), 2), "A5 F8 ... (1030 bytes)");
}

} // namespace
} // namespace orvane
