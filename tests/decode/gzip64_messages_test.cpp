// The run prints what the decoders only record: each gzip64 failure reason gets its own message on
// standard error, a damaged stream none (the part's own message follows from the caller).

#include <gtest/gtest.h>

#include <string>

#include "console/run/reported_calls.h"
#include "platform/console.h"
#include "test_support.h"

namespace dornick {
namespace {

struct RefusingSink final : ByteSink {
    SinkResult refusal = SinkResult::Ok;
    size_t refuse_at = SIZE_MAX;
    size_t pieces = 0;
    SinkResult Append(const uint8_t*, size_t) override {
        return pieces++ == refuse_at ? refusal : SinkResult::Ok;
    }
};

TEST(InflateGzip64Part, EachFailureHasItsMessage) {
    const std::string whole = test::Compress(std::string(3000, 'g'), 31); // three pieces: two full, one last
    struct Row {
        const char* name;
        std::string compressed;
        bool collection_failed;
        SinkResult refusal;
        size_t refuse_at;
        int result;
        std::u16string_view message;
    } rows[] = {
        {"inflated", whole, false, SinkResult::Ok, SIZE_MAX, 0, u""},
        {"collection ran out of memory", whole, true, SinkResult::Ok, SIZE_MAX, -1,
         u"メモリ確保に失敗しました。(gzip (1))\n"},
        {"a full piece refused for memory", whole, false, SinkResult::NoMemory, 0, -1,
         u"メモリ確保に失敗しました。(gzip (3))\n"},
        {"the last piece refused for memory", whole, false, SinkResult::NoMemory, 2, -1,
         u"メモリ確保に失敗しました。(gzip (5))\n"},
        {"a full piece not written", whole, false, SinkResult::WriteFailed, 1, -1,
         u"ファイルを書き込み中にエラーが発生しました。(gzip)\n"},
        {"the last piece not written", whole, false, SinkResult::WriteFailed, 2, -1,
         u"ファイルを書き込み中にエラーが発生しました。(gzip)\n"},
        {"damaged: the caller's message only", whole.substr(0, whole.size() / 2), false, SinkResult::Ok,
         SIZE_MAX, -1, u""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Gzip64Buffer buffer;
        ASSERT_EQ(
            buffer.Append(reinterpret_cast<const uint8_t*>(row.compressed.data()), row.compressed.size()),
            SinkResult::Ok);
        buffer.out_of_memory = row.collection_failed;
        RefusingSink sink;
        sink.refusal = row.refusal;
        sink.refuse_at = row.refuse_at;
        uint64_t total = 0;
        ::testing::internal::CaptureStderr();
        const int result = InflateGzip64Part(buffer, sink, total);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), platform::EncodeForPipe(row.message));
        EXPECT_EQ(result, row.result);
        if (row.result == 0) {
            EXPECT_EQ(buffer.failure, Gzip64Failure::None);
            EXPECT_EQ(total, 3000u);
        } else if (row.message.empty()) {
            EXPECT_EQ(buffer.failure, Gzip64Failure::Damaged);
        }
    }
}

} // namespace
} // namespace dornick
