#pragma once
// The vector kernels of base64: blocks of letters decoded 16, 32 or 64 at a time, one template over
// the width (base64_blocks.cpp). The decoders of base64_text.h choose among them.

#include <cstddef>
#include <cstdint>

#include "console/decode/base64_text.h"
#include "console/decode/cpu_features.h"
#include "console/decode/vector_width.h"

namespace dornick {

/// Base64DecodeLetterGroups sixteen letters at a time, up to the first block that holds anything
/// but letters (the groups before that byte are decoded too). Needs max_groups >= 6: 16 bytes are
/// stored per 4 groups. Returns the groups decoded: 0 where the processor lacks SSSE3 or the width
/// in force is None.
inline size_t Base64LetterBlocks16(const unsigned char* in, size_t max_groups, uint8_t* out);
/// Base64LetterBlocks16 without the checks: only where the processor has SSSE3.
size_t Base64LetterBlocks16Unchecked(const unsigned char* in, size_t max_groups, uint8_t* out);

/// Base64DecodeLineRun with blocks of exactly `width` bytes; decodes nothing for None and for a
/// width the processor lacks.
size_t Base64LineRunOfWidth(VectorWidth width, const unsigned char*& pos, const unsigned char* data_end,
                            const Base64LineShape& shape, uint8_t* out, size_t room);

// Inline: the line decoders call it for every line.
inline size_t Base64LetterBlocks16(const unsigned char* in, size_t max_groups, uint8_t* out) {
#if defined(__x86_64__)
    if (VectorsAtLeast(VectorWidth::W16) && HaveSsse3())
        return Base64LetterBlocks16Unchecked(in, max_groups, out);
#endif
    (void)in, (void)max_groups, (void)out;
    return 0;
}

} // namespace dornick
