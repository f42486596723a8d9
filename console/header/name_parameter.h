#pragma once
// The file name of a part from its "name" or "filename" parameter, in whatever form the sending
// program wrote it: RFC 2047 encoded words, RFC 2231 segments, or raw 8-bit text.

#include <string>

#include "console/header/header_reader.h"

namespace dornick {

/// Decodes the "filename" (else "name") parameter of reader.line, following its continuation lines,
/// into `name` (the part's name, at most 255 units), choosing between a name already there and the
/// new one. `extended`: the parameter name is followed by "*" (RFC 2231). 0, also when the line has
/// no "=" after the parameter name (nothing changes then); -1 when the data ended while the value
/// was read; kNameOutOfMemory (rfc2231_segments.h) when memory ran out.
int DecodeNameParameter(HeaderReader& reader, std::u16string& name, bool extended);

} // namespace dornick
