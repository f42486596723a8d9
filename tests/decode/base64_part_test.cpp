#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "console/decode/base64_part.h"
#include "console/decode/line_cursor.h"
#include "console/decode/part_boundary.h"
#include "test_support.h"
#include <cstring>

namespace dornick {
namespace {

using test::EncodeBase64;
using test::PartRun;
using test::RunBase64;
using test::WrapLines;

constexpr std::u16string_view kBoundary = u"-abc123";
constexpr char kClosing[] = "--abc123--";

struct Feed {
    const char* name;
    size_t width;
    const char* line_end;
};

// Every feed must give back the original byte for byte, without a notice.
TEST(Base64Part, GoldenRoundTripInSeveralFeeds) {
    std::mt19937 random(7);
    const std::string original = test::RandomBytes(random, 20000);
    const std::string encoded = EncodeBase64(original);
    const Feed feeds[] = {
        {"76 with CR LF", 76, "\r\n"}, {"76 with LF", 76, "\n"},           {"64 with CR", 64, "\r"},
        {"1022 wide", 1020, "\r\n"},   {"groups split by 77", 77, "\r\n"}, {"groups split by 13", 13, "\n"},
        {"three per line", 3, "\r\n"}, {"one per line", 1, "\n"},
    };
    for (const Feed& feed : feeds) {
        for (bool fast : {true, false}) {
            SCOPED_TRACE(std::string(feed.name) + (fast ? " fast" : " full"));
            const std::string mail = WrapLines(encoded, feed.width, feed.line_end) + feed.line_end +
                                     kClosing + feed.line_end + "after";
            const PartRun run = RunBase64(mail, kBoundary, fast);
            EXPECT_EQ(run.output, original);
            EXPECT_EQ(run.end, DataEnd::Boundary);
            EXPECT_EQ(run.end_line, u"--abc123--");
            EXPECT_EQ(run.notices, 0);
        }
    }
}

TEST(Base64Part, EndsOfTheData) {
    struct Row {
        const char* name;
        std::string mail;
        DataEnd end;
        std::string output;
        int notices;
    } rows[] = {
        {"pad line", "QUJD\r\n====\r\nQUJD\r\n", DataEnd::PadLine, "ABC", 0},
        {"end of data without line end", "QUJD\r\nQUJD", DataEnd::EndOfData, "ABCABC", 0},
        {"end of data after a line end", "QUJD\r\nQUJD\r\n", DataEnd::EndOfData, "ABCABC", 0},
        {"next part line", "QUJD\r\nQUJD\r\n------=_NextPart_000_0001\r\nQUJD\r\n", DataEnd::NextPartLine,
         "ABCABC", 1},
        {"boundary on the first line", "--abc123\r\nQUJD\r\n", DataEnd::Boundary, "", 0},
        {"carry left at the end", "QUJDQUI\r\n--abc123\r\n", DataEnd::Boundary, "ABCAB", 1},
        {"77 characters",
         std::string("MDEyMzQ1Njc4OTAxMjM0NTY3ODkwMTIzNDU2Nzg5MDEyMzQ1Njc4OTAxMjM0NTY3ODkwMTIzNDU2N") +
             "\r\nzg5\r\n--abc123",
         DataEnd::Boundary, "012345678901234567890123456789012345678901234567890123456789", 0},
    };
    for (const Row& row : rows) {
        for (bool fast : {true, false}) {
            SCOPED_TRACE(std::string(row.name) + (fast ? " fast" : " full"));
            const PartRun run = RunBase64(row.mail, kBoundary, fast);
            EXPECT_EQ(run.end, row.end);
            EXPECT_EQ(run.output, row.output);
            EXPECT_EQ(run.notices, row.notices);
        }
    }
}

const std::string kTwoClean = "QUJD\r\nQUJD\r\n";

// Damaged and foreign lines: what is kept, what is skipped, and when the file is said to be repaired.
TEST(Base64Part, RepairRules) {
    struct Row {
        const char* name;
        std::string mail;
        std::string output;
        int notices;
    } rows[] = {
        // Two clean lines first, so that the look-ahead of the first line stays out of the way.
        {"stray exclamation mark", "QUJD!\r\nQUJD\r\n--abc123", "ABCABC", 1},
        {"two different strays", kTwoClean + "QU!J?D\r\nQUJD\r\n--abc123", "ABCABCABC", 0},
        {"trailing spaces", "QUJD  \r\nQUJD\r\n--abc123", "ABCABC", 1},
        {"a hyphen", kTwoClean + "QU-JD\r\nQUJD\r\n--abc123", "ABCABCABC", 1},
        {"a high byte", kTwoClean + "QU\xE9JD\r\nQUJD\r\n--abc123", "ABCABCABC", 1},
        {"a NUL byte", kTwoClean + std::string("QU\0JD\r\nQUJD\r\n--abc123", 21), "ABCABCABCABC", 1},
        {"an inner pad", kTwoClean + "QU=JD\r\nQUJD\r\n--abc123", "ABCABCABC", 0},
        {"inner space becomes plus", kTwoClean + "QU J\r\nQUJD\r\n--abc123",
         "ABCABCAO\x89"
         "ABC",
         0},
        {"blank lines", "QUJD\r\n\r\n   \r\nQUJD\r\n\r\n--abc123", "ABCABC", 0},
        {"one notice for many faults", kTwoClean + "QUJD!\r\nQU-D\r\nQUJD \r\nQUJ\r\n--abc123",
         "ABCABCABCABCAB", 1},
    };
    for (const Row& row : rows) {
        for (bool fast : {true, false}) {
            SCOPED_TRACE(std::string(row.name) + (fast ? " fast" : " full"));
            const PartRun run = RunBase64(row.mail, kBoundary, fast);
            EXPECT_EQ(run.output, row.output);
            EXPECT_EQ(run.notices, row.notices);
        }
    }
}

TEST(Base64Part, FirstLineLookAhead) {
    // A first line followed by text is dropped; followed by base64 it is kept.
    EXPECT_EQ(RunBase64("QUJD\r\nThis is, text!\r\nQUJD\r\n--abc123", kBoundary).output, "ABC");
    EXPECT_EQ(RunBase64("QUJD\r\n\r\nQUJD\r\n--abc123", kBoundary).output, "ABCABC");
    EXPECT_EQ(RunBase64("QUJD\r\n\xE3\x81\x82\r\n--abc123", kBoundary).output, "");
    // The boundary as the next line keeps the first line; a line starting with a blank too.
    EXPECT_EQ(RunBase64("QUJD\r\n--abc123", kBoundary).output, "ABC");
    EXPECT_EQ(RunBase64("QUJD\r\n QUJD!\r\n--abc123", kBoundary).output, "ABCABC");
}

TEST(Base64Part, SinkFailureStops) {
    const std::string mail = WrapLines(EncodeBase64(std::string(600, 'x')), 76, "\r\n") + "\r\n--abc123";
    for (bool fast : {true, false}) {
        SCOPED_TRACE(fast ? "fast" : "full");
        test::MemorySink sink;
        sink.fail_after = 100;
        const auto* data = reinterpret_cast<const unsigned char*>(mail.data());
        LineCursor cursor = MakeLineCursor(data, mail.size());
        char16_t line[kLineCapacity];
        ReadLineW(line, cursor);
        Base64PartDecoder decoder;
        decoder.use_fast_path = fast;
        EXPECT_EQ(decoder.Run(line, cursor, PartBoundary(kBoundary), sink, {}), DataEnd::SinkFailed);
        EXPECT_EQ(decoder.sink_result, SinkResult::WriteFailed);
        EXPECT_FALSE(decoder.failed_on_remainder);
        EXPECT_EQ(sink.bytes, std::string(57, 'x'));
    }
    // The padded remainder is refused: the decoder says so.
    test::MemorySink sink;
    sink.fail_after = 3;
    const std::string tail = "QUJDQU\r\n--abc123";
    LineCursor cursor = MakeLineCursor(reinterpret_cast<const unsigned char*>(tail.data()), tail.size());
    char16_t line[kLineCapacity];
    ReadLineW(line, cursor);
    Base64PartDecoder decoder;
    EXPECT_EQ(decoder.Run(line, cursor, PartBoundary(kBoundary), sink, {}), DataEnd::SinkFailed);
    EXPECT_TRUE(decoder.failed_on_remainder);
}

// Random damage of every kind the full path handles: both paths must agree on everything the
// caller can see.
TEST(Base64Part, FastPathEqualsFullPathOnDamagedInput) {
    const unsigned kFuzzSeed =
        std::getenv("DORNICK_FUZZ_SEED") ? std::atoi(std::getenv("DORNICK_FUZZ_SEED")) : 20240501;
    const int kRounds =
        std::getenv("DORNICK_FUZZ_ROUNDS") ? std::atoi(std::getenv("DORNICK_FUZZ_ROUNDS")) : 3000;
    std::mt19937 random(kFuzzSeed);
    const char* pieces[] = {"!",        "?",    " ",  "\t", "-",    "=",    "==",
                            "\0",       "\xE3", "\r", "\n", "\r\n", "====", "------=_NextPart_x",
                            "--abc123", "QUJD", "Q",  "QQ", "QUJ"};
    for (int round = 0; round < kRounds; ++round) {
        // Every third round is long, in lines of whole groups, as most mail is: many lines of one
        // shape in a row.
        const bool long_run = round % 3 == 0;
        const std::string original = test::RandomBytes(random, random() % (long_run ? 6000 : 400));
        const size_t width = long_run ? (random() % 2 ? 76 : 4 * (1 + random() % 40)) : 1 + random() % 90;
        const char* line_end = random() % 2 ? "\r\n" : "\n";
        std::string mail = WrapLines(EncodeBase64(original), width, line_end);
        const int damages = random() % 6;
        for (int d = 0; d < damages && !mail.empty(); ++d) {
            const size_t at = random() % mail.size();
            const char* piece = pieces[random() % std::size(pieces)];
            const size_t length = piece[0] == 0 ? 1 : std::strlen(piece);
            // Half the damage overwrites, so that a line keeps its length (and its shape).
            if (random() % 2)
                mail.replace(at, std::min(length, mail.size() - at), piece, length);
            else
                mail.insert(at, piece, length);
        }
        if (random() % 4 == 0)
            mail.insert(random() % (mail.size() + 1), std::string(1100 + random() % 200, 'Q'));
        if (random() % 2) mail += "\r\n--abc123--\r\n";
        SCOPED_TRACE("round " + std::to_string(round) + ": " + ::testing::PrintToString(mail));
        const PartRun fast = RunBase64(mail, kBoundary, true);
        const PartRun full = RunBase64(mail, kBoundary, false);
        ASSERT_EQ(fast.output, full.output);
        ASSERT_EQ(fast.end, full.end);
        ASSERT_EQ(fast.notices, full.notices);
        ASSERT_EQ(fast.cursor_offset, full.cursor_offset);
        ASSERT_EQ(fast.end_line, full.end_line);
    }
}

// A boundary that could be part of a clean base64 line is still found.
TEST(Base64Part, BoundaryOfBase64Letters) {
    const std::string mail = "QUJD\r\nQUJDxyzw\r\nQUJD\r\n";
    const PartRun run = RunBase64(mail, u"xyzw");
    EXPECT_EQ(run.end, DataEnd::Boundary);
    EXPECT_EQ(run.output, "ABC");
}

} // namespace
} // namespace dornick
