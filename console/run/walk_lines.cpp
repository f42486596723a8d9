#include "console/run/walk_lines.h"

#include "console/header/header_search.h"
#include "console/run/header_rules.h"
#include "console/run/part_kinds.h"

namespace dornick {

namespace {

constexpr size_t kNameSuffixValueLimit = 16;

} // namespace

HeaderField FieldOf(const char16_t* line) {
    struct Row {
        std::u16string_view prefix;
        HeaderField field;
    };
    static constexpr Row kFields[] = {
        {u"Return-Path:", HeaderField::ReturnPath},
        {u"From:", HeaderField::From},
        {u"X-Apparently-From:", HeaderField::ApparentlyFrom},
        {u"Content-Type:", HeaderField::ContentType},
        {u"Content-Disposition:", HeaderField::ContentDisposition},
        {u"Content-Transfer-Encoding:", HeaderField::ContentTransferEncoding},
    };
    // Most lines are told apart by their first letter.
    const char16_t first = AsciiUpper(line[0]);
    for (const Row& row : kFields)
        if (row.prefix[0] == first && LineBeginsWith(line, row.prefix)) return row.field;
    return HeaderField::None;
}

unsigned MultipartMentions(const char16_t* line) {
    if (!LineHolds(line, u"multipart/")) return kMentionsNone;
    struct Row {
        std::u16string_view type;
        unsigned bit;
    };
    static constexpr Row kTypes[] = {
        {u"multipart/mixed", kMentionsMixed},
        {u"multipart/signed", kMentionsSigned},
        {u"multipart/appledouble", kMentionsAppleDouble},
        {u"multipart/related", kMentionsRelated},
        {u"multipart/alternative", kMentionsAlternative},
        {u"multipart/report", kMentionsReport},
    };
    unsigned found = kMentionsNone;
    for (const Row& row : kTypes)
        if (LineHolds(line, row.type)) found |= row.bit;
    return found == kMentionsNone ? kMentionsOtherMultipart : found;
}

bool HoldsBoundary(const char16_t* line, std::u16string_view marker) {
    return !marker.empty() && std::u16string_view(line).find(marker) != std::u16string_view::npos;
}

std::optional<BoundarySlot> BoundaryOfLine(const char16_t* line, const MultipartSlots& slots) {
    for (BoundarySlot slot : kSlotOrder)
        if (HoldsBoundary(line, slots.Boundary(slot))) return slot;
    return std::nullopt;
}

int UnslottedOfLine(const char16_t* line, const MultipartSlots& slots) {
    for (size_t i = 0; i < slots.unslotted.size(); ++i)
        if (HoldsBoundary(line, slots.unslotted[i])) return static_cast<int>(i);
    return -1;
}

bool IsBlankLine(const char16_t* line) {
    for (; *line; ++line)
        if (!IsBlank(*line)) return false;
    return true;
}

bool BeginsNoCase(std::u16string_view text, std::u16string_view prefix) {
    return text.size() >= prefix.size() && FindNoCase(text.substr(0, prefix.size()), prefix) == 0;
}

TransferEncoding ClassifyTransferEncoding(std::u16string_view value, std::u16string_view content_type) {
    auto has = [&](std::u16string_view text) { return FindNoCase(value, text) != kNotFound; };
    TransferEncoding result;
    if (has(u"base64")) {
        result.mode = EncodingMode::Base64;
    } else if (has(u"quoted-printable")) {
        result.mode = EncodingMode::QuotedPrintable;
    } else if (has(u"7bit") || has(u"8bit") || has(u"binary")) {
        if (EncodingMode mode = ModeOfContentType(content_type); mode != EncodingMode::Unknown)
            result.mode = mode;
    } else if (has(u"uu")) {
        result.mode = EncodingMode::Uuencode;
    } else if (has(u"xx")) {
        result.mode = EncodingMode::Xxencode;
    } else if (has(u"binhex")) {
        result.mode = EncodingMode::BinHex;
    } else if (has(u"gzip64")) {
        result.mode = EncodingMode::Base64;
        result.gzip64 = true;
    } else {
        std::u16string_view shown = TrimBlanks(TrimBlanks(value).substr(0, kNameSuffixValueLimit));
        result.name_suffix = u".(" + std::u16string(shown) + u").txt";
    }
    return result;
}

bool DeclaresAttachment(const char16_t* line) {
    std::u16string_view value(line);
    const size_t colon = value.find(u':');
    if (colon == value.npos) return false;
    value.remove_prefix(colon + 1);
    while (!value.empty() && (value.front() == u' ' || value.front() == u'\t'))
        value.remove_prefix(1);
    constexpr std::u16string_view kAttachment = u"attachment";
    if (!BeginsNoCase(value, kAttachment)) return false;
    value.remove_prefix(kAttachment.size());
    return value.empty() || value.front() == u';' || value.front() == u' ' || value.front() == u'\t';
}

} // namespace dornick
