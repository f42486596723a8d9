#include "console/decode/line_scan.h"

#include <cstdint>

#include "console/decode/vector_ops.h"

namespace dornick {
namespace {

// Where the scan stands between its rounds.
struct ScanState {
    const unsigned char* p;
    const unsigned char* limit;
    const unsigned char* data_end;
    unsigned char probe;
    bool always;
    bool seen = false; // a NUL or the probe byte before p
};

#ifdef DORNICK_VECTOR_KERNELS
// Register rounds while Width bytes are left of the data: true, with `scan` filled, when they found
// the LF; false when they ran out before it, with the state where they stopped.
template <int Width> __attribute__((always_inline)) inline bool ScanBlocks(ScanState& state, LineScan& scan) {
    using V = VectorOps<Width>;
    using Reg = typename V::Reg;
    const Reg lf = V::Bytes('\n');
    const Reg probes = V::Bytes(static_cast<int8_t>(state.probe));
    const Reg zero = V::Zero();
    const unsigned char* p = state.p;
    bool seen = state.seen;
    for (; p < state.limit && state.data_end - p >= Width; p += Width) {
        const Reg bytes = V::Load(p);
        const uint64_t lf_mask = V::EqualBits(bytes, lf);
        const uint64_t special = V::TopBits(V::Or(V::Equal(bytes, zero), V::Equal(bytes, probes)));
        if (lf_mask) {
            const unsigned at = static_cast<unsigned>(__builtin_ctzll(lf_mask));
            if (p + at < state.limit) scan.lf = p + at;
            scan.nul_or_boundary_start = state.always || seen || (special & ((uint64_t{1} << at) - 1)) != 0;
            return true;
        }
        seen = seen || special != 0;
    }
    state.p = p;
    state.seen = seen;
    return false;
}

__attribute__((target(DORNICK_TARGET_32))) bool ScanBlocksOf32(ScanState& state, LineScan& scan) {
    return ScanBlocks<32>(state, scan);
}

// SSE2 is the x86-64 base: no target needed, and the rounds are inlined into the scan.
bool ScanBlocksOf16(ScanState& state, LineScan& scan) {
    return ScanBlocks<16>(state, scan);
}
#endif

LineScan ScanBytes(ScanState& state, LineScan scan) {
    const unsigned char* p = state.p;
    bool seen = state.seen;
    for (; p < state.limit; ++p) {
        const unsigned char c = *p;
        if (c == '\n') {
            scan.lf = p;
            break;
        }
        seen = seen || c == 0 || c == state.probe;
    }
    scan.nul_or_boundary_start = state.always || seen;
    return scan;
}

// The vector rounds of `widest` and the narrower widths, then the byte loop for the rest.
inline LineScan Scan(int widest, const unsigned char* start, size_t span, const unsigned char* data_end,
                     int first) {
    LineScan scan;
    const bool always = first < 0;
    ScanState state{start, start + span, data_end,
                    always ? static_cast<unsigned char>(0) : static_cast<unsigned char>(first), always};
#ifdef DORNICK_VECTOR_KERNELS
    if (widest >= 32 && ScanBlocksOf32(state, scan)) return scan;
    if (widest >= 16 && ScanBlocksOf16(state, scan)) return scan;
#endif
    (void)widest;
    return ScanBytes(state, scan);
}

} // namespace

LineScan ScanLine(const unsigned char* start, size_t span, const unsigned char* data_end, int first) {
    return Scan(static_cast<int>(ActiveVectorWidth()), start, span, data_end, first);
}

LineScan ScanLineOfWidth(VectorWidth width, const unsigned char* start, size_t span,
                         const unsigned char* data_end, int first) {
    const int usable =
        static_cast<int>(width) > static_cast<int>(ProcessorVectorWidth()) ? 0 : static_cast<int>(width);
    return Scan(usable, start, span, data_end, first);
}

} // namespace dornick
