// A part header's name parameter: the first line holds the parameter, the rest are the lines
// that follow it (continuations, the next field, the end of the data).

#include <cstdint>
#include <string>

#include "console/decode/line_cursor.h"
#include "console/header/name_parameter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte chooses the form and the flags; the rest is the mail text.
    const uint8_t flags = data[0];
    dornick::LineCursor cursor = dornick::MakeLineCursor(data + 1, size - 1);
    char16_t line[dornick::kLineCapacity] = {};
    if (dornick::ReadLineW(line, cursor) == 0) return 0;
    std::u16string charset = (flags & 1) ? u"ISO-2022-JP" : u"";
    bool line_pending = false, name_found = (flags & 2) != 0;
    const bool japanese = (flags & 4) != 0;
    dornick::HeaderReader reader{cursor, line, charset, line_pending, name_found, japanese, (flags & 8) != 0};
    std::u16string name = (flags & 16) ? u"earlier.txt" : u"";
    (void)dornick::DecodeNameParameter(reader, name, (flags & 32) != 0);
    return 0;
}
