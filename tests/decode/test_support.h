#pragma once
// Helpers shared by the decoder tests: a sink that keeps what it is given, a base64 encoder to
// make test data, and running a part decoder over a mail text the way the walk hands it over.

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "console/decode/byte_sink.h"
#include "console/decode/part_decoding.h"

namespace dornick::test {

struct MemorySink final : ByteSink {
    std::string bytes;
    int chunks = 0;
    size_t fail_after = SIZE_MAX; ///< refuse the append that would pass this many bytes
    SinkResult failure = SinkResult::WriteFailed;

    SinkResult Append(const uint8_t* data, size_t size) override {
        if (bytes.size() + size > fail_after) return failure;
        bytes.append(reinterpret_cast<const char*>(data), size);
        ++chunks;
        return SinkResult::Ok;
    }
};

/// Plain RFC 4648 base64 of `data`, without line breaks.
std::string EncodeBase64(std::string_view data);
/// `text` cut into lines of `width` characters joined by `line_end` (no line end after the last).
std::string WrapLines(std::string_view text, size_t width, std::string_view line_end);
/// Random bytes.
std::string RandomBytes(std::mt19937& random, size_t size);
/// `data` deflated with the given window bits: 31 gzip, 15 zlib, -15 raw deflate.
std::string Compress(const std::string& data, int window_bits);

/// What one run of a part decoder gave.
struct PartRun {
    std::string output;
    int chunks = 0;
    DataEnd end = DataEnd::EndOfData;
    int notices = 0;
    std::u16string end_line;
    long cursor_offset = -1; ///< where the cursor stopped, -1 when null
    int escape_lines = 0;    ///< quoted-printable only
    bool wants_redecode = false;
};

/// Runs the base64 decoder over `mail` from its first line (read as the walk reads it).
PartRun RunBase64(std::string_view mail, std::u16string_view boundary, bool fast = true);
/// Runs the quoted-printable decoder over `mail` from its first line.
PartRun RunQp(std::string_view mail, std::u16string_view boundary, bool fast = true);

} // namespace dornick::test
