// The in-place line reader must agree with ReadLineA on every line it accepts: the same text,
// the same cursor afterwards. Random texts of CR, LF, NUL and letters, and lines around the
// buffer's size, are read both ways.

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "console/decode/line_cursor.h"

namespace dornick {
namespace {

void ExpectSameAsReadLineA(const std::string& text) {
    const auto* data = reinterpret_cast<const unsigned char*>(text.data());
    LineCursor fast = MakeLineCursor(data, text.size());
    LineCursor slow = fast;
    int accepted = 0;
    while (fast.pos) {
        ASSERT_EQ(fast.pos, slow.pos);
        char buffer[kLineCapacity];
        const char* line = nullptr;
        size_t length = 0;
        const LineCursor before = fast;
        if (!ReadOrdinaryLine(fast, line, length)) {
            EXPECT_EQ(fast.pos, before.pos); // nothing moves for a line it leaves alone
            ReadLineA(buffer, fast);
            ReadLineA(buffer, slow);
            continue;
        }
        ++accepted;
        ASSERT_NE(ReadLineA(buffer, slow), 0);
        EXPECT_EQ(std::string(line, length), std::string(buffer));
        EXPECT_EQ(fast.pos, slow.pos);
    }
    EXPECT_EQ(slow.pos, nullptr);
    if (text.find('\n') != std::string::npos &&
        text.find_first_of(std::string("\r\0", 2)) == std::string::npos && text.size() < 1000)
        EXPECT_GT(accepted, 0);
}

TEST(OrdinaryLine, AgreesWithReadLineAOnRandomTexts) {
    std::mt19937 random(7);
    const char alphabet[] = {'a', 'b', '\r', '\n', '\0', '-', '='};
    for (int round = 0; round < 20000; ++round) {
        std::string text(random() % 40, 'x');
        for (char& c : text)
            c = alphabet[random() % (random() % 2 ? sizeof alphabet : 2)];
        SCOPED_TRACE(round);
        ExpectSameAsReadLineA(text);
    }
}

TEST(OrdinaryLine, LinesAroundTheBufferSize) {
    for (size_t size : {1020u, 1021u, 1022u, 1023u, 1024u, 1025u, 3000u}) {
        for (const char* end : {"\n", "\r\n", "\r", ""}) {
            SCOPED_TRACE(std::to_string(size) + (end[0] == '\r' ? " CR" : "") +
                         (end[0] == '\n' ? " LF" : ""));
            ExpectSameAsReadLineA(std::string(size, 'q') + end + "next\n");
            ExpectSameAsReadLineA(std::string(size, 'q') + end);
        }
    }
}

} // namespace
} // namespace dornick
