// A date header's text, as the walk hands it over.

#include <cstdint>
#include <string>

#include "console/header/mail_date.h"
#include "platform/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::u16string text =
        platform::WidenBytes(std::string_view(reinterpret_cast<const char*>(data), size).substr(0, 1023));
    platform::SystemTime time;
    dornick::ParseMailDate(text, time);
    return 0;
}
