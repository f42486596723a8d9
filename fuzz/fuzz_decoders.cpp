// Each part decoder over the input as a part's data, ending at a boundary "--b" or the data's end.

#include <cstdint>
#include <string>

#include "console/decode/base64_part.h"
#include "console/decode/gzip64.h"
#include "console/decode/line_copy.h"
#include "console/decode/qp_part.h"

namespace {

struct CountingSink final : dornick::ByteSink {
    uint64_t total = 0;
    dornick::SinkResult Append(const uint8_t*, size_t size) override {
        total += size;
        return dornick::SinkResult::Ok;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const int which = data[0] % 4;
    dornick::LineCursor cursor = dornick::MakeLineCursor(data + 1, size - 1);
    char16_t line[dornick::kLineCapacity] = {};
    if (dornick::ReadLineW(line, cursor) == 0) return 0;
    const dornick::PartBoundary boundary(u"--b");
    CountingSink sink;
    switch (which) {
    case 0: {
        dornick::Base64PartDecoder decoder;
        (void)decoder.Run(line, cursor, boundary, sink, [] {});
        break;
    }
    case 1: {
        dornick::QpPartDecoder decoder;
        (void)decoder.Run(line, cursor, boundary, sink);
        break;
    }
    case 2: {
        dornick::SinkResult result = dornick::SinkResult::Ok;
        (void)dornick::CopyPlainLines(line, cursor, boundary, sink, result);
        break;
    }
    default: {
        dornick::Gzip64Buffer compressed;
        dornick::Base64PartDecoder decoder;
        (void)decoder.Run(line, cursor, boundary, compressed, [] {});
        uint64_t inflated = 0;
        (void)dornick::Gzip64Inflate(compressed, sink, inflated);
        break;
    }
    }
    return 0;
}
