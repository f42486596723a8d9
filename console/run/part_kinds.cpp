#include "console/run/part_kinds.h"

#include <iterator>
#include <utility>

#include "console/decode/begin_base64.h"
#include "console/decode/binhex_block.h"
#include "console/decode/ish_block.h"
#include "console/decode/uu_block.h"
#include "console/decode/yenc_block.h"
#include "console/run/walk_lines.h"

namespace dornick {
namespace {

// The detectors run on every line of a text body: each row's is inlined into DetectInRows below.

[[gnu::always_inline]] inline bool DetectIsh(const char16_t* line, LineCursor& cursor,
                                             const PartBoundary& boundary, InBodyBlock& block) {
    IshBlock ish;
    if (!IshDetect(line, cursor, boundary, ish)) return false;
    block = {EncodingMode::Ish, std::move(ish.output_name), std::move(ish.end_marker)};
    return true;
}

[[gnu::always_inline]] inline bool DetectYenc(const char16_t* line, LineCursor& cursor,
                                              const PartBoundary& boundary, InBodyBlock& block) {
    YencBlock yenc;
    if (!YencDetect(line, cursor, boundary, yenc)) return false;
    block = {EncodingMode::Yenc, std::move(yenc.output_name), {}};
    return true;
}

// One detector tells uuencode and xxencode apart: the xxencode row has none of its own.
[[gnu::always_inline]] inline bool DetectUu(const char16_t* line, LineCursor& cursor,
                                            const PartBoundary& boundary, InBodyBlock& block) {
    const UuCode code = UuDetect(line, cursor, boundary);
    if (code == UuCode::None) return false;
    char bytes[kLineCapacity];
    const size_t size = UuBeginName(line, bytes);
    block = {code == UuCode::Uuencode ? EncodingMode::Uuencode : EncodingMode::Xxencode,
             std::string(bytes, size),
             {}};
    return true;
}

[[gnu::always_inline]] inline bool DetectBase64Block(const char16_t* line, LineCursor& cursor,
                                                     const PartBoundary& boundary, InBodyBlock& block) {
    if (!DetectBeginBase64(line, cursor, boundary)) return false;
    char bytes[kLineCapacity];
    NarrowLine(BeginBase64Name(line), bytes);
    block = {EncodingMode::Base64, bytes, {}};
    return true;
}

[[gnu::always_inline]] inline bool DetectBinHex(const char16_t* line, LineCursor& cursor,
                                                const PartBoundary& boundary, InBodyBlock& block) {
    if (!BinHexDetect(line, cursor, boundary)) return false;
    block = {EncodingMode::BinHex, {}, {}}; // the block's own header names the file
    return true;
}

constexpr PartKind kKinds[] = {
    // mode                        detect             decode                      unnamed part
    //   content type                   keeps line ends, marker is data
    {EncodingMode::Ish, DetectIsh, CopyIshPart, NameSource::PartHeader, {}, true, true},
    {EncodingMode::Yenc, DetectYenc, CopyYencPart, NameSource::PartHeader, {}, true, true},
    {EncodingMode::Uuencode, DetectUu, DecodeUuencodePart, NameSource::BeginLine, u"application/x-uuencode",
     false, false},
    {EncodingMode::Base64, DetectBase64Block, DecodeBase64Part, NameSource::PartHeader, {}, false, false},
    {EncodingMode::BinHex, DetectBinHex, nullptr, NameSource::BlockHeader, u"application/mac-binhex40", false,
     false},
    {EncodingMode::Xxencode, nullptr, DecodeXxencodePart, NameSource::BeginLine, {}, false, false},
    {EncodingMode::QuotedPrintable,
     nullptr,
     DecodeQuotedPrintablePart,
     NameSource::PartHeader,
     {},
     true,
     false},
    {EncodingMode::PlainCopy, nullptr, CopyPlainPart, NameSource::PartHeader, {}, true, false},
};

} // namespace

const PartKind& KindOf(EncodingMode mode) {
    for (const PartKind& kind : kKinds)
        if (kind.mode == mode) return kind;
    return KindOf(EncodingMode::PlainCopy);
}

namespace {

// Every line of a text body is tried: the rows' detectors are called by name, in the rows' order,
// as the table is known when this is compiled (no call through a pointer per line).
template <size_t... Row>
InBodyBlock DetectInRows(const char16_t* line, LineCursor& cursor, const PartBoundary& boundary,
                         std::index_sequence<Row...>) {
    InBodyBlock block;
    (void)((kKinds[Row].detect && kKinds[Row].detect(line, cursor, boundary, block)) || ...);
    return block;
}

} // namespace

InBodyBlock FindInBodyBlock(const char16_t* line, LineCursor& cursor, const PartBoundary& boundary) {
    return DetectInRows(line, cursor, boundary, std::make_index_sequence<std::size(kKinds)>());
}

EncodingMode ModeOfContentType(std::u16string_view content_type) {
    for (const PartKind& kind : kKinds)
        if (!kind.content_type.empty() && BeginsNoCase(content_type, kind.content_type)) return kind.mode;
    return EncodingMode::Unknown;
}

} // namespace dornick
