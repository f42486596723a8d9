// Throughput of the decoders and detectors of the old in-body encodings over generated blocks of
// 8 MiB of data, with a sink that only counts: uuencode and xxencode line decoding, BinHex text
// decoding and run-length expansion, the undecoded copy of yEnc blocks, and the detectors' scans
// (each reads a whole block ahead before the block is decoded). The encoders are the tests'.

#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "console/decode/binhex_block.h"
#include "console/decode/binhex_decode.h"
#include "console/decode/ish_block.h"
#include "console/decode/line_cursor.h"
#include "console/decode/part_boundary.h"
#include "console/decode/uu_block.h"
#include "console/decode/uu_part.h"
#include "console/decode/yenc_block.h"
#include "console/decode/yenc_copy.h"
#include "old_encodings_support.h"
#include "test_support.h"

namespace {

using namespace dornick;

constexpr size_t kPayload = 8 << 20;
constexpr std::u16string_view kBoundary = u"------=_Part_1234_5678.9012";

struct CountingSink final : ByteSink {
    uint64_t bytes = 0;
    SinkResult Append(const uint8_t*, size_t size) override {
        bytes += size;
        return SinkResult::Ok;
    }
};

const std::string& Payload() {
    static const std::string payload = [] {
        std::mt19937 random(1);
        return test::RandomBytes(random, kPayload);
    }();
    return payload;
}

// Random bytes with runs now and then, as files with padding or empty areas have.
const std::string& PayloadWithRuns() {
    static const std::string payload = [] {
        std::mt19937 random(2);
        std::string out;
        while (out.size() < kPayload) {
            if (random() % 10 == 0)
                out.append(3 + random() % 600, static_cast<char>(random() % 3 ? 0 : 0x90));
            else
                out += test::RandomBytes(random, 1 + random() % 300);
        }
        out.resize(kPayload);
        return out;
    }();
    return payload;
}

std::string Mail(const std::vector<std::string>& lines) {
    return test::JoinLines(lines, test::kLineEndings[0]) + "------=_Part_1234_5678.9012--\r\n";
}

LineCursor CursorOver(const std::string& body) {
    return MakeLineCursor(reinterpret_cast<const unsigned char*>(body.data()), body.size());
}

void SetBytes(benchmark::State& state, const std::string& body) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(body.size()));
}

void UuPart(benchmark::State& state) {
    const bool xx = state.range(0) == 1;
    static const std::string uu = Mail(test::UuEncodeBlock(Payload(), "a.bin"));
    static const std::string xxe = Mail(test::XxEncodeBlock(Payload(), "a.bin"));
    const std::string& body = xx ? xxe : uu;
    const PartBoundary boundary(kBoundary);
    for (auto _ : state) {
        LineCursor cursor = CursorOver(body);
        char16_t line[kLineCapacity];
        ReadLineW(line, cursor);
        CountingSink sink;
        UuPartDecoder decoder;
        decoder.code = xx ? UuCode::Xxencode : UuCode::Uuencode;
        benchmark::DoNotOptimize(decoder.Run(line, cursor, boundary, sink));
        if (sink.bytes != kPayload) state.SkipWithError("wrong byte count");
    }
    SetBytes(state, body);
}
BENCHMARK(UuPart)->ArgName("xx")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void UuDetectBlock(benchmark::State& state) {
    static const std::string body = Mail(test::UuEncodeBlock(Payload(), "a.bin"));
    const PartBoundary boundary(kBoundary);
    for (auto _ : state) {
        LineCursor cursor = CursorOver(body);
        char16_t line[kLineCapacity];
        ReadLineW(line, cursor);
        if (UuDetect(line, cursor, boundary) != UuCode::Uuencode) state.SkipWithError("not found");
    }
    SetBytes(state, body);
}
BENCHMARK(UuDetectBlock)->Unit(benchmark::kMillisecond);

void BinHex(benchmark::State& state) {
    static const std::string body = Mail(test::BinHexBlock("a.bin", PayloadWithRuns()));
    const PartBoundary boundary(kBoundary);
    for (auto _ : state) {
        LineCursor cursor = CursorOver(body);
        char16_t line[kLineCapacity];
        ReadLineW(line, cursor);
        if (!BinHexDetect(line, cursor, boundary)) state.SkipWithError("not found");
        ReadLineW(line, cursor);
        if (FindBinHexStart(line, cursor, boundary) != BinHexStart::Block) state.SkipWithError("no text");
        BinHexFile file;
        if (BinHexDecode(cursor, file) != BinHexStatus::Ok || file.data_length != kPayload)
            state.SkipWithError("not decoded");
        benchmark::DoNotOptimize(file.expanded.data());
    }
    SetBytes(state, body);
}
BENCHMARK(BinHex)->Unit(benchmark::kMillisecond);

void YencCopy(benchmark::State& state) {
    static const std::string body = Mail(test::YencBlockLines(Payload(), "a.bin"));
    const PartBoundary boundary(kBoundary);
    for (auto _ : state) {
        LineCursor cursor = CursorOver(body);
        char16_t line[kLineCapacity];
        ReadLineW(line, cursor);
        YencBlock block;
        if (!YencDetect(line, cursor, boundary, block)) state.SkipWithError("not found");
        StepBackLines(cursor, 1);
        ReadLineW(line, cursor);
        CountingSink sink;
        SinkResult result = SinkResult::Ok;
        benchmark::DoNotOptimize(CopyUndecodedBlock(line, cursor, boundary, YencLastLine(), sink, result));
        if (sink.bytes + 2 + 31 != body.size()) state.SkipWithError("wrong byte count");
    }
    SetBytes(state, body);
}
BENCHMARK(YencCopy)->Unit(benchmark::kMillisecond);

// What every line of a text body costs when it starts no block: the four detectors in the walk's
// order, over 8 MiB of ordinary text lines.
void DetectorsOnTextLines(benchmark::State& state) {
    static const std::string body = [] {
        std::mt19937 random(3);
        const char* words[] = {"the", "file", "is", "attached", "begin",
                               "for", "ish",  "[",  "=ybegin",  "(see)"};
        std::string text;
        while (text.size() < kPayload) {
            std::string line;
            while (line.size() < 60)
                line += std::string(words[random() % 10]) + " ";
            text += line + "\r\n";
        }
        return text;
    }();
    const PartBoundary boundary(kBoundary);
    for (auto _ : state) {
        LineCursor cursor = CursorOver(body);
        char16_t line[kLineCapacity];
        int found = 0;
        while (ReadLineW(line, cursor)) {
            IshBlock ish;
            YencBlock yenc;
            found += IshDetect(line, cursor, boundary, ish) + YencDetect(line, cursor, boundary, yenc) +
                     (UuDetect(line, cursor, boundary) != UuCode::None) +
                     BinHexDetect(line, cursor, boundary);
        }
        if (found) state.SkipWithError("a block in plain text");
    }
    SetBytes(state, body);
}
BENCHMARK(DetectorsOnTextLines)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
