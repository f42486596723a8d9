#pragma once
// What the part decoders share: how a part's data ended and the once-per-file repair notice.

#include <functional>

namespace dornick {

/// Why a part decoder stopped.
enum class DataEnd : int {
    Boundary = 0,     ///< a line held the part's boundary (the line is left in the line buffer)
    PadLine = 1,      ///< the line "====" (the end of a "begin-base64" block)
    NextPartLine = 2, ///< a line beginning with "------=_NextPart_" (a boundary that lost its header)
    EndOfData = 3,    ///< the mail's data ran out
    SinkFailed = 4,   ///< the output refused the bytes (see the decoder's sink_result)
    BlockEnd = 5,     ///< the block's own end line (uuencode "end", the yEnc trailer, the ish marker)
};

/// Issues the repair notice for the current output file (the output code knows its path).
using RepairNoticeFn = std::function<void()>;

/// Lines of a mail narrowed to bytes, with room for a base64 carry in front.
constexpr int kLineBytes = 8192;
/// Decoded bytes of one line.
constexpr int kLineOutBytes = 1032;

} // namespace dornick
