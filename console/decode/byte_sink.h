#pragma once
// Where the decoders put what they decode: the current output file (through the asynchronous
// writer) or, for gzip64, a buffer in memory.

#include <cstddef>
#include <cstdint>

namespace dornick {

/// Outcome of handing decoded bytes on. The decoders stop at anything but Ok.
enum class SinkResult : int { Ok = 0, NoMemory = -1, WriteFailed = -2 };

/// Takes the decoded bytes of one output file, in order.
struct ByteSink {
    virtual ~ByteSink() = default;
    /// Appends `size` bytes (size may be 0).
    [[nodiscard]] virtual SinkResult Append(const uint8_t* data, size_t size) = 0;
};

} // namespace dornick
