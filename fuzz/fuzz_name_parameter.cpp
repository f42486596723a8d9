// A part header's name parameter: the first line holds the parameter, the rest are the lines
// that follow it (continuations, the next field, the end of the data).

#include <cstdint>
#include <string>

#include "console/decode/line_source.h"
#include "console/header/name_parameter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte chooses the form and the flags; the rest is the mail text.
    const uint8_t flags = data[0];
    dornick::LineSource source;
    source.Start(data + 1, size - 1);
    if (!source.ReadNext()) return 0;
    const std::u16string charset = (flags & 1) ? u"ISO-2022-JP" : u"";
    const dornick::HeaderReader reader{source, charset, (flags & 4) != 0, (flags & 8) != 0, (flags & 2) != 0};
    std::u16string name = (flags & 16) ? u"earlier.txt" : u"";
    (void)dornick::DecodeNameParameter(reader, name, (flags & 32) != 0);
    return 0;
}
