// Each vector width's kernels against plain byte code, on clean and damaged input. A width the
// processor lacks is skipped, so the same binary runs on every processor (and under qemu-x86_64
// with older models).
#include <cstring>
#include <iterator>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "console/decode/base64_blocks.h"
#include "console/decode/base64_text.h"
#include "console/decode/cpu_features.h"
#include "console/decode/line_scan.h"
#include "console/decode/qp_blocks.h"
#include "console/decode/qp_part.h"
#include "console/decode/vector_width.h"

namespace dornick {

// Test names and failures show a width as its bytes.
void PrintTo(VectorWidth width, std::ostream* out) {
    *out << static_cast<int>(width) << " bytes";
}

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Bytes(VectorWidth width) {
    return static_cast<int>(width);
}

// The plain reference of the letter-group decoders: whole groups of alphabet letters, 3 bytes each,
// up to the first group that holds anything else.
size_t ReferenceLetterGroups(const unsigned char* in, size_t max_groups, std::vector<uint8_t>& out) {
    size_t groups = 0;
    for (; groups < max_groups; ++groups, in += 4) {
        uint32_t word = 0;
        for (int i = 0; i < 4; ++i) {
            const char* at = std::strchr(kAlphabet, in[i]);
            if (in[i] == 0 || !at) return groups;
            word = word << 6 | static_cast<uint32_t>(at - kAlphabet);
        }
        out.push_back(static_cast<uint8_t>(word >> 16));
        out.push_back(static_cast<uint8_t>(word >> 8));
        out.push_back(static_cast<uint8_t>(word));
    }
    return groups;
}

class VectorKernels : public testing::TestWithParam<VectorWidth> {
  protected:
    void SetUp() override {
        saved_ = ActiveVectorWidth();
        width_ = GetParam();
        if (Bytes(ProcessorVectorWidth()) < Bytes(width_))
            GTEST_SKIP() << "this processor's vectors have " << Bytes(ProcessorVectorWidth())
                         << " bytes at most, not " << Bytes(width_);
#if defined(__x86_64__)
        if (width_ == VectorWidth::W16 && !HaveSsse3AndPopcnt())
            GTEST_SKIP() << "the 16-byte kernels need SSSE3 and POPCNT, which this processor lacks";
#endif
        ASSERT_EQ(ForceVectorWidth(width_), width_);
    }
    void TearDown() override {
        ForceVectorWidth(saved_);
    }

    VectorWidth width_ = VectorWidth::None;
    VectorWidth saved_ = VectorWidth::None;
};

// The line runs against the reference, line by line: the same bytes, and a stop before the same
// line (a damaged byte, another line end or length, the end of the data or of the room).
TEST_P(VectorKernels, Base64LineRunsMatchTheReference) {
    std::mt19937 random(5);
    const char damage[] = {'=', '!', '-', ' ', '\0', '\x80', '\xFF', '\r', '\n', '.'};
    size_t lines_decoded = 0;
    for (int round = 0; round < 2000; ++round) {
        const Base64LineShape shape{4 * (1 + random() % 40), random() % 2 == 0};
        const std::string ending = shape.crlf ? "\r\n" : "\n";
        std::string text;
        const size_t lines = 1 + random() % 12;
        for (size_t l = 0; l < lines; ++l) {
            for (size_t i = 0; i < shape.letters; ++i)
                text.push_back(kAlphabet[random() % 64]);
            text += ending;
        }
        if (random() % 2) text[random() % text.size()] = damage[random() % std::size(damage)];
        if (random() % 4 == 0) text.insert(random() % text.size(), 1, 'Q'); // a line of another length
        text.append(random() % 80, 'A');
        const auto* data = reinterpret_cast<const unsigned char*>(text.data());
        const size_t room = random() % 3 == 0 ? random() % 400 : 1 << 16;
        std::vector<uint8_t> out(room + 64);
        const unsigned char* pos = data;
        const size_t written = Base64LineRunOfWidth(width_, pos, data + text.size(), shape, out.data(), room);
        const size_t done = static_cast<size_t>(pos - data);
        const size_t step = shape.letters + ending.size();
        ASSERT_EQ(done % step, 0u) << round;
        ASSERT_EQ(written, done / step * shape.letters / 4 * 3) << round;
        lines_decoded += done / step;
        std::vector<uint8_t> expected;
        for (size_t line = 0; line < done / step; ++line) {
            const unsigned char* start = data + line * step;
            ASSERT_EQ(ReferenceLetterGroups(start, shape.letters / 4, expected), shape.letters / 4) << round;
            ASSERT_EQ(std::string(reinterpret_cast<const char*>(start + shape.letters), ending.size()),
                      ending);
        }
        ASSERT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + written), expected) << round;
        // It stopped for a reason: the next line is not whole groups with the same end, or too
        // little is left of the data or the room.
        const size_t line_bytes = shape.letters / 4 * 3;
        std::vector<uint8_t> scratch;
        const bool next_clean = text.size() - done >= step &&
                                ReferenceLetterGroups(pos, shape.letters / 4, scratch) == shape.letters / 4 &&
                                text.compare(done + shape.letters, ending.size(), ending) == 0;
        const bool near_end = text.size() - done < step + 64 || room - written < line_bytes + 64;
        if (width_ != VectorWidth::None) {
            EXPECT_TRUE(!next_clean || near_end) << round;
        }
    }
    // The plain code has no line runs: the caller's line decoder takes every line.
    if (width_ == VectorWidth::None)
        EXPECT_EQ(lines_decoded, 0u);
    else
        EXPECT_GT(lines_decoded, 1000u);
    // The decoder's entry runs the width in force.
    const std::string line = std::string(76, 'Q') + "\r\n";
    std::string text;
    for (int i = 0; i < 8; ++i)
        text += line;
    const auto* data = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char* pos = data;
    uint8_t out[1024];
    const size_t written =
        Base64DecodeLineRun(pos, data + text.size(), Base64LineShape{76, true}, out, sizeof out);
    EXPECT_EQ(written > 0, width_ != VectorWidth::None);
}

// The group decoder (sixteen letters at a time where the width allows) against the reference:
// damage anywhere, at block edges, near the end.
TEST_P(VectorKernels, Base64LetterGroupsMatchTheReference) {
    std::mt19937 random(11);
    const char damage[] = {'=', '!', '\0', '\x80', '\xFF', '\n', ' ', '@', '[', '`', '{', '.'};
    for (int round = 0; round < 5000; ++round) {
        const size_t groups = random() % 60;
        std::string text;
        for (size_t i = 0; i < groups * 4; ++i)
            text.push_back(kAlphabet[random() % 64]);
        if (groups && random() % 2) text[random() % text.size()] = damage[random() % std::size(damage)];
        text.append(16, '!'); // what a kernel may read past the groups
        const auto* in = reinterpret_cast<const unsigned char*>(text.data());
        std::vector<uint8_t> expected;
        const size_t expected_groups = ReferenceLetterGroups(in, groups, expected);
        std::vector<uint8_t> out(groups * 3 + 16);
        ASSERT_EQ(Base64DecodeLetterGroups(in, groups, out.data()), expected_groups) << text;
        ASSERT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + expected.size()), expected) << text;
    }
    const std::string clean(96, 'w');
    uint8_t out[96];
    const size_t groups = Base64LetterBlocks16(reinterpret_cast<const unsigned char*>(clean.data()), 24, out);
    EXPECT_EQ(groups > 0, width_ != VectorWidth::None);
}

// The quoted-printable span decoder against the byte loop of the body rule: escapes that straddle
// the blocks, "=" among digits, bad digits, cut escapes, NUL bytes.
TEST_P(VectorKernels, QpSpanMatchesTheByteLoop) {
    std::vector<std::string> texts = {"",
                                      "abc",
                                      "=41",
                                      "a=4",
                                      "=",
                                      "x=3D=3d=zz_",
                                      "=41=42=",
                                      std::string(40, '='),
                                      "0123456789abcde=4",
                                      "0123456789abcd=41=42",
                                      "0123456789abcdef=41",
                                      "0123456789abcdef0123456789abcd=41=42",
                                      "0123456789abcdef0123456789abcde=4142",
                                      "==41==42===43" + std::string(20, 'q')};
    std::mt19937 random(7);
    const char alphabet[] = "====0123456789ABCDEFabcdefGgz _\r\xE3\x81";
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        const size_t length = random() % 120;
        for (size_t i = 0; i < length; ++i)
            text.push_back(random() % 50 == 0 ? '\0' : alphabet[random() % (sizeof alphabet - 1)]);
        texts.push_back(text);
    }
    for (const std::string& text : texts) {
        std::vector<uint8_t> span_out(text.size() + kQpSpanSlack), loop_out(text.size() + 1);
        const size_t n =
            QpDecodeSpan(reinterpret_cast<const unsigned char*>(text.data()), text.size(), span_out.data());
        const size_t m = QpDecodeBlock(text.data(), text.size(), loop_out.data(), false, QEscapeRule::Or);
        ASSERT_EQ(std::string(span_out.begin(), span_out.begin() + n),
                  std::string(loop_out.begin(), loop_out.begin() + m))
            << ::testing::PrintToString(text);
    }
    // Each kernel up to this width takes blocks with escapes itself.
    const std::string escaped = "caf=C3=A9 au lait, cr=C3=A8me br=C3=BBl=C3=A9e, na=C3=AFve=20=3D=3d text";
    for (VectorWidth w : {VectorWidth::W16, VectorWidth::W32}) {
        if (Bytes(w) > Bytes(width_)) continue;
        const auto* p = reinterpret_cast<const unsigned char*>(escaped.data());
        std::vector<uint8_t> out(escaped.size() + kQpSpanSlack);
        QpDecodeEscapeBlocksOfWidth(w, p, p + escaped.size(), out.data());
        EXPECT_GE(p - reinterpret_cast<const unsigned char*>(escaped.data()), Bytes(w)) << Bytes(w);
    }
}

// The search of a line's LF against a byte-by-byte reference: where the LF is, and, when it is
// within the span, whether a NUL or the probe byte stands before it.
TEST_P(VectorKernels, LineScanMatchesTheReference) {
    std::mt19937 random(3);
    const char bytes[] = "abcdefgh-\n\0\r=";
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        const size_t length = random() % 200;
        const unsigned spread = 2 + random() % 60; // how rare the special bytes are
        for (size_t i = 0; i < length; ++i)
            text.push_back(random() % spread == 0 ? bytes[8 + random() % 5] : bytes[random() % 8]);
        const auto* start = reinterpret_cast<const unsigned char*>(text.data());
        const size_t span = length ? random() % (length + 1) : 0;
        const int first = random() % 3 == 0 ? -1 : '-';
        const LineScan scan = ScanLineOfWidth(width_, start, span, start + length, first);
        const unsigned char* lf = nullptr;
        bool special = first < 0;
        for (size_t i = 0; i < span && !lf; ++i) {
            if (start[i] == '\n')
                lf = start + i;
            else
                special = special || start[i] == 0 || start[i] == first;
        }
        ASSERT_EQ(scan.lf, lf) << round << ::testing::PrintToString(text);
        if (lf) {
            ASSERT_EQ(scan.nul_or_boundary_start, special) << round << ::testing::PrintToString(text);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Widths, VectorKernels,
                         testing::Values(VectorWidth::None, VectorWidth::W16, VectorWidth::W32,
                                         VectorWidth::W64),
                         [](const testing::TestParamInfo<VectorWidth>& info) {
                             return "Bytes" + std::to_string(Bytes(info.param));
                         });

TEST(VectorWidthChoice, NamesAndNarrowing) {
    struct Row {
        const char* text;
        bool valid;
        VectorWidth width;
    } rows[] = {{"64", true, VectorWidth::W64},
                {"32", true, VectorWidth::W32},
                {"16", true, VectorWidth::W16},
                {"0", true, VectorWidth::None},
                {"", false, {}},
                {"8", false, {}},
                {"64 ", false, {}},
                {"032", false, {}},
                {"avx2", false, {}},
                {nullptr, false, {}}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text ? row.text : "(unset)");
        VectorWidth width = VectorWidth::W32;
        ASSERT_EQ(ParseVectorWidth(row.text, width), row.valid);
        if (row.valid) {
            EXPECT_EQ(width, row.width);
        }
    }
    const VectorWidth saved = ActiveVectorWidth();
    EXPECT_EQ(ForceVectorWidth(VectorWidth::W64), ProcessorVectorWidth());
    EXPECT_EQ(ActiveVectorWidth(), ProcessorVectorWidth());
    EXPECT_EQ(ForceVectorWidth(VectorWidth::None), VectorWidth::None);
    EXPECT_EQ(ActiveVectorWidth(), VectorWidth::None);
    ForceVectorWidth(saved);
}

} // namespace
} // namespace dornick
