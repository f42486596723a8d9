#include "console/decode/gzip64.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <zlib.h>

namespace dornick {
namespace {

// 15 window bits plus 16: only a gzip wrapper is accepted (not zlib, not raw deflate).
constexpr int kGzipWindowBits = 31;

// Records why the output refused a piece; false when it was taken.
bool Refused(SinkResult result, Gzip64Failure no_memory, Gzip64Failure& failure) {
    if (result == SinkResult::Ok) return false;
    failure = result == SinkResult::NoMemory ? no_memory : Gzip64Failure::WriteFailed;
    return true;
}

} // namespace

Gzip64Buffer::~Gzip64Buffer() {
    std::free(data);
}

SinkResult Gzip64Buffer::Append(const uint8_t* bytes, size_t count) {
    if (out_of_memory) return SinkResult::NoMemory;
    if (count > capacity - size) {
        size_t grown = std::max<size_t>(capacity * 2, 64 * 1024);
        while (grown - size < count)
            grown *= 2;
        auto* bigger = static_cast<uint8_t*>(std::realloc(data, grown));
        if (!bigger) {
            out_of_memory = true;
            return SinkResult::NoMemory;
        }
        data = bigger;
        capacity = grown;
    }
    if (count) std::memcpy(data + size, bytes, count);
    size += count;
    return SinkResult::Ok;
}

void Gzip64Buffer::Clear() {
    std::free(data);
    data = nullptr;
    size = capacity = 0;
    out_of_memory = false;
}

int Gzip64Inflate(Gzip64Buffer& compressed, ByteSink& out, uint64_t& inflated_total) {
    struct Release {
        Gzip64Buffer& buffer;
        ~Release() { buffer.Clear(); }
    } release{compressed};

    Gzip64Failure& failure = compressed.failure;
    failure = Gzip64Failure::Damaged;
    if (compressed.out_of_memory) {
        failure = Gzip64Failure::NoMemoryCollected;
        return -1;
    }
    z_stream stream{};
    if (inflateInit2(&stream, kGzipWindowBits) != Z_OK) return -1;

    uint8_t window[kGzip64Window];
    size_t consumed = 0;
    uint64_t total = 0;
    stream.next_out = window;
    stream.avail_out = kGzip64Window;
    for (;;) {
        if (stream.avail_in == 0) {
            const size_t piece = std::min(kGzip64Window, compressed.size - consumed);
            stream.next_in = compressed.data + consumed;
            stream.avail_in = static_cast<uInt>(piece);
            consumed += piece;
        }
        const int status = inflate(&stream, Z_NO_FLUSH);
        const size_t produced = kGzip64Window - stream.avail_out;
        if (status == Z_STREAM_END) {
            if (produced > 0 &&
                Refused(out.Append(window, produced), Gzip64Failure::NoMemoryLastPiece, failure)) {
                inflateEnd(&stream);
                return -1;
            }
            total += produced;
            if (inflateEnd(&stream) != Z_OK) return -1;
            inflated_total = total;
            failure = Gzip64Failure::None;
            return 0;
        }
        // A damaged stream, or one that runs out of input before its end.
        if (status != Z_OK) {
            inflateEnd(&stream);
            return -1;
        }
        if (produced == kGzip64Window) {
            if (Refused(out.Append(window, kGzip64Window), Gzip64Failure::NoMemoryFullPiece, failure)) {
                inflateEnd(&stream);
                return -1;
            }
            total += kGzip64Window;
            stream.next_out = window;
            stream.avail_out = kGzip64Window;
        }
    }
}

} // namespace dornick
