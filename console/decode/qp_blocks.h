#pragma once
// The vector kernel of quoted-printable body text: escapes decoded 16 or 32 bytes at a time, one
// template over the width (qp_blocks.cpp). QpDecodeBodyBytes (base64_text.h) runs it.

#include <cstddef>
#include <cstdint>

#include "console/decode/vector_width.h"

namespace dornick {

/// QpDecodeBytes<false, QEscapeRule::Or> over the blocks from `text` on, at the width in force
/// (32 while 34 bytes are left, then 16 while 18 are); `text` moves past the bytes taken, which a
/// byte loop finishes. Returns the bytes written; up to 16 more may be stored past them, inside the
/// room of the bytes not yet decoded. Nothing for None, or where the processor lacks the width.
size_t QpDecodeEscapeBlocks(const unsigned char*& text, const unsigned char* end, uint8_t* out);
/// The same with blocks of exactly `width` bytes (16 or 32).
size_t QpDecodeEscapeBlocksOfWidth(VectorWidth width, const unsigned char*& text, const unsigned char* end,
                                   uint8_t* out);

} // namespace dornick
