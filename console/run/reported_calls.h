#pragma once
// The decoder and header calls whose failures the run reports. The lower layers never print: they
// return a code or record a reason, and these wrappers print the designed message for it at once,
// in the place the output order gives it.

#include <cstdint>
#include <string>
#include <string_view>

#include "console/decode/byte_sink.h"
#include "console/decode/gzip64.h"
#include "console/header/header_reader.h"
#include "console/header/name_parameter.h"
#include "console/header/unique_file_name.h"

namespace dornick {

/// MakeUniqueFileName, with the notice on standard output when the counter ran out and the file is
/// overwritten (result 1).
int MakeOutputFileName(NameFolder folder, std::u16string& name, std::u16string_view mime_type,
                       std::u16string_view suffix);

/// DecodeNameParameter, with the message on standard error when memory ran out; its status is 0,
/// or -1 when the data ended or memory ran out.
NameParameter DecodePartName(const HeaderReader& reader, std::u16string& name, bool extended);

/// Gzip64Inflate, with the message on standard error for a memory or write failure (a damaged stream
/// is left to the caller, which words it for the part).
[[nodiscard]] int InflateGzip64Part(Gzip64Buffer& compressed, ByteSink& out, uint64_t& inflated_total);

} // namespace dornick
