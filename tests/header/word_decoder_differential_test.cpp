// The B and Q words of a name are decoded by the body decoders' block functions. These tests hold
// the header's former decoders as the reference and compare their bytes with the shared path on
// edge cases and on many random words, bad digits and foreign bytes included.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>

#include "console/header/encoded_words.h"

namespace dornick {
namespace {

// The header's own decoders before they were replaced, kept verbatim as the reference.
namespace reference {

constexpr unsigned kBadDigit = 127;

constexpr std::array<uint8_t, 256> MakeHexDigits() {
    std::array<uint8_t, 256> digits{};
    for (auto& d : digits)
        d = kBadDigit;
    for (int c = '0'; c <= '9'; ++c)
        digits[c] = static_cast<uint8_t>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c)
        digits[c] = static_cast<uint8_t>(c - 'A' + 10);
    for (int c = 'a'; c <= 'f'; ++c)
        digits[c] = static_cast<uint8_t>(c - 'a' + 10);
    return digits;
}
constexpr std::array<uint8_t, 256> kHexDigits = MakeHexDigits();

constexpr int kNotBase64 = -1;
constexpr std::array<int8_t, 256> MakeBase64Values() {
    std::array<int8_t, 256> values{};
    for (auto& v : values)
        v = kNotBase64;
    constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i)
        values[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int8_t>(i);
    return values;
}
constexpr std::array<int8_t, 256> kBase64Values = MakeBase64Values();

std::string DecodeBWord(std::string_view text) {
    std::string padded(text);
    while (padded.size() % 4 != 0)
        padded.push_back('=');
    std::string bytes;
    const size_t n = padded.size();
    for (size_t i = 0; i < n; i += 4) {
        unsigned values[4] = {};
        int count = 0;
        bool pad = false;
        for (size_t k = 0; k < 4; ++k) {
            const unsigned char c = static_cast<unsigned char>(padded[i + k]);
            if (c == '=') {
                if (n - (i + k) > 2) return {};
                pad = true;
                break;
            }
            values[count++] = kBase64Values[c] == kNotBase64 ? 0 : static_cast<unsigned>(kBase64Values[c]);
        }
        if (count < 2) return {};
        bytes.push_back(static_cast<char>((values[0] << 2 | values[1] >> 4) & 0xFF));
        if (count > 2) bytes.push_back(static_cast<char>((values[1] << 4 | values[2] >> 2) & 0xFF));
        if (count > 3) bytes.push_back(static_cast<char>((values[2] << 6 | values[3]) & 0xFF));
        if (pad) break;
    }
    return bytes;
}

std::string DecodeQWord(std::string_view text, QEscapeRule rule) {
    std::string bytes;
    bytes.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '=') {
            if (text.size() - i < 3) break;
            const unsigned high = kHexDigits[static_cast<unsigned char>(text[i + 1])];
            const unsigned low = kHexDigits[static_cast<unsigned char>(text[i + 2])];
            const unsigned value = rule == QEscapeRule::Sum ? high * 16 + low : ((high << 4) & 0xFF) | low;
            bytes.push_back(static_cast<char>(value & 0xFF));
            i += 2;
        } else {
            bytes.push_back(c == '_' ? ' ' : c);
        }
    }
    return bytes;
}

} // namespace reference

std::string Hex(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        out.push_back(kDigits[c >> 4]);
        out.push_back(kDigits[c & 15]);
    }
    return out;
}

void ExpectSameBytes(std::string_view text) {
    SCOPED_TRACE("input " + Hex(text));
    EXPECT_EQ(Hex(DecodeBWord(text)), Hex(reference::DecodeBWord(text)));
    for (QEscapeRule rule : {QEscapeRule::Sum, QEscapeRule::Or}) {
        SCOPED_TRACE(rule == QEscapeRule::Sum ? "sum rule" : "or rule");
        EXPECT_EQ(Hex(DecodeQWord(text, rule)), Hex(reference::DecodeQWord(text, rule)));
    }
}

TEST(WordDecoderDifferential, EdgeCases) {
    const std::string_view cases[] = {
        "",
        "=",
        "==",
        "===",
        "====",
        "Q",
        "QQ",
        "QQ=",
        "QQ==",
        "QQ=A",
        "QUI=",
        "QUI",
        "QUJD",
        "QUJDQ",
        "QUJDQQ",
        "QUJDQUI",
        "QQ==QUJD",
        "QUJD====",
        "Q===",
        "QU.D",
        "....",
        "-_-_",
        "4pyTIMOgIGxhIG1vZGU",          // 19 letters: a cut group padded to two
        "4pyTIMOgIGxhIG1vZGUgYXByw6hz", // long enough for the grouped and the vector paths
        "4pyTIMOgIGxhIG1vZGUgYXByw6hz4pyTIMOgIGxhIG1vZGUgYXByw6hz=",
        std::string_view("QU\0D", 4),
        std::string_view("=4\0", 3),
        "=41=4a",
        "=e3=81=82",
        "=ZZ",
        "=4G",
        "=G4",
        "=Gg",
        "==41",
        "=4=41",
        "ab=4",
        "ab=",
        "a_b__",
        "\xFF=\xFF\xFF",
        "=\x80\x80",
    };
    for (std::string_view text : cases)
        ExpectSameBytes(text);
}

// Random words over letters that matter to the two decoders: the alphabet, pads, foreign bytes,
// hexadecimal digits of both cases, bad digits, underscores, NUL and high bytes.
TEST(WordDecoderDifferential, RandomWords) {
    std::mt19937 random(20261209);
    constexpr std::string_view kInteresting =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"
        "=====___..-- \t?GgZz";
    std::uniform_int_distribution<int> length(0, 70);
    std::uniform_int_distribution<int> pick(0, static_cast<int>(kInteresting.size()) - 1);
    std::uniform_int_distribution<int> any_byte(0, 255);
    std::uniform_int_distribution<int> kind(0, 19);
    for (int round = 0; round < 20000; ++round) {
        std::string text(static_cast<size_t>(length(random)), '\0');
        for (char& c : text)
            c = kind(random) == 0 ? static_cast<char>(any_byte(random)) : kInteresting[pick(random)];
        // Every fourth word is clean base64 with its pads, so the decoding paths are taken too.
        if (round % 4 == 0) {
            for (char& c : text)
                if (c == '=' || kInteresting.find(c) >= 64) c = 'Q';
            text.append(round % 3, '=');
        }
        ExpectSameBytes(text);
        if (::testing::Test::HasFailure()) break; // one failing word is enough to read
    }
}

} // namespace
} // namespace dornick
