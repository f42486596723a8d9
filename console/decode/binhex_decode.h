#pragma once
// Decoding a BinHex 4.0 block into its file's data fork: the 6-bit text, the run-length coding
// with 0x90, and the header with the file's name and fork lengths.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "console/decode/line_cursor.h"

namespace dornick {

/// Header bytes besides the name: its length, version, type, creator, flags, fork lengths, CRC.
constexpr size_t kBinHexHeaderAfterName = 22;
/// The run-length marker of the decoded bytes.
constexpr uint8_t kBinHexRunMarker = 0x90;
/// Largest data fork taken (bytes). A data fork is only as long as the text really expands to;
/// this bounds the one buffer that holds it.
constexpr uint64_t kBinHexLargestDataFork = uint64_t{256} << 20;

/// Outcome of BinHexDecode. Every code but Ok means the block could not be decoded.
enum class BinHexStatus : int {
    Ok = 0,
    TextRanOut = -1,   ///< the lines ran out before the closing ":"
    BadRunLength = -2, ///< a run marker as the first or the last decoded byte
    ShortHeader = -3,  ///< the bytes end inside the header
    ForkTooLong = -4,  ///< a fork length with its top bit set, or a data fork above the limit
    Implausible = -5,  ///< the text is too short for the header's data fork length
    NoMemory = -6,     ///< a buffer could not be allocated
};

/// A decoded block: the header and the data fork (nothing after it) in one buffer.
struct BinHexFile {
    std::vector<uint8_t> expanded;     ///< the header, then the data fork
    size_t data_offset = 0;            ///< where the data fork starts (name length + 22)
    size_t data_length = 0;            ///< data fork bytes present in `expanded` (at most the declared)
    uint32_t declared_data_length = 0; ///< the data fork length of the header
    std::string name;                  ///< the header's file name, bytes in the mail's character set
};

/// What ExpandRunLength gave.
struct RunLengthResult {
    uint64_t produced = 0;      ///< bytes written (or counted)
    bool marker_at_end = false; ///< the input ended with a run marker that has no count
};

/// Expands run-length coded bytes: 0x90 0x00 is one 0x90, 0x90 k (k >= 1) makes the last output
/// byte occur k times in all; a run before any output ends the expansion. Stops after `limit`
/// bytes. With `out` null the bytes are only counted.
RunLengthResult ExpandRunLength(const uint8_t* in, size_t size, uint8_t* out, uint64_t limit);

/// Decodes the block whose ":" line starts at the cursor, up to its closing ":", into `file`.
/// The cursor ends after the line that holds the closing ":" (null at the end of the data). The
/// data fork is held only as far as the bytes reach and never past the header's length. The
/// text consumed must be at least the header and, unless the expanded bytes hold the data fork,
/// at least the data fork's length less the header's (a longer length than the text is
/// implausible).
[[nodiscard]] BinHexStatus BinHexDecode(LineCursor& cursor, BinHexFile& file);

} // namespace dornick
