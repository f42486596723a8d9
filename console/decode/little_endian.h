#pragma once
// Little-endian integers as the container formats (TNEF, compound files, MAPI property streams)
// store them, read from bytes that need not be aligned.

#include <cstdint>

namespace dornick {

inline uint16_t Word(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

inline uint32_t Dword(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

} // namespace dornick
