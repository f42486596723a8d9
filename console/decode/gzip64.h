#pragma once
// gzip64: base64 text of a gzip file. The decoded bytes are collected in memory and inflated into
// the part's output file when the part ends.

#include <cstddef>
#include <cstdint>

#include "console/decode/byte_sink.h"

namespace dornick {

/// Inflated bytes are handed on in pieces of this size (the last one may be shorter).
constexpr size_t kGzip64Window = 1024;

/// Why a Gzip64Inflate failed; the run words each reason as its own message.
enum class Gzip64Failure {
    None,
    Damaged,           ///< not a whole gzip stream (damaged, cut short, another wrapper)
    NoMemoryCollected, ///< the collected bytes did not fit in memory
    NoMemoryFullPiece, ///< the output refused a full piece for want of memory
    NoMemoryLastPiece, ///< the output refused the last piece for want of memory
    WriteFailed,       ///< the output refused a piece
};

/// The decoded, still compressed bytes of a gzip64 part.
struct Gzip64Buffer final : ByteSink {
    uint8_t* data = nullptr;
    size_t size = 0;
    size_t capacity = 0;
    bool out_of_memory = false; ///< an append could not grow the buffer
    /// Why the last Gzip64Inflate failed (None after a success); Clear leaves it for the caller.
    Gzip64Failure failure = Gzip64Failure::None;

    Gzip64Buffer() = default;
    Gzip64Buffer(const Gzip64Buffer&) = delete;
    Gzip64Buffer& operator=(const Gzip64Buffer&) = delete;
    ~Gzip64Buffer() override;

    [[nodiscard]] SinkResult Append(const uint8_t* bytes, size_t count) override;
    /// Frees the bytes; the buffer can collect the next part.
    void Clear();
};

/// Inflates the collected gzip stream (the gzip wrapper only) and appends the inflated bytes to
/// `out` in pieces of kGzip64Window. 0 with `inflated_total` set, or -1 with the reason in
/// compressed.failure. The collected bytes are freed either way.
[[nodiscard]] int Gzip64Inflate(Gzip64Buffer& compressed, ByteSink& out, uint64_t& inflated_total);

} // namespace dornick
