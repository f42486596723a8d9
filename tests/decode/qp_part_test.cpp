#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "console/decode/base64_text.h"
#include "console/decode/line_cursor.h"
#include "console/decode/qp_part.h"
#include "test_support.h"

namespace dornick {
namespace {

using test::PartRun;
using test::RunQp;

constexpr std::u16string_view kBoundary = u"-abc123";

// Quoted-printable of `original`, hard line breaks where it has CR LF, soft ones to keep lines at
// `width`.
std::string EncodeQp(std::string_view original, size_t width) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    size_t column = 0;
    for (size_t i = 0; i < original.size(); ++i) {
        const auto c = static_cast<unsigned char>(original[i]);
        if (c == '\r' && i + 1 < original.size() && original[i + 1] == '\n') {
            out += "\r\n";
            column = 0;
            ++i;
            continue;
        }
        std::string piece;
        if (c >= 0x21 && c <= 0x7E && c != '=')
            piece = std::string(1, static_cast<char>(c));
        else
            piece = std::string{'=', kHex[c >> 4], kHex[c & 15]};
        if (column + piece.size() > width - 1) {
            out += "=\r\n";
            column = 0;
        }
        out += piece;
        column += piece.size();
    }
    return out;
}

TEST(QpPart, GoldenRoundTrip) {
    std::mt19937 random(11);
    std::string original;
    for (int i = 0; i < 3000; ++i) {
        const int kind = random() % 10;
        if (kind == 0)
            original += "\r\n";
        else if (kind < 4)
            original += static_cast<char>(random() & 0xFF);
        else
            original += static_cast<char>('a' + random() % 26);
    }
    for (size_t width : {76u, 20u, 4u, 1000u}) {
        for (bool fast : {true, false}) {
            SCOPED_TRACE(std::to_string(width) + (fast ? " fast" : " full"));
            const std::string mail = EncodeQp(original, width) + "\r\n--abc123--\r\nnext";
            const PartRun run = RunQp(mail, kBoundary, fast);
            EXPECT_EQ(run.output, original);
            EXPECT_EQ(run.end, DataEnd::Boundary);
            EXPECT_EQ(run.end_line, u"--abc123--");
        }
    }
    // Stored on Unix, every CR LF became LF: soft breaks still join, hard ones stay LF.
    auto to_lf = [](std::string text) {
        for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
            text.erase(at, 1);
        return text;
    };
    for (bool fast : {true, false}) {
        SCOPED_TRACE(fast ? "LF fast" : "LF full");
        const std::string mail = to_lf(EncodeQp(original, 76) + "\r\n--abc123--\r\n");
        EXPECT_EQ(RunQp(mail, kBoundary, fast).output, to_lf(original));
    }
}

// A line of the reader's full length arrives in pieces; an escape cut by the piece boundary is read
// again whole with the next piece, wherever the cut falls.
TEST(QpPart, EscapeCutBetweenPieces) {
    for (size_t before = 1018; before <= 1024; ++before) {
        for (bool fast : {true, false}) {
            SCOPED_TRACE(std::to_string(before) + (fast ? " fast" : " full"));
            const std::string mail =
                std::string(before, 'a') + "=41=42" + std::string(900, 'b') + "=\r\nc\r\n--abc123";
            const PartRun run = RunQp(mail, kBoundary, fast);
            EXPECT_EQ(run.output, std::string(before, 'a') + "AB" + std::string(900, 'b') + "c");
        }
    }
}

TEST(QpPart, LineBreakRules) {
    struct Row {
        const char* name;
        std::string mail;
        std::string output;
    } rows[] = {
        {"escapes", "=41=4a\r\n--abc123", "AJ"},
        {"soft line break", "ab=\r\ncd\r\n--abc123", "abcd"},
        {"hard line breaks, none before the boundary", "ab\r\ncd\r\n--abc123", "ab\r\ncd"},
        {"empty lines", "\r\nab\r\n\r\n\r\n--abc123", "\r\nab\r\n\r\n"},
        {"a lone LF ends a line", "a\nb\r\n--abc123", "a\nb"},
        {"soft line break before a lone LF", "a=\nb=\r\nc\n--abc123", "abc"},
        {"a lone CR is data", "a\rb\r\n--abc123", "a\rb"},
        {"end of data after CR LF", "ab\r\ncd\r\n", "ab\r\ncd\r\n"},
        {"end of data after LF", "ab\r\ncd\n", "ab\r\ncd\n"},
        {"end of data after CR", "ab\r\ncd\r", "ab\r\ncd\r"},
        {"end of data without a line end", "ab\r\ncd", "ab\r\ncd"},
        {"a soft break at the end of the data", "ab\r\ncd=\r\n", "ab\r\ncd\r\n"},
        {"boundary on the first line", "--abc123\r\nab\r\n--abc123", ""},
        {"NUL bytes are dropped", std::string("a\0b\r\nc\r\n--abc123", 16), "ab\r\nc"},
        {"bad digits", "=ZZ=4\r\n--abc123", "\xFF"},
    };
    for (const Row& row : rows) {
        for (bool fast : {true, false}) {
            SCOPED_TRACE(std::string(row.name) + (fast ? " fast" : " full"));
            EXPECT_EQ(RunQp(row.mail, kBoundary, fast).output, row.output);
        }
    }
}

TEST(QpPart, NulBytesAreReportedOnce) {
    const std::string mail("ab\r\nc\0d\r\n\0\0\r\ne\0\r\nf\r\n--abc123", 28);
    for (bool fast : {true, false}) {
        SCOPED_TRACE(fast ? "fast" : "full");
        const PartRun run = RunQp(mail, kBoundary, fast);
        EXPECT_EQ(run.output, "ab\r\ncd\r\n\r\ne\r\nf");
        EXPECT_EQ(run.notices, 1);
    }
    EXPECT_EQ(RunQp("ab\r\ncd\r\n--abc123", kBoundary).notices, 0);
}

TEST(QpPart, RedecodeAsBase64) {
    const std::string letters = test::WrapLines(std::string(2000, 'Q'), 76, "\r\n");
    struct Row {
        const char* name;
        std::string mail;
        bool redecode;
    } rows[] = {
        {"plain letters", letters + "\r\n--abc123", true},
        {"one line with =", "QQ==\r\n" + letters + "\r\n--abc123", true},
        {"two lines with =", "QQ==\r\nQQ==\r\n" + letters + "\r\n--abc123", false},
        {"too short", "QUJD\r\nQUJD\r\n--abc123", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(RunQp(row.mail, kBoundary).wants_redecode, row.redecode);
    }
}

TEST(QpPart, FastPathEqualsFullPathOnDamagedInput) {
    const char* seed = std::getenv("DORNICK_FUZZ_SEED");
    const char* rounds = std::getenv("DORNICK_FUZZ_ROUNDS");
    std::mt19937 random(seed ? std::atoi(seed) : 99);
    const int kRounds = rounds ? std::atoi(rounds) : 3000;
    const char* pieces[] = {"=",        "=4", "=41",      "=\r\n", "\r",  "\n",   "\r\n",
                            "\r\n\r\n", "\0", "--abc123", "==",    "=\r", "x=\n", "\xE3\x81"};
    for (int round = 0; round < kRounds; ++round) {
        std::string mail;
        const int parts = 1 + random() % 40;
        for (int i = 0; i < parts; ++i) {
            const int kind = random() % 8;
            if (kind < 3)
                mail += std::string(random() % 80, static_cast<char>('a' + random() % 26));
            else if (kind == 3 && random() % 4 == 0)
                mail += std::string(1000 + random() % 100, 'z');
            else {
                const char* piece = pieces[random() % std::size(pieces)];
                mail.append(piece, piece[0] == 0 ? 1 : std::strlen(piece));
            }
        }
        SCOPED_TRACE("round " + std::to_string(round) + ": " + ::testing::PrintToString(mail));
        const PartRun fast = RunQp(mail, kBoundary, true);
        const PartRun full = RunQp(mail, kBoundary, false);
        ASSERT_EQ(fast.output, full.output);
        ASSERT_EQ(fast.end, full.end);
        ASSERT_EQ(fast.cursor_offset, full.cursor_offset);
        ASSERT_EQ(fast.end_line, full.end_line);
        ASSERT_EQ(fast.escape_lines, full.escape_lines);
        ASSERT_EQ(fast.notices, full.notices);
    }
}

} // namespace
} // namespace dornick
