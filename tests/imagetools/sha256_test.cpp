// The demo's proof rests on this digest, now the system's: known answers from FIPS 180-4 and
// the NIST examples, a binary image as sha256sum digests it, and the same digest however the
// input is cut into pieces.
#include "imagetools/sha256.h"

#include <gtest/gtest.h>
#include <string>
#include <string_view>

namespace orvane {
namespace {

std::span<const std::uint8_t> bytesOf(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Every byte value, NUL included, four times: 1024 bytes, sixteen blocks.
std::string everyByteFourTimes() {
    std::string bytes;
    for (int round = 0; round < 4; ++round) {
        for (int value = 0; value < 256; ++value) {
            bytes += static_cast<char>(value);
        }
    }
    return bytes;
}

struct KnownDigest {
    std::string message;
    const char* digest;
};

class Sha256KnownAnswer : public ::testing::TestWithParam<KnownDigest> {};

TEST_P(Sha256KnownAnswer, MatchesPublishedDigest) {
    EXPECT_EQ(hexDigest(sha256Of(bytesOf(GetParam().message))), GetParam().digest);
}

INSTANTIATE_TEST_SUITE_P(
    Vectors, Sha256KnownAnswer,
    ::testing::Values(KnownDigest{"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
                      KnownDigest{"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
                      KnownDigest{"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
                                  "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
                      KnownDigest{"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjk"
                                  "lmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
                                  "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
                      KnownDigest{everyByteFourTimes(),
                                  "785b0751fc2c53dc14a4ce3d800e69ef9ce1009eb327ccf458afe09c242c26c9"},
                      KnownDigest{std::string(1000000, 'a'),
                                  "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"}));

// Lengths around the padding boundaries (55, 56, 63, 64 bytes left in the last block) fed
// in pieces of every awkward size must give the digest of the whole.
TEST(Sha256, PiecesGiveTheDigestOfTheWhole) {
    for (const std::size_t length : {55U, 56U, 63U, 64U, 65U, 119U, 120U, 1000U}) {
        std::string message(length, '\0');
        for (std::size_t i = 0; i < length; ++i) {
            message[i] = static_cast<char>((i * 37 + 11) & 0xFF);
        }
        const Sha256Digest whole = sha256Of(bytesOf(message));
        for (const std::size_t piece : {1U, 3U, 55U, 63U, 64U, 65U}) {
            Sha256 hash;
            for (std::size_t at = 0; at < length; at += piece) {
                hash.update(bytesOf(std::string_view(message).substr(at, piece)));
            }
            EXPECT_EQ(hash.finish(), whole) << "length " << length << ", pieces of " << piece;
        }
    }
}

} // namespace
} // namespace orvane
