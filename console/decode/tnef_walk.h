#pragma once
// The attribute walk of a TNEF container ("winmail.dat"): bytes in, attachments and the attributes
// that name and date them out. Nothing is printed and nothing touches the file system; the run
// turns the events into files.

#include <cstdint>
#include <string_view>

#include "console/decode/line_cursor.h"
#include "platform/clock.h"

namespace dornick {

/// Bytes of a title or a long file name that are kept; the rest is skipped.
constexpr size_t kTnefNameLimit = 2047;

/// True when the bytes begin with the container signature 78 9F 3E 22.
bool HasTnefSignature(const unsigned char* data, uint64_t size);

/// What the walk hands on. Every view points into the container's bytes and lives only for the call.
struct TnefEvents {
    virtual ~TnefEvents() = default;
    /// One attachment: its title as stored (at most kTnefNameLimit bytes, up to its first NUL) and
    /// as much of its data as the container holds (never more than its declared length).
    virtual void OnAttachment(std::string_view title, std::string_view data) = 0;
    /// The attachment's modification date, as local time fields.
    virtual void OnModifyDate(const platform::SystemTime& local) = 0;
    /// The container's code page.
    virtual void OnCodePage(int32_t code_page) = 0;
    /// The 8-bit long file name of the last attachment, when it differs from its title.
    virtual void OnLongName(std::string_view name) = 0;
    /// The Unicode long file name of the last attachment (at most 255 units are looked at).
    virtual void OnUnicodeLongName(std::u16string_view name) = 0;
};

/// Why the walk ended.
enum class TnefStop {
    EndOfData,       ///< no whole attribute header was left
    ZeroLength,      ///< a title or a skipped attribute of length 0
    UnknownProperty, ///< a property type whose size is unknown
};

struct TnefWalkResult {
    int result = 0; ///< 1 once any attachment was handed on, else 0
    TnefStop stop = TnefStop::EndOfData;
};

/// Walks the attributes from the cursor (the byte after the signature) to the end of the data.
TnefWalkResult TnefWalkAttributes(LineCursor& cursor, TnefEvents& events);

} // namespace dornick
