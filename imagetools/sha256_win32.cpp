// SHA-256 on Windows' own cryptography (BCrypt, CNG).
#include "imagetools/sha256.h"

#include <windows.h>

#include <algorithm>
#include <bcrypt.h>
#include <stdexcept>
#include <string>

namespace orvane {

struct Sha256::State {
    State() = default;
    ~State() {
        if (hash != nullptr) {
            BCryptDestroyHash(hash);
        }
        if (algorithm != nullptr) {
            BCryptCloseAlgorithmProvider(algorithm, 0);
        }
    }
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
};

namespace {

void check(NTSTATUS status, const char* step) {
    if (!BCRYPT_SUCCESS(status)) {
        throw std::runtime_error(std::string("SHA-256 (BCrypt): ") + step + " failed");
    }
}

} // namespace

Sha256::Sha256() : state_(std::make_unique<State>()) {
    check(BCryptOpenAlgorithmProvider(&state_->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0),
          "BCryptOpenAlgorithmProvider");
    // No object buffer of ours: the system keeps the hash object (Windows 7 and later).
    check(BCryptCreateHash(state_->algorithm, &state_->hash, nullptr, 0, nullptr, 0, 0), "BCryptCreateHash");
}

Sha256::~Sha256() = default;

void Sha256::update(std::span<const std::uint8_t> bytes) {
    // BCrypt takes at most a ULONG's worth at a time, through a pointer it does not write to.
    constexpr std::size_t largestPiece = 0x7FFFFFFF;
    while (!bytes.empty()) {
        const std::size_t piece = std::min(bytes.size(), largestPiece);
        check(BCryptHashData(state_->hash, const_cast<PUCHAR>(bytes.data()), static_cast<ULONG>(piece), 0),
              "BCryptHashData");
        bytes = bytes.subspan(piece);
    }
}

Sha256Digest Sha256::finish() {
    Sha256Digest digest{};
    check(BCryptFinishHash(state_->hash, digest.data(), static_cast<ULONG>(digest.size()), 0),
          "BCryptFinishHash");
    return digest;
}

} // namespace orvane
