#pragma once
// What the processor offers beyond the x86-64 base, asked once each; the vector paths of the
// decoders are chosen by these at run time.

#if defined(__x86_64__)

namespace dornick {

inline bool HaveSsse3() {
    static const bool have = __builtin_cpu_supports("ssse3");
    return have;
}

inline bool HaveSsse3AndPopcnt() {
    static const bool have = HaveSsse3() && __builtin_cpu_supports("popcnt");
    return have;
}

inline bool HaveAvx2() {
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}

inline bool HaveAvx2AndPopcnt() {
    static const bool have = HaveAvx2() && __builtin_cpu_supports("popcnt");
    return have;
}

inline bool HaveAvx512Vbmi() {
    static const bool have = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                             __builtin_cpu_supports("avx512vbmi");
    return have;
}

} // namespace dornick

#endif
