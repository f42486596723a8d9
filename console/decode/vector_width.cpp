#include "console/decode/vector_width.h"

#include <cstdlib>
#include <cstring>

#include "console/decode/cpu_features.h"

namespace dornick {
namespace {

VectorWidth Narrower(VectorWidth a, VectorWidth b) {
    return static_cast<int>(a) < static_cast<int>(b) ? a : b;
}

} // namespace

VectorWidth ProcessorVectorWidth() {
#if defined(__x86_64__)
    static const VectorWidth width = !HaveAvx2AndPopcnt() ? VectorWidth::W16
                                     : !HaveAvx512Vbmi()  ? VectorWidth::W32
                                                          : VectorWidth::W64;
    return width;
#else
    return VectorWidth::None;
#endif
}

VectorWidth DefaultVectorWidth() {
    VectorWidth asked;
    if (ParseVectorWidth(std::getenv("DORNICK_VECTOR_WIDTH"), asked))
        return Narrower(asked, ProcessorVectorWidth());
    return ProcessorVectorWidth();
}

VectorWidth ForceVectorWidth(VectorWidth width) {
    const VectorWidth used = Narrower(width, ProcessorVectorWidth());
    VectorWidthInForce().store(used, std::memory_order_relaxed);
    return used;
}

bool ParseVectorWidth(const char* text, VectorWidth& width) {
    if (!text) return false;
    struct Name {
        const char* text;
        VectorWidth width;
    };
    constexpr Name kNames[] = {{"0", VectorWidth::None},
                               {"16", VectorWidth::W16},
                               {"32", VectorWidth::W32},
                               {"64", VectorWidth::W64}};
    for (const Name& name : kNames) {
        if (std::strcmp(text, name.text) == 0) {
            width = name.width;
            return true;
        }
    }
    return false;
}

} // namespace dornick
