#pragma once
// The SHA-256 of an output file, taken from its bytes as the writer writes them (on its thread), so
// that a file is never read back to be hashed.

#include <cstdint>
#include <string>

#include "platform/async_writer.h"

struct evp_md_ctx_st;

namespace dornick {

class Sha256 final : public platform::WrittenBytesHasher {
  public:
    Sha256();
    ~Sha256() override;
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    /// Starts a new digest.
    void Restart() override;
    void Update(const void* data, size_t size) override;
    /// The digest of everything since the start, as 64 lower-case hex digits; the next digest
    /// starts.
    std::string HexDigest();

  private:
    evp_md_ctx_st* context_;
    bool started_ = false;
};

} // namespace dornick
