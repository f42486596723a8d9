#pragma once
// The file name of a part from its "name" or "filename" parameter, in whatever form the sending
// program wrote it: RFC 2047 encoded words, RFC 2231 segments, or raw 8-bit text.

#include <string>

#include "console/header/header_reader.h"

namespace dornick {

/// What decoding a name parameter gave.
struct NameParameter {
    /// 0, also when the line has no "=" after the parameter name (nothing changes then); -1 when the
    /// data ended while the value was read; kNameOutOfMemory (rfc2231_segments.h) when memory ran out.
    int status = 0;
    bool decoded = false; ///< a value was decoded and the name chosen: it no longer counts as a Content-ID's
};

/// Decodes the "filename" (else "name") parameter of the reader's current line, following its
/// continuation lines, into `name` (the part's name, at most 255 units), choosing between a name
/// already there and the new one. `extended`: the parameter name is followed by "*" (RFC 2231).
NameParameter DecodeNameParameter(const HeaderReader& reader, std::u16string& name, bool extended);

} // namespace dornick
