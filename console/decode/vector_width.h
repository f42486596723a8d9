#pragma once
// How wide the decoders' vector code may be: the widest the processor has, unless the user (the
// environment variable DORNICK_VECTOR_WIDTH) or a test asks for narrower. Every width gives the
// same output; the narrower ones are there to compare them and to try the fallbacks.

#include <atomic>

namespace dornick {

/// Bytes per vector register; None is the plain byte code.
enum class VectorWidth : int { None = 0, W16 = 16, W32 = 32, W64 = 64 };

/// The widest the processor offers: 64 with AVX-512 VBMI, 32 with AVX2 and POPCNT, else 16 (SSE2,
/// which every x86-64 processor has; the 16-byte kernels that need SSSE3 or POPCNT ask for them
/// too); None on other architectures.
VectorWidth ProcessorVectorWidth();
/// The processor's width narrowed by DORNICK_VECTOR_WIDTH; the start value of the width in force.
VectorWidth DefaultVectorWidth();
/// Narrows the width for the rest of the run (the tests use it); a width the processor lacks gives
/// its widest. Returns the width now in force.
VectorWidth ForceVectorWidth(VectorWidth width);
/// The width a DORNICK_VECTOR_WIDTH value names ("64", "32", "16", "0"); false for anything else
/// (which is then ignored).
bool ParseVectorWidth(const char* text, VectorWidth& width);

/// The width in force, asked on every decoder call: a relaxed load, the environment read once.
inline std::atomic<VectorWidth>& VectorWidthInForce() {
    static std::atomic<VectorWidth> width{DefaultVectorWidth()};
    return width;
}
inline VectorWidth ActiveVectorWidth() {
    return VectorWidthInForce().load(std::memory_order_relaxed);
}
/// True when the decoders may use vectors of at least `width` bytes.
inline bool VectorsAtLeast(VectorWidth width) {
    return static_cast<int>(ActiveVectorWidth()) >= static_cast<int>(width);
}

} // namespace dornick
