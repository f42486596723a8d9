#include "old_encodings_support.h"

#include "console/decode/line_cursor.h"
#include "console/decode/part_boundary.h"
#include "console/decode/uu_part.h"
#include "test_support.h"

namespace dornick::test {

const LineEnds kLineEndings[3] = {
    {"CRLF lines", "\r\n", true},
    {"LF lines", "\n", true},
    {"last line without a line end", "\r\n", false},
};

std::string JoinLines(const std::vector<std::string>& lines, const LineEnds& ends) {
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i) {
        out += lines[i];
        if (i + 1 < lines.size() || ends.last_has_end) out += ends.end;
    }
    return out;
}

namespace {

constexpr char kXxAlphabet[] = "+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr char kBinHexAlphabet[] = "!\"#$%&'()*+,-012345689@ABCDEFGHIJKLMNPQRSTUVXYZ[`abcdefhijklmpqr";

template <typename Char>
std::vector<std::string> EncodeGroups(std::string_view data, std::string_view name, Char code) {
    std::vector<std::string> lines{"begin 644 " + std::string(name)};
    for (size_t at = 0; at < data.size(); at += 45) {
        const std::string_view piece = data.substr(at, 45);
        std::string line(1, code(static_cast<int>(piece.size())));
        for (size_t i = 0; i < piece.size(); i += 3) {
            uint32_t v = uint32_t(uint8_t(piece[i])) << 16;
            if (i + 1 < piece.size()) v |= uint32_t(uint8_t(piece[i + 1])) << 8;
            if (i + 2 < piece.size()) v |= uint8_t(piece[i + 2]);
            for (int shift = 18; shift >= 0; shift -= 6)
                line += code(static_cast<int>((v >> shift) & 63));
        }
        lines.push_back(line);
    }
    return lines;
}

} // namespace

std::vector<std::string> UuEncodeBlock(std::string_view data, std::string_view name, char zero) {
    auto lines =
        EncodeGroups(data, name, [zero](int v) { return v == 0 ? zero : static_cast<char>(v + 0x20); });
    lines.push_back("`");
    lines.push_back("end");
    return lines;
}

std::vector<std::string> XxEncodeBlock(std::string_view data, std::string_view name) {
    auto lines = EncodeGroups(data, name, [](int v) { return kXxAlphabet[v]; });
    lines.push_back("+");
    lines.push_back("end");
    return lines;
}

uint16_t BinHexCrc(std::string_view data) {
    uint16_t crc = 0;
    for (char c : data) {
        crc ^= static_cast<uint16_t>(uint8_t(c) << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? static_cast<uint16_t>(crc << 1 ^ 0x1021) : static_cast<uint16_t>(crc << 1);
    }
    return crc;
}

std::string BinHexRunLength(std::string_view data, size_t min_run) {
    std::string out;
    auto literal = [&](char b) {
        out += b;
        if (uint8_t(b) == 0x90) out += '\0';
    };
    for (size_t i = 0; i < data.size();) {
        size_t run = 1;
        while (i + run < data.size() && data[i + run] == data[i])
            ++run;
        literal(data[i]);
        size_t left = run - 1;
        if (run >= min_run) {
            // Each marker repeats the last byte written: chained markers make longer runs.
            while (left > 0) {
                const size_t more = left < 254 ? left : 254;
                out += '\x90';
                out += static_cast<char>(more + 1);
                left -= more;
            }
        } else {
            for (; left > 0; --left)
                literal(data[i]);
        }
        i += run;
    }
    return out;
}

std::vector<std::string> BinHexText(std::string_view bytes) {
    std::string text = ":";
    uint32_t pending = 0;
    int bits = 0;
    for (char c : bytes) {
        pending = pending << 8 | uint8_t(c);
        bits += 8;
        while (bits >= 6) {
            bits -= 6;
            text += kBinHexAlphabet[(pending >> bits) & 63];
        }
    }
    if (bits > 0) text += kBinHexAlphabet[(pending << (6 - bits)) & 63];
    text += ':';
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size(); at += 64)
        lines.push_back(text.substr(at, 64));
    return lines;
}

namespace {

void PutBigEndian(std::string& out, uint32_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

} // namespace

std::string BinHexStream(std::string_view name, std::string_view data_fork, uint32_t declared_length,
                         std::string_view resource_fork) {
    std::string header(1, static_cast<char>(name.size()));
    header += name;
    header += '\0';
    header += "BINAmdos";
    PutBigEndian(header, 0, 2);
    PutBigEndian(header, declared_length, 4);
    PutBigEndian(header, static_cast<uint32_t>(resource_fork.size()), 4);
    std::string stream = header;
    PutBigEndian(stream, BinHexCrc(header + std::string(2, '\0')), 2);
    stream += data_fork;
    PutBigEndian(stream, BinHexCrc(std::string(data_fork) + std::string(2, '\0')), 2);
    stream += resource_fork;
    PutBigEndian(stream, BinHexCrc(std::string(resource_fork) + std::string(2, '\0')), 2);
    return stream;
}

std::vector<std::string> BinHexBlock(std::string_view name, std::string_view data_fork) {
    std::vector<std::string> lines{"(This file must be converted with BinHex 4.0)", ""};
    for (auto& line : BinHexText(BinHexRunLength(
             BinHexStream(name, data_fork, static_cast<uint32_t>(data_fork.size()), "resource bytes"))))
        lines.push_back(line);
    return lines;
}

std::vector<std::string> YencBlockLines(std::string_view data, std::string_view name, int part) {
    std::string head = part ? "=ybegin part=" + std::to_string(part) + " line=128" : "=ybegin line=128";
    head += " size=" + std::to_string(data.size()) + " name=" + std::string(name);
    std::vector<std::string> lines{head};
    std::string line;
    for (char c : data) {
        const uint8_t e = static_cast<uint8_t>(uint8_t(c) + 42);
        if (e == 0 || e == '\n' || e == '\r' || e == '=' || ((e == '\t' || e == ' ') && line.empty()) ||
            (e == '.' && line.empty())) {
            line += '=';
            line += static_cast<char>(e + 64);
        } else {
            line += static_cast<char>(e);
        }
        if (line.size() >= 128) {
            lines.push_back(line);
            line.clear();
        }
    }
    if (!line.empty()) lines.push_back(line);
    lines.push_back("=yend size=" + std::to_string(data.size()));
    return lines;
}

std::string YencDecodeText(std::string_view stored) {
    std::string out;
    size_t at = 0;
    while (at < stored.size()) {
        size_t end = stored.find_first_of("\r\n", at);
        if (end == std::string_view::npos) end = stored.size();
        const std::string_view line = stored.substr(at, end - at);
        at = end;
        while (at < stored.size() && (stored[at] == '\r' || stored[at] == '\n'))
            ++at;
        if (line.substr(0, 2) == "=y") continue;
        for (size_t i = 0; i < line.size(); ++i) {
            uint8_t e = uint8_t(line[i]);
            if (e == '=' && i + 1 < line.size()) e = static_cast<uint8_t>(uint8_t(line[++i]) - 64);
            out += static_cast<char>(e - 42);
        }
    }
    return out;
}

BlockRun RunUuPart(std::string_view mail, UuCode code, std::u16string_view boundary) {
    const auto* data = reinterpret_cast<const unsigned char*>(mail.data());
    LineCursor cursor = MakeLineCursor(data, mail.size());
    char16_t line[kLineCapacity] = {};
    ReadLineW(line, cursor);
    MemorySink sink;
    BlockRun result;
    UuPartDecoder decoder;
    decoder.code = code;
    result.end = decoder.Run(line, cursor, PartBoundary(boundary), sink, [&result] { ++result.notices; });
    result.output = sink.bytes;
    result.end_line = line;
    result.cursor_offset = cursor.pos ? static_cast<long>(cursor.pos - data) : -1;
    return result;
}

} // namespace dornick::test
