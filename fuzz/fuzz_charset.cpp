// Bytes to text under a charset label: the label is the input's first line.

#include <cstdint>
#include <string>
#include <string_view>

#include "console/header/charset_conversion.h"
#include "platform/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
    const size_t end_of_label = input.find('\n');
    const std::string_view label = input.substr(0, end_of_label == input.npos ? 0 : end_of_label);
    const std::string_view text = end_of_label == input.npos ? input : input.substr(end_of_label + 1);
    std::u16string output;
    (void)dornick::ConvertToUnicode(text, output, platform::WidenBytes(label.substr(0, 23)), data[0] & 1,
                                    (data[0] & 2) != 0);
    return 0;
}
