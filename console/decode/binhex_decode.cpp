#include "console/decode/binhex_decode.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

namespace dornick {
namespace {

constexpr uint8_t kNoValue = 0xFF;
// The decoded bytes are first given room for at most this much (less when the mail is shorter).
constexpr size_t kDecodeStep = 0x500000;

constexpr std::array<uint8_t, 256> MakeValues() {
    constexpr char kAlphabet[] = "!\"#$%&'()*+,-012345689@ABCDEFGHIJKLMNPQRSTUVXYZ[`abcdefhijklmpqr";
    std::array<uint8_t, 256> values{};
    for (auto& v : values)
        v = kNoValue;
    for (int i = 0; i < 64; ++i)
        values[static_cast<unsigned char>(kAlphabet[i])] = static_cast<uint8_t>(i);
    return values;
}
constexpr std::array<uint8_t, 256> kValues = MakeValues();

bool IsPrintableLine(const char* line) {
    for (; *line; ++line) {
        const auto b = static_cast<unsigned char>(*line);
        if (b < 0x20 || b > 0x7E) return false;
    }
    return true;
}

uint32_t BigEndian32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

// The 6-bit text from after the opening ":" up to the closing one, as bytes.
BinHexStatus DecodeText(LineCursor& cursor, std::vector<uint8_t>& decoded) {
    const size_t remaining = cursor.pos ? static_cast<size_t>(cursor.last - cursor.pos + 1) : 0;
    decoded.resize(std::min(remaining / 4 * 3 + kLineCapacity, kDecodeStep));
    size_t used = 0;
    char line[kLineCapacity];
    if (!ReadLineA(line, cursor)) return BinHexStatus::TextRanOut;
    const char* p = line[0] ? line + 1 : line;
    uint32_t pending = 0;
    int bits = 0;
    for (;;) {
        // A line gives fewer bytes than it has characters.
        if (decoded.size() - used < kLineCapacity)
            decoded.resize(std::max(decoded.size() * 2, used + kLineCapacity));
        uint8_t* out = decoded.data() + used;
        for (; *p; ++p) {
            const auto b = static_cast<unsigned char>(*p);
            if (b == ':') {
                decoded.resize(static_cast<size_t>(out - decoded.data()));
                return BinHexStatus::Ok;
            }
            const uint8_t value = kValues[b]; // blanks, bytes from 0x80 and foreign letters give no bits
            if (value == kNoValue) continue;
            pending = (pending << 6 | value) & 0xFFFF;
            bits += 6;
            if (bits >= 8) {
                bits -= 8;
                *out++ = static_cast<uint8_t>(pending >> bits);
            }
        }
        used = static_cast<size_t>(out - decoded.data());
        // A line that is empty or holds control or 8-bit bytes is not part of the text.
        do {
            if (!ReadLineA(line, cursor)) return BinHexStatus::TextRanOut;
        } while (line[0] == 0 || !IsPrintableLine(line));
        p = line;
    }
}

} // namespace

RunLengthResult ExpandRunLength(const uint8_t* in, size_t size, uint8_t* out, uint64_t limit) {
    RunLengthResult result;
    uint64_t produced = 0;
    int last = -1;
    for (size_t i = 0; i < size && produced < limit; ++i) {
        const uint8_t b = in[i];
        if (b != kBinHexRunMarker) {
            if (out) out[produced] = b;
            ++produced;
            last = b;
            continue;
        }
        if (i + 1 == size) {
            result.marker_at_end = true;
            break;
        }
        const uint8_t k = in[++i];
        if (k == 0) {
            if (out) out[produced] = kBinHexRunMarker;
            ++produced;
            last = kBinHexRunMarker;
            continue;
        }
        if (last < 0) break; // a run of nothing
        const uint64_t copies = std::min<uint64_t>(k - 1u, limit - produced);
        if (out) std::memset(out + produced, last, static_cast<size_t>(copies));
        produced += copies;
    }
    result.produced = produced;
    return result;
}

BinHexStatus BinHexDecode(LineCursor& cursor, BinHexFile& file) {
    file = BinHexFile{};
    const unsigned char* const begin = cursor.pos;
    std::vector<uint8_t> decoded;
    try {
        const BinHexStatus text = DecodeText(cursor, decoded);
        if (text != BinHexStatus::Ok) return text;
    } catch (const std::bad_alloc&) {
        return BinHexStatus::NoMemory;
    }
    const uint64_t consumed =
        begin ? static_cast<uint64_t>((cursor.pos ? cursor.pos : cursor.last + 1) - begin) : 0;

    if (decoded.empty()) return BinHexStatus::ShortHeader;
    if (decoded.front() == kBinHexRunMarker) return BinHexStatus::BadRunLength;
    // The whole expansion is counted before anything is allocated: a long run or a false length
    // costs no memory.
    const RunLengthResult full = ExpandRunLength(decoded.data(), decoded.size(), nullptr, UINT64_MAX);
    if (full.marker_at_end) return BinHexStatus::BadRunLength;
    uint8_t header[256 + kBinHexHeaderAfterName];
    if (ExpandRunLength(decoded.data(), decoded.size(), header, 1).produced < 1)
        return BinHexStatus::ShortHeader;
    const size_t name_length = header[0];
    const size_t header_size = name_length + kBinHexHeaderAfterName;
    if (ExpandRunLength(decoded.data(), decoded.size(), header, header_size).produced < header_size)
        return BinHexStatus::ShortHeader;
    const uint32_t data_length = BigEndian32(header + name_length + 12);
    const uint32_t resource_length = BigEndian32(header + name_length + 16);
    if ((data_length | resource_length) & 0x80000000u) return BinHexStatus::ForkTooLong;
    if (data_length > kBinHexLargestDataFork) return BinHexStatus::ForkTooLong;

    // Only the header and the data fork are kept, and only as far as the bytes reach. A length
    // that neither the text nor its expansion can back is false.
    const uint64_t total = std::min<uint64_t>(full.produced, header_size + uint64_t{data_length});
    const uint64_t backed = std::max(consumed, total);
    if (consumed < header_size || backed + header_size < data_length) return BinHexStatus::Implausible;

    try {
        file.expanded.resize(static_cast<size_t>(total));
        file.name.assign(reinterpret_cast<const char*>(header + 1), name_length);
    } catch (const std::bad_alloc&) {
        file = BinHexFile{};
        return BinHexStatus::NoMemory;
    }
    ExpandRunLength(decoded.data(), decoded.size(), file.expanded.data(), total);
    file.data_offset = header_size;
    file.data_length = static_cast<size_t>(total - header_size);
    file.declared_data_length = data_length;
    return BinHexStatus::Ok;
}

} // namespace dornick
