#pragma once
// Encoders that make test data for the decoders of the old in-body encodings (uuencode, xxencode,
// BinHex 4.0 with its CRCs and run-length coding, yEnc), and running a block decoder over a mail
// text the way the walk hands it over.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "console/decode/part_decoding.h"
#include "console/decode/uu_block.h"

namespace dornick::test {

/// How a test mail's lines are ended.
struct LineEnds {
    const char* name;
    std::string_view end; ///< after every line but the last
    bool last_has_end;    ///< the last line ends with `end` too
};
/// CR LF lines, LF lines, and CR LF lines whose last line has no line end.
extern const LineEnds kLineEndings[3];

/// Joins lines with the given line ends.
std::string JoinLines(const std::vector<std::string>& lines, const LineEnds& ends);

/// A uuencoded block: "begin 644 <name>", lines of 45 bytes, a grave-accent line and "end".
/// `zero` is the character written for the value 0 (a grave accent or a space).
std::vector<std::string> UuEncodeBlock(std::string_view data, std::string_view name, char zero = '`');
/// An xxencoded block: "begin 644 <name>", lines of 45 bytes, "+" and "end".
std::vector<std::string> XxEncodeBlock(std::string_view data, std::string_view name);

/// The CRC of BinHex 4.0 (CCITT polynomial 0x1021, starting at 0).
uint16_t BinHexCrc(std::string_view data);
/// Run-length codes bytes as BinHex does: runs of 3 or more (or as told by `min_run`) become the
/// byte, 0x90 and a count; a literal 0x90 becomes 0x90 0x00.
std::string BinHexRunLength(std::string_view data, size_t min_run = 3);
/// The 6-bit BinHex text of `bytes` between ":" and ":", in lines of 64 characters.
std::vector<std::string> BinHexText(std::string_view bytes);
/// A whole BinHex 4.0 file (header, data fork, empty resource fork, CRCs), run-length coded.
std::string BinHexStream(std::string_view name, std::string_view data_fork, uint32_t declared_length,
                         std::string_view resource_fork = {});
/// The header line, an empty line and the encoded text of `data_fork` named `name`.
std::vector<std::string> BinHexBlock(std::string_view name, std::string_view data_fork);

/// A yEnc block of one part ("=ybegin", lines of 128, "=yend"), part 0 for a single part.
std::vector<std::string> YencBlockLines(std::string_view data, std::string_view name, int part = 0);
/// Decodes the text of a stored yEnc block (test side only) to compare with the original.
std::string YencDecodeText(std::string_view stored);

/// What a block decoder gave over a test mail.
struct BlockRun {
    std::string output;
    DataEnd end = DataEnd::EndOfData;
    int notices = 0;
    std::u16string end_line;
    long cursor_offset = -1; ///< where the cursor stopped, -1 when null
};

/// Runs the uuencode or xxencode part decoder from the first line of `mail` on.
BlockRun RunUuPart(std::string_view mail, UuCode code, std::u16string_view boundary = {});

} // namespace dornick::test
