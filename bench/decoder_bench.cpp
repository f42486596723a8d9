// Throughput of the part decoders over generated mail bodies, with a sink that only counts (the
// decoders alone) and with the asynchronous writer into a file on /dev/shm (decoding and writing).

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "console/decode/base64_part.h"
#include "console/decode/base64_text.h"
#include "console/decode/line_cursor.h"
#include "console/decode/part_boundary.h"
#include "console/decode/qp_part.h"
#include "console/decode/writer_sink.h"
#include "console/header/unique_file_name.h"
#include "platform/async_writer.h"

namespace {

using namespace dornick;

constexpr size_t kPayload = 8 << 20;
constexpr std::u16string_view kBoundary = u"-----=_Part_1234_5678.9012";

struct CountingSink final : ByteSink {
    uint64_t bytes = 0;
    SinkResult Append(const uint8_t*, size_t size) override {
        bytes += size;
        return SinkResult::Ok;
    }
};

std::string Base64Body() {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::mt19937 random(1);
    std::string body;
    const size_t chars = kPayload / 3 * 4;
    for (size_t i = 0; i < chars; ++i) {
        body += kAlphabet[random() & 63];
        if (i % 76 == 75) body += "\r\n";
    }
    body += "\r\n------=_Part_1234_5678.9012--\r\n";
    return body;
}

// Japanese text as mailers send it: most bytes escaped, soft breaks at 76, some ASCII lines.
std::string QpBody() {
    std::mt19937 random(2);
    std::string body;
    size_t column = 0;
    static constexpr char kHex[] = "0123456789ABCDEF";
    while (body.size() < kPayload) {
        if (random() % 3 == 0) {
            const std::string word = "plain text words ";
            if (column + word.size() > 75) {
                body += "=\r\n";
                column = 0;
            }
            body += word;
            column += word.size();
        } else {
            if (column + 3 > 75) {
                body += "=\r\n";
                column = 0;
            }
            const unsigned v = 0x80 + random() % 0x7F;
            body += '=';
            body += kHex[v >> 4];
            body += kHex[v & 15];
            column += 3;
        }
        if (random() % 200 == 0) {
            body += "\r\n";
            column = 0;
        }
    }
    body += "\r\n------=_Part_1234_5678.9012--\r\n";
    return body;
}

template <typename Decode> void RunOver(benchmark::State& state, const std::string& body, Decode decode) {
    const auto* data = reinterpret_cast<const unsigned char*>(body.data());
    const PartBoundary boundary(kBoundary);
    for (auto _ : state) {
        LineCursor cursor = MakeLineCursor(data, body.size());
        char16_t line[kLineCapacity];
        ReadLineW(line, cursor);
        decode(line, cursor, boundary);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(body.size()));
}

void Base64Part(benchmark::State& state) {
    static const std::string body = Base64Body();
    CountingSink sink;
    RunOver(state, body, [&](char16_t* line, LineCursor& cursor, const PartBoundary& boundary) {
        Base64PartDecoder decoder;
        decoder.use_fast_path = state.range(0) != 0;
        benchmark::DoNotOptimize(decoder.Run(line, cursor, boundary, sink, {}));
    });
}
BENCHMARK(Base64Part)->ArgName("fast")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void QpPart(benchmark::State& state) {
    static const std::string body = QpBody();
    CountingSink sink;
    RunOver(state, body, [&](char16_t* line, LineCursor& cursor, const PartBoundary& boundary) {
        QpPartDecoder decoder;
        decoder.use_fast_path = state.range(0) != 0;
        benchmark::DoNotOptimize(decoder.Run(line, cursor, boundary, sink));
    });
}
BENCHMARK(QpPart)->ArgName("fast")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void Base64DecodeBlockOnly(benchmark::State& state) {
    static const std::string body = [] {
        std::string clean;
        for (char c : Base64Body())
            if (kBase64Values[static_cast<unsigned char>(c)] < 64) clean += c;
        clean.resize(clean.size() / 4 * 4);
        return clean;
    }();
    std::string out(body.size(), '\0');
    for (auto _ : state)
        benchmark::DoNotOptimize(Base64DecodeBlock(body.data(), static_cast<int>(body.size()),
                                                   reinterpret_cast<uint8_t*>(out.data())));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(body.size()));
}
BENCHMARK(Base64DecodeBlockOnly)->Unit(benchmark::kMillisecond);

// Decoding into a file on tmpfs through the asynchronous writer.
void Base64PartToFile(benchmark::State& state) {
    static const std::string body = Base64Body();
    platform::AsyncWriter writer;
    const std::string path = "/dev/shm/dornick-bench-" + std::to_string(::getpid());
    RunOver(state, body, [&](char16_t* line, LineCursor& cursor, const PartBoundary& boundary) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        writer.Begin(fd);
        WriterSink sink(writer);
        Base64PartDecoder decoder;
        benchmark::DoNotOptimize(decoder.Run(line, cursor, boundary, sink, {}));
        if (writer.Finish() != platform::WriteStatus::Ok) state.SkipWithError("write failed");
        ::close(fd);
    });
    ::unlink(path.c_str());
}
BENCHMARK(Base64PartToFile)->Unit(benchmark::kMillisecond)->UseRealTime();

// The name of the 5,001st "image001.png" in one folder: once as a fresh process meets it (the folder
// listed first), once as the same process meets it again.
void UniqueNameAmongMany(benchmark::State& state) {
    const std::string folder = "/dev/shm/dornick-names-" + std::to_string(::getpid());
    ::mkdir(folder.c_str(), 0755);
    const int fd = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        state.SkipWithError("no folder");
        return;
    }
    ::close(::openat(fd, "image001.png", O_WRONLY | O_CREAT, 0644));
    for (int n = 1; n <= 5000; ++n)
        ::close(
            ::openat(fd, ("image001_(" + std::to_string(n) + ")_.png").c_str(), O_WRONLY | O_CREAT, 0644));
    const bool fresh = state.range(0) != 0;
    FolderListing listing;
    for (auto _ : state) {
        if (fresh) listing.Forget();
        std::u16string name = u"image001.png";
        benchmark::DoNotOptimize(MakeUniqueFileName({fd, &listing}, name, u"image/png", u""));
    }
    ::close(fd);
    std::system(("rm -rf '" + folder + "'").c_str());
}
BENCHMARK(UniqueNameAmongMany)->ArgName("fresh")->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
