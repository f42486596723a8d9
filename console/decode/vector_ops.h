#pragma once
// The byte operations of the decoders' vector kernels, one struct per register width, so that a
// kernel is written once as a template over the width. Each operation carries the instruction set
// its width needs; a kernel template is inlined (always_inline) into a function that is compiled
// for that set, and the operations are inlined there. Registers are wrapped in a struct so that a
// kernel template, which itself has no target, may hand them to the operations by value (no vector
// ABI to mismatch); among themselves the kernel templates pass them by reference.
//
// Widths: 16 bytes with SSE2 (the x86-64 base; the byte shuffle and multiply-add need SSSE3); 32 with AVX2;
// 64 with AVX-512 BW and VBMI (only what the 64-byte kernels use). A kernel that counts bits adds POPCNT to
// its own target.

#if defined(__x86_64__)

#include <immintrin.h>

#include <cstdint>

#define DORNICK_VECTOR_KERNELS 1

// The instruction sets of each width, for the target attributes of the functions that run a kernel.
#define DORNICK_TARGET_16 "ssse3"
#define DORNICK_TARGET_32 "avx2"
#define DORNICK_TARGET_64 "avx512f,avx512bw,avx512vbmi"

namespace dornick {

template <int Width> struct VectorOps;

template <> struct VectorOps<16> {
    static constexpr int kWidth = 16;
    struct Reg {
        __m128i v;
    };

    static Reg Load(const void* p) { return {_mm_loadu_si128(static_cast<const __m128i*>(p))}; }
    static void Store(void* p, Reg r) { _mm_storeu_si128(static_cast<__m128i*>(p), r.v); }
    /// A 16-byte table in every 16-byte lane.
    static Reg Table(const int8_t (&table)[16]) {
        return {_mm_loadu_si128(reinterpret_cast<const __m128i*>(table))};
    }
    static Reg Bytes(int8_t b) { return {_mm_set1_epi8(b)}; }
    static Reg Dwords(int32_t d) { return {_mm_set1_epi32(d)}; }
    static Reg Zero() { return {_mm_setzero_si128()}; }
    static Reg And(Reg a, Reg b) { return {_mm_and_si128(a.v, b.v)}; }
    static Reg Or(Reg a, Reg b) { return {_mm_or_si128(a.v, b.v)}; }
    /// a AND NOT b.
    static Reg AndNot(Reg a, Reg b) { return {_mm_andnot_si128(b.v, a.v)}; }
    static Reg Add(Reg a, Reg b) { return {_mm_add_epi8(a.v, b.v)}; }
    static Reg Sub(Reg a, Reg b) { return {_mm_sub_epi8(a.v, b.v)}; }
    static Reg MinUnsigned(Reg a, Reg b) { return {_mm_min_epu8(a.v, b.v)}; }
    /// All ones in the bytes where a and b are equal.
    static Reg Equal(Reg a, Reg b) { return {_mm_cmpeq_epi8(a.v, b.v)}; }
    /// Bit i set when byte i of a and b are equal.
    static uint64_t EqualBits(Reg a, Reg b) {
        return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(a.v, b.v)));
    }
    /// Bit i set when the top bit of byte i is.
    static uint64_t TopBits(Reg a) { return static_cast<uint32_t>(_mm_movemask_epi8(a.v)); }
    /// b where the mask byte is all ones, a elsewhere.
    static Reg Select(Reg a, Reg b, Reg mask) {
        return {_mm_or_si128(_mm_and_si128(mask.v, b.v), _mm_andnot_si128(mask.v, a.v))};
    }
    /// The bytes of `table` picked by the low nibbles of `index`, within each 16-byte lane (zero
    /// where the index byte has its top bit set).
    __attribute__((target(DORNICK_TARGET_16))) static Reg Shuffle(Reg table, Reg index) {
        return {_mm_shuffle_epi8(table.v, index.v)};
    }
    template <int Bits> static Reg ShiftRight32(Reg a) { return {_mm_srli_epi32(a.v, Bits)}; }
    template <int Bits> static Reg ShiftLeft16(Reg a) { return {_mm_slli_epi16(a.v, Bits)}; }
    /// Unsigned bytes of a times signed bytes of b, adjacent products added into 16-bit lanes.
    __attribute__((target(DORNICK_TARGET_16))) static Reg MultiplyAddBytes(Reg a, Reg b) {
        return {_mm_maddubs_epi16(a.v, b.v)};
    }
    /// 16-bit lanes multiplied, adjacent products added into 32-bit lanes.
    static Reg MultiplyAddWords(Reg a, Reg b) { return {_mm_madd_epi16(a.v, b.v)}; }
    /// The bytes of a moved down by one, with `last` as the new top byte.
    __attribute__((target(DORNICK_TARGET_16))) static Reg ShiftInByte(Reg a, uint8_t last) {
        return {_mm_alignr_epi8(_mm_cvtsi32_si128(last), a.v, 1)};
    }
    /// The register from its eight-byte halves, lowest first.
    static Reg FromHalves(const uint64_t (&h)[2]) {
        return {_mm_set_epi64x(static_cast<long long>(h[1]), static_cast<long long>(h[0]))};
    }
    /// Stores the low eight bytes of 16-byte lane `lane` (a constant once inlined) at p, then its high
    /// eight at p + low_count.
    static void StoreLaneHalves(uint8_t* p, int lane, int low_count, Reg r) {
        (void)lane;
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), r.v);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p + low_count), _mm_srli_si128(r.v, 8));
    }
};

template <> struct VectorOps<32> {
    static constexpr int kWidth = 32;
    struct Reg {
        __m256i v;
    };

    __attribute__((target(DORNICK_TARGET_32))) static Reg Load(const void* p) {
        return {_mm256_loadu_si256(static_cast<const __m256i*>(p))};
    }
    __attribute__((target(DORNICK_TARGET_32))) static void Store(void* p, Reg r) {
        _mm256_storeu_si256(static_cast<__m256i*>(p), r.v);
    }
    __attribute__((target(DORNICK_TARGET_32))) static Reg Table(const int8_t (&table)[16]) {
        return {_mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(table)))};
    }
    __attribute__((target(DORNICK_TARGET_32))) static Reg Bytes(int8_t b) { return {_mm256_set1_epi8(b)}; }
    __attribute__((target(DORNICK_TARGET_32))) static Reg Dwords(int32_t d) { return {_mm256_set1_epi32(d)}; }
    __attribute__((target(DORNICK_TARGET_32))) static Reg Zero() { return {_mm256_setzero_si256()}; }
    __attribute__((target(DORNICK_TARGET_32))) static Reg And(Reg a, Reg b) {
        return {_mm256_and_si256(a.v, b.v)};
    }
    __attribute__((target(DORNICK_TARGET_32))) static Reg Or(Reg a, Reg b) {
        return {_mm256_or_si256(a.v, b.v)};
    }
    __attribute__((target(DORNICK_TARGET_32))) static Reg AndNot(Reg a, Reg b) {
        return {_mm256_andnot_si256(b.v, a.v)};
    }
    __attribute__((target(DORNICK_TARGET_32))) static Reg Add(Reg a, Reg b) {
        return {_mm256_add_epi8(a.v, b.v)};
    }
    __attribute__((target(DORNICK_TARGET_32))) static Reg Sub(Reg a, Reg b) {
        return {_mm256_sub_epi8(a.v, b.v)};
    }
    __attribute__((target(DORNICK_TARGET_32))) static Reg MinUnsigned(Reg a, Reg b) {
        return {_mm256_min_epu8(a.v, b.v)};
    }
    __attribute__((target(DORNICK_TARGET_32))) static Reg Equal(Reg a, Reg b) {
        return {_mm256_cmpeq_epi8(a.v, b.v)};
    }
    __attribute__((target(DORNICK_TARGET_32))) static uint64_t EqualBits(Reg a, Reg b) {
        return static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(a.v, b.v)));
    }
    __attribute__((target(DORNICK_TARGET_32))) static uint64_t TopBits(Reg a) {
        return static_cast<uint32_t>(_mm256_movemask_epi8(a.v));
    }
    __attribute__((target(DORNICK_TARGET_32))) static Reg Select(Reg a, Reg b, Reg mask) {
        return {_mm256_blendv_epi8(a.v, b.v, mask.v)};
    }
    __attribute__((target(DORNICK_TARGET_32))) static Reg Shuffle(Reg table, Reg index) {
        return {_mm256_shuffle_epi8(table.v, index.v)};
    }
    template <int Bits> __attribute__((target(DORNICK_TARGET_32))) static Reg ShiftRight32(Reg a) {
        return {_mm256_srli_epi32(a.v, Bits)};
    }
    template <int Bits> __attribute__((target(DORNICK_TARGET_32))) static Reg ShiftLeft16(Reg a) {
        return {_mm256_slli_epi16(a.v, Bits)};
    }
    __attribute__((target(DORNICK_TARGET_32))) static Reg MultiplyAddBytes(Reg a, Reg b) {
        return {_mm256_maddubs_epi16(a.v, b.v)};
    }
    __attribute__((target(DORNICK_TARGET_32))) static Reg MultiplyAddWords(Reg a, Reg b) {
        return {_mm256_madd_epi16(a.v, b.v)};
    }
    __attribute__((target(DORNICK_TARGET_32))) static Reg FromHalves(const uint64_t (&h)[4]) {
        return {_mm256_set_epi64x(static_cast<long long>(h[3]), static_cast<long long>(h[2]),
                                  static_cast<long long>(h[1]), static_cast<long long>(h[0]))};
    }
    __attribute__((target(DORNICK_TARGET_32))) static void StoreLaneHalves(uint8_t* p, int lane,
                                                                           int low_count, Reg r) {
        const __m128i bytes = lane == 0 ? _mm256_castsi256_si128(r.v) : _mm256_extracti128_si256(r.v, 1);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), bytes);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p + low_count), _mm_srli_si128(bytes, 8));
    }
    /// The 32-bit lanes of a in the order of `index` (across the 16-byte lanes).
    __attribute__((target(DORNICK_TARGET_32))) static Reg PermuteDwords(Reg a, Reg index) {
        return {_mm256_permutevar8x32_epi32(a.v, index.v)};
    }
    __attribute__((target(DORNICK_TARGET_32))) static Reg DwordsOf(const int32_t (&d)[8]) {
        return {_mm256_loadu_si256(reinterpret_cast<const __m256i*>(d))};
    }
};

template <> struct VectorOps<64> {
    static constexpr int kWidth = 64;
    struct Reg {
        __m512i v;
    };

    __attribute__((target(DORNICK_TARGET_64))) static Reg Load(const void* p) {
        return {_mm512_loadu_si512(p)};
    }
    __attribute__((target(DORNICK_TARGET_64))) static void Store(void* p, Reg r) {
        _mm512_storeu_si512(p, r.v);
    }
    __attribute__((target(DORNICK_TARGET_64))) static Reg Dwords(int32_t d) { return {_mm512_set1_epi32(d)}; }
    __attribute__((target(DORNICK_TARGET_64))) static Reg Or(Reg a, Reg b) {
        return {_mm512_or_si512(a.v, b.v)};
    }
    __attribute__((target(DORNICK_TARGET_64))) static uint64_t TopBits(Reg a) {
        return _mm512_movepi8_mask(a.v);
    }
    __attribute__((target(DORNICK_TARGET_64))) static Reg MultiplyAddBytes(Reg a, Reg b) {
        return {_mm512_maddubs_epi16(a.v, b.v)};
    }
    __attribute__((target(DORNICK_TARGET_64))) static Reg MultiplyAddWords(Reg a, Reg b) {
        return {_mm512_madd_epi16(a.v, b.v)};
    }
    /// The bytes of the 128-byte table (low, high) picked by the low seven bits of each index byte.
    __attribute__((target(DORNICK_TARGET_64))) static Reg Lookup128(Reg low, Reg index, Reg high) {
        return {_mm512_permutex2var_epi8(low.v, index.v, high.v)};
    }
    /// The bytes of a in the order of `index` (across the whole register).
    __attribute__((target(DORNICK_TARGET_64))) static Reg PermuteBytes(Reg a, Reg index) {
        // The zero-masking form with every byte kept: the plain one leaves its unused source
        // "undefined", which GCC 12 reports as used uninitialised once inlined.
        return {_mm512_maskz_permutexvar_epi8(~__mmask64{0}, index.v, a.v)};
    }
};

} // namespace dornick

#endif
