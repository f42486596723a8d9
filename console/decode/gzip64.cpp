#include "console/decode/gzip64.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <zlib.h>

#include "console/run/messages.h"

namespace dornick {
namespace {

// 15 window bits plus 16: only a gzip wrapper is accepted (not zlib, not raw deflate).
constexpr int kGzipWindowBits = 31;

constexpr char16_t kNoMemoryBuffer[] = u"メモリ確保に失敗しました。(gzip (1))\n";
constexpr char16_t kNoMemoryFullChunk[] = u"メモリ確保に失敗しました。(gzip (3))\n";
constexpr char16_t kNoMemoryLastChunk[] = u"メモリ確保に失敗しました。(gzip (5))\n";
constexpr char16_t kWriteFailed[] = u"ファイルを書き込み中にエラーが発生しました。(gzip)\n";

// The message for a piece the output refused; false when it was taken.
bool Refused(SinkResult result, const char16_t* no_memory) {
    if (result == SinkResult::Ok) return false;
    PrintErr(result == SinkResult::NoMemory ? no_memory : kWriteFailed);
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

    if (compressed.out_of_memory) {
        PrintErr(kNoMemoryBuffer);
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
            if (produced > 0 && Refused(out.Append(window, produced), kNoMemoryLastChunk)) {
                inflateEnd(&stream);
                return -1;
            }
            total += produced;
            if (inflateEnd(&stream) != Z_OK) return -1;
            inflated_total = total;
            return 0;
        }
        // A damaged stream, or one that runs out of input before its end.
        if (status != Z_OK) {
            inflateEnd(&stream);
            return -1;
        }
        if (produced == kGzip64Window) {
            if (Refused(out.Append(window, kGzip64Window), kNoMemoryFullChunk)) {
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
