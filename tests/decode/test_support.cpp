#include "test_support.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "console/decode/base64_part.h"
#include "console/decode/line_cursor.h"
#include "console/decode/part_boundary.h"
#include "console/decode/qp_part.h"

namespace dornick::test {

std::string EncodeBase64(std::string_view data) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 3 <= data.size(); i += 3) {
        const uint32_t v =
            uint32_t(uint8_t(data[i])) << 16 | uint32_t(uint8_t(data[i + 1])) << 8 | uint8_t(data[i + 2]);
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    if (data.size() - i == 1) {
        const uint32_t v = uint32_t(uint8_t(data[i])) << 16;
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += "==";
    } else if (data.size() - i == 2) {
        const uint32_t v = uint32_t(uint8_t(data[i])) << 16 | uint32_t(uint8_t(data[i + 1])) << 8;
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

std::string WrapLines(std::string_view text, size_t width, std::string_view line_end) {
    std::string out;
    for (size_t i = 0; i < text.size(); i += width) {
        if (i) out += line_end;
        out += text.substr(i, width);
    }
    return out;
}

std::string RandomBytes(std::mt19937& random, size_t size) {
    std::string out(size, '\0');
    for (char& c : out)
        c = static_cast<char>(random() & 0xFF);
    return out;
}

namespace {

template <typename Run> PartRun RunPart(std::string_view mail, Run run) {
    const auto* data = reinterpret_cast<const unsigned char*>(mail.data());
    LineCursor cursor = MakeLineCursor(data, mail.size());
    char16_t line[kLineCapacity] = {}; // an empty mail leaves it as it was
    ReadLineW(line, cursor);
    MemorySink sink;
    PartRun result;
    result.end = run(line, cursor, sink, result);
    result.output = sink.bytes;
    result.chunks = sink.chunks;
    result.end_line = line;
    result.cursor_offset = cursor.pos ? static_cast<long>(cursor.pos - data) : -1;
    return result;
}

} // namespace

PartRun RunBase64(std::string_view mail, std::u16string_view boundary, bool fast) {
    const PartBoundary part_boundary(boundary);
    return RunPart(mail, [&](char16_t* line, LineCursor& cursor, MemorySink& sink, PartRun& result) {
        Base64PartDecoder decoder;
        decoder.use_fast_path = fast;
        return decoder.Run(line, cursor, part_boundary, sink, [&result] { ++result.notices; });
    });
}

PartRun RunQp(std::string_view mail, std::u16string_view boundary, bool fast) {
    const PartBoundary part_boundary(boundary);
    return RunPart(mail, [&](char16_t* line, LineCursor& cursor, MemorySink& sink, PartRun& result) {
        QpPartDecoder decoder;
        decoder.use_fast_path = fast;
        const DataEnd end = decoder.Run(line, cursor, part_boundary, sink, [&result] { ++result.notices; });
        result.escape_lines = decoder.escape_lines;
        result.wants_redecode = decoder.WantsBase64Redecode();
        return end;
    });
}

std::string Compress(const std::string& data, int window_bits) {
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, 6, Z_DEFLATED, window_bits, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(deflateBound(&stream, data.size()) + 64, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

} // namespace dornick::test
