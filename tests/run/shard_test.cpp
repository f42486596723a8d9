// One part of a run's input: the "K/N" value, the files by position, an mbox by byte range. The
// parts of every test together must give exactly the whole, each piece once.

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "console/run/archive_run.h"
#include "console/run/messages.h"
#include "console/run/shard.h"
#include "platform/console.h"
#include "platform/text.h"

namespace dornick {
namespace {

TEST(Shard, ParsesOnlyAPartOfACount) {
    struct Row {
        const char16_t* text;
        bool good;
        uint64_t number, count;
    };
    const Row rows[] = {
        {u"1/1", true, 1, 1},
        {u"2/3", true, 2, 3},
        {u"007/16", true, 7, 16},
        {u"1000000000/1000000000", true, 1000000000, 1000000000},
        {u"3/2", false, 0, 0},
        {u"0/0", false, 0, 0},
        {u"1/0", false, 0, 0},
        {u"x", false, 0, 0},
        {u"", false, 0, 0},
        {u"1/", false, 0, 0},
        {u"1/2/3", false, 0, 0},
        {u"+1/2", false, 0, 0},
        {u" 1/2", false, 0, 0},
        {u"\uff11/2", false, 0, 0}, // a full-width digit
        {u"1/1000000001", false, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(platform::U16ToUtf8(row.text));
        Shard shard{5, 9}; // left alone by a refusal
        EXPECT_EQ(ParseShard(row.text, shard), row.good);
        EXPECT_EQ(shard.number, row.good ? row.number : 5u);
        EXPECT_EQ(shard.count, row.good ? row.count : 9u);
    }
}

TEST(Shard, ByteRangesCutAnArchiveWithoutGapOrOverlap) {
    const uint64_t sizes[] = {0, 1, 2, 1000, 1001, UINT64_MAX / 3, UINT64_MAX};
    for (uint64_t size : sizes)
        for (uint64_t count = 1; count <= 7; ++count) {
            SCOPED_TRACE(std::to_string(size) + " in " + std::to_string(count));
            uint64_t next = 0;
            for (uint64_t number = 1; number <= count; ++number) {
                const ByteRange range = ShardByteRange({number, count}, size);
                EXPECT_EQ(range.begin, next);
                EXPECT_LE(range.begin, range.end);
                // No part is more than a byte larger than its share.
                if (number < count) EXPECT_LE(range.end - range.begin, size / count + 1);
                next = range.end;
            }
            EXPECT_EQ(next, UINT64_MAX); // the last part takes whatever lies beyond
        }
}

class ShardedMbox : public testing::Test {
  protected:
    void SetUp() override {
        platform::InitConsole();
        SetMessageLanguage(Language::English);
        path = testing::TempDir() + "sharded_mbox_" + std::to_string(::getpid());
    }
    void TearDown() override {
        ::unlink(path.c_str());
        SetMessageLanguage(Language::Japanese);
    }
    // The names and bytes of the messages handed on for `shard`.
    std::vector<std::string> Run(const Shard& shard) {
        std::vector<std::string> seen;
        ArchiveTally tally;
        testing::internal::CaptureStderr();
        const bool ok = RunMboxArchive(
            platform::Utf8ToU16(path), u"box",
            [&](const ArchiveMail& mail) {
                seen.push_back(platform::U16ToUtf8(mail.shown) + "|" +
                               std::string(mail.data, mail.data + mail.size));
                return true;
            },
            tally, shard);
        testing::internal::GetCapturedStderr();
        EXPECT_TRUE(ok);
        EXPECT_EQ(tally.messages, seen.size());
        return seen;
    }
    std::string path;
};

TEST_F(ShardedMbox, PartsTogetherHandOnEveryMessageOnceWithItsWholeRunNumber) {
    // Messages of uneven sizes, and a Content-Length field that makes a "From " line inside a body
    // text: a part whose range begins there must not take it for a separator.
    std::string archive;
    for (int i = 1; i <= 12; ++i) {
        const std::string body = std::string(static_cast<size_t>(i * 37 % 200), 'x') + "\n";
        archive += "From m" + std::to_string(i) + " Wed Dec  9 10:00:00 2026\nSubject: " + std::to_string(i) +
                   "\n\n" + body + "\n";
        if (i == 5) {
            const std::string hidden = "first line\n\nFrom inside Wed Dec  9 10:00:00 2026\nX: y\n\nlast\n";
            archive +=
                "From long Wed Dec  9 10:00:00 2026\nContent-Length: " + std::to_string(hidden.size()) +
                "\n\n" + hidden + "\n";
        }
    }
    std::ofstream(path, std::ios::binary) << archive;
    const std::vector<std::string> whole = Run({});
    ASSERT_EQ(whole.size(), 13u);
    for (uint64_t count : {2u, 3u, 5u, 13u, 40u}) {
        SCOPED_TRACE(count);
        std::vector<std::string> together;
        for (uint64_t number = 1; number <= count; ++number)
            for (std::string& seen : Run({number, count}))
                together.push_back(std::move(seen));
        EXPECT_EQ(together, whole); // in order, since the parts' ranges follow one another
    }
}

} // namespace
} // namespace dornick
