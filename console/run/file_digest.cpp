#include "console/run/file_digest.h"

#include <openssl/evp.h>

namespace dornick {

// The library is set up at the first digest, so that a run without records never loads it.
Sha256::Sha256() : context_(nullptr) {}

Sha256::~Sha256() {
    EVP_MD_CTX_free(context_);
}

namespace {

// Fetched once: a digest started by name looks the algorithm up again every time.
const EVP_MD* Sha256Algorithm() {
    static EVP_MD* const algorithm = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    return algorithm ? algorithm : EVP_sha256();
}

} // namespace

void Sha256::Restart() {
    if (!context_) context_ = EVP_MD_CTX_new();
    EVP_DigestInit_ex(context_, Sha256Algorithm(), nullptr);
    started_ = true;
}

void Sha256::Update(const void* data, size_t size) {
    if (!started_) Restart();
    if (size != 0) EVP_DigestUpdate(context_, data, size);
}

std::string Sha256::HexDigest() {
    if (!started_) Restart();
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(context_, digest, &length);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(length * 2);
    for (unsigned int i = 0; i < length; ++i) {
        hex.push_back(kHex[digest[i] >> 4]);
        hex.push_back(kHex[digest[i] & 0xF]);
    }
    Restart();
    return hex;
}

} // namespace dornick
