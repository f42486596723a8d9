#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "console/decode/gzip64.h"
#include "test_support.h"

namespace dornick {
namespace {

using test::Compress;

struct RecordingSink final : ByteSink {
    std::string bytes;
    std::vector<size_t> pieces;
    SinkResult refuse = SinkResult::Ok;
    size_t refuse_at_piece = SIZE_MAX;

    SinkResult Append(const uint8_t* data, size_t size) override {
        if (pieces.size() == refuse_at_piece) return refuse;
        bytes.append(reinterpret_cast<const char*>(data), size);
        pieces.push_back(size);
        return SinkResult::Ok;
    }
};

int Inflate(const std::string& compressed, RecordingSink& out, uint64_t& total) {
    Gzip64Buffer buffer;
    EXPECT_EQ(buffer.Append(reinterpret_cast<const uint8_t*>(compressed.data()), compressed.size()),
              SinkResult::Ok);
    const int result = Gzip64Inflate(buffer, out, total);
    EXPECT_EQ(buffer.data, nullptr); // freed on every path
    return result;
}

TEST(Gzip64, InflatesInPiecesOf1024) {
    std::mt19937 random(3);
    const std::string original = test::RandomBytes(random, 3000);
    RecordingSink out;
    uint64_t total = 0;
    ASSERT_EQ(Inflate(Compress(original, 31), out, total), 0);
    EXPECT_EQ(out.bytes, original);
    EXPECT_EQ(out.pieces, (std::vector<size_t>{1024, 1024, 952}));
    EXPECT_EQ(total, 3000u);
}

TEST(Gzip64, ExactMultipleMakesNoEmptyPiece) {
    const std::string original(4096, 'z');
    RecordingSink out;
    uint64_t total = 0;
    ASSERT_EQ(Inflate(Compress(original, 31), out, total), 0);
    EXPECT_EQ(out.pieces, (std::vector<size_t>(4, 1024)));
    EXPECT_EQ(total, 4096u);
}

TEST(Gzip64, RejectsWhatIsNotAWholeGzipStream) {
    const std::string original(5000, 'q');
    const std::string gzip = Compress(original, 31);
    struct Row {
        const char* name;
        std::string data;
    } rows[] = {
        {"zlib", Compress(original, 15)},
        {"raw deflate", Compress(original, -15)},
        {"cut short", gzip.substr(0, gzip.size() / 2)},
        {"empty", ""},
        {"damaged",
         [&] {
             std::string bad = gzip;
             bad[bad.size() / 2] ^= 0x55;
             bad[bad.size() / 2 + 1] ^= 0x55;
             return bad;
         }()},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RecordingSink out;
        uint64_t total = 12345;
        EXPECT_EQ(Inflate(row.data, out, total), -1);
        EXPECT_EQ(total, 12345u);
    }
}

TEST(Gzip64, OutputRefusalStopsAndFrees) {
    const std::string gzip = Compress(std::string(5000, 'r'), 31);
    for (SinkResult refusal : {SinkResult::NoMemory, SinkResult::WriteFailed}) {
        for (size_t at : {0u, 4u}) { // a full piece, the last piece
            SCOPED_TRACE(at);
            RecordingSink out;
            out.refuse = refusal;
            out.refuse_at_piece = at;
            uint64_t total = 0;
            EXPECT_EQ(Inflate(gzip, out, total), -1);
            EXPECT_EQ(out.pieces.size(), at);
        }
    }
}

TEST(Gzip64, FailedCollectionIsReported) {
    Gzip64Buffer buffer;
    buffer.out_of_memory = true;
    RecordingSink out;
    uint64_t total = 0;
    EXPECT_EQ(Gzip64Inflate(buffer, out, total), -1);
    EXPECT_FALSE(buffer.out_of_memory);
    EXPECT_TRUE(out.pieces.empty());
}

} // namespace
} // namespace dornick
