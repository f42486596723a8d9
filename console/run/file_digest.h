#pragma once
// The SHA-256 of an output file, taken from its bytes on their way to the writer, so that a file is
// never read back to be hashed.

#include <cstdint>
#include <string>

#include "console/decode/byte_sink.h"

struct evp_md_ctx_st;

namespace dornick {

class Sha256 {
  public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    /// Starts a new digest.
    void Restart();
    void Update(const void* data, size_t size);
    /// The digest of everything since the start, as 64 lower-case hex digits; the next digest
    /// starts.
    std::string HexDigest();

  private:
    evp_md_ctx_st* context_;
    bool started_ = false;
};

/// Hands bytes on to `inner` and hashes those taken, counting them.
struct HashingSink final : ByteSink {
    ByteSink& inner;
    Sha256& digest;
    uint64_t size = 0;

    HashingSink(ByteSink& sink, Sha256& hash) : inner(sink), digest(hash) {}
    [[nodiscard]] SinkResult Append(const uint8_t* data, size_t length) override {
        const SinkResult result = inner.Append(data, length);
        if (result == SinkResult::Ok) {
            digest.Update(data, length);
            size += length;
        }
        return result;
    }
};

} // namespace dornick
