#pragma once
// What a mail line is, as the walk sees it: pure tests on one line and the learnt boundaries, with
// no reading and no state, so that each can be tested alone.

#include <optional>
#include <string>
#include <string_view>

#include "console/run/mail_state.h"

namespace dornick {

/// The header fields the walk acts on, recognised by the beginning of a line (any letter case).
enum class HeaderField {
    None,
    ReturnPath,
    From,
    ApparentlyFrom,
    ContentType,
    ContentDisposition,
    ContentTransferEncoding,
};

/// The field a line begins with.
HeaderField FieldOf(const char16_t* line);

/// Multipart types a line mentions anywhere (any letter case), as bits.
enum MultipartMention : unsigned {
    kMentionsNone = 0,
    kMentionsMixed = 1u << 0,
    kMentionsSigned = 1u << 1,
    kMentionsAppleDouble = 1u << 2,
    kMentionsRelated = 1u << 3,
    kMentionsAlternative = 1u << 4,
    kMentionsReport = 1u << 5,
    kMentionsOtherMultipart = 1u << 6, ///< "multipart/" with none of the types above
};

/// The multipart types `line` mentions; kMentionsNone for most lines, found with one search.
unsigned MultipartMentions(const char16_t* line);

/// True when `line` holds the non-empty boundary `marker` (compared with case).
bool HoldsBoundary(const char16_t* line, std::u16string_view marker);

/// The first slot, in the order main, alternative, related, appledouble, mixed, whose boundary
/// the line holds.
std::optional<BoundarySlot> BoundaryOfLine(const char16_t* line, const MultipartSlots& slots);
/// The first boundary of `unslotted` that the line holds, as its index; -1 when none.
int UnslottedOfLine(const char16_t* line, const MultipartSlots& slots);

/// True when the line holds nothing but spaces and tabs (an empty line too).
bool IsBlankLine(const char16_t* line);

/// The decoding a "Content-Transfer-Encoding:" value asks for, given the part's content type.
struct TransferEncoding {
    EncodingMode mode = EncodingMode::PlainCopy;
    bool gzip64 = false;
    std::u16string name_suffix; ///< ".(value).txt" for a value the table does not know
};
TransferEncoding ClassifyTransferEncoding(std::u16string_view value, std::u16string_view content_type);

/// True when a "Content-Disposition:" line's value is "attachment" (any case), alone or followed
/// by its parameters.
bool DeclaresAttachment(const char16_t* line);

/// True when `text` begins with `prefix`, compared without regard to case.
bool BeginsNoCase(std::u16string_view text, std::u16string_view prefix);

} // namespace dornick
