// SHA-256 on OpenSSL's libcrypto, through its EVP interface.
#include "imagetools/sha256.h"

#include <openssl/evp.h>
#include <stdexcept>
#include <string>

namespace orvane {

struct Sha256::State {
    State() : context(EVP_MD_CTX_new()) {}
    ~State() { EVP_MD_CTX_free(context); }
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    EVP_MD_CTX* context;
};

namespace {

void check(int result, const char* step) {
    if (result != 1) {
        throw std::runtime_error(std::string("SHA-256 (libcrypto): ") + step + " failed");
    }
}

} // namespace

Sha256::Sha256() : state_(std::make_unique<State>()) {
    check(state_->context != nullptr ? 1 : 0, "EVP_MD_CTX_new");
    check(EVP_DigestInit_ex(state_->context, EVP_sha256(), nullptr), "EVP_DigestInit_ex");
}

Sha256::~Sha256() = default;

void Sha256::update(std::span<const std::uint8_t> bytes) {
    check(EVP_DigestUpdate(state_->context, bytes.data(), bytes.size()), "EVP_DigestUpdate");
}

Sha256Digest Sha256::finish() {
    Sha256Digest digest{};
    unsigned int length = 0;
    check(EVP_DigestFinal_ex(state_->context, digest.data(), &length), "EVP_DigestFinal_ex");
    check(length == digest.size() ? 1 : 0, "the digest's length");
    return digest;
}

} // namespace orvane
