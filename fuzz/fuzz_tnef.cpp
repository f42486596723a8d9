// The TNEF attribute walk over the input as a container's bytes after its signature; every event's
// views are read in full, so that a view reaching past the container is seen by the sanitizers.

#include <cstdint>
#include <string>

#include "console/decode/tnef_walk.h"

namespace {

struct TouchingEvents final : dornick::TnefEvents {
    uint64_t sum = 0;
    void Touch(std::string_view bytes) {
        for (char c : bytes)
            sum += static_cast<unsigned char>(c);
    }
    void OnAttachment(std::string_view title, std::string_view data) override {
        Touch(title);
        Touch(data);
    }
    void OnModifyDate(const platform::SystemTime& local) override { sum += local.wYear; }
    void OnCodePage(int32_t code_page) override { sum += static_cast<uint32_t>(code_page); }
    void OnLongName(std::string_view name) override { Touch(name); }
    void OnUnicodeLongName(std::u16string_view name) override {
        for (char16_t c : name)
            sum += c;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Inputs that start with the signature are walked after it, so that saved containers serve as seeds.
    if (dornick::HasTnefSignature(data, size)) {
        data += 4;
        size -= 4;
    }
    dornick::LineCursor cursor = dornick::MakeLineCursor(data, size);
    TouchingEvents events;
    (void)dornick::TnefWalkAttributes(cursor, events);
    return events.sum == 1 ? 1 : 0;
}
