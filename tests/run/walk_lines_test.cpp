// The walk's line tests, one table each.

#include "console/run/walk_lines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/text.h"

namespace dornick {
namespace {

TEST(WalkLines, FieldsAreRecognisedByTheirBeginningInAnyCase) {
    struct Row {
        const char16_t* line;
        HeaderField field;
    };
    const Row rows[] = {
        {u"Return-Path: <a@b>", HeaderField::ReturnPath},
        {u"FROM: a@b", HeaderField::From},
        {u"x-apparently-from: <a@b>", HeaderField::ApparentlyFrom},
        {u"content-type: text/plain", HeaderField::ContentType},
        {u"Content-Disposition: attachment", HeaderField::ContentDisposition},
        {u"Content-Transfer-Encoding: base64", HeaderField::ContentTransferEncoding},
        {u" Content-Type: folded", HeaderField::None},
        {u"X-From: a@b", HeaderField::None},
        {u"From a@b Mon Jan  1", HeaderField::None}, // an mbox separator has no colon
        {u"", HeaderField::None},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(platform::U16ToUtf8(row.line));
        EXPECT_EQ(FieldOf(row.line), row.field);
    }
}

TEST(WalkLines, MultipartMentionsAreFoundAnywhere) {
    struct Row {
        const char16_t* line;
        unsigned mentions;
    };
    const Row rows[] = {
        {u"Content-Type: multipart/mixed; boundary=x", kMentionsMixed},
        {u"Content-Type: MULTIPART/SIGNED;", kMentionsSigned},
        {u"\tmultipart/alternative", kMentionsAlternative},
        {u"multipart/related; type=\"multipart/alternative\"", kMentionsRelated | kMentionsAlternative},
        {u"Content-Type: multipart/report; report-type=delivery-status", kMentionsReport},
        {u"Content-Type: multipart/appledouble", kMentionsAppleDouble},
        {u"Content-Type: multipart/digest", kMentionsOtherMultipart},
        {u"Content-Type: text/plain", kMentionsNone},
        {u"multipart", kMentionsNone},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(platform::U16ToUtf8(row.line));
        EXPECT_EQ(MultipartMentions(row.line), row.mentions);
    }
}

TEST(WalkLines, BoundaryOfLineTriesTheSlotsInOrder) {
    MultipartSlots slots;
    slots.Boundary(BoundarySlot::Main) = u"-abc";
    slots.Boundary(BoundarySlot::Related) = u"-abc-rel";
    slots.Boundary(BoundarySlot::Mixed) = u"-mix";
    struct Row {
        const char16_t* line;
        std::optional<BoundarySlot> slot;
    };
    const Row rows[] = {
        {u"--abc", BoundarySlot::Main},
        {u"--abc-rel", BoundarySlot::Main}, // a prefix of a nested boundary is taken for the main one
        {u"--mix--", BoundarySlot::Mixed},
        {u"--ABC", std::nullopt}, // boundaries compare with case
        {u"--mi", std::nullopt},
        {u"", std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(platform::U16ToUtf8(row.line));
        EXPECT_EQ(BoundaryOfLine(row.line, slots), row.slot);
    }
    EXPECT_FALSE(HoldsBoundary(u"anything", u"")); // an unlearnt slot never matches
}

// Every boundary the walk learns is kept: in its slot, or in the list of the others, never in
// both, and a slot's earlier boundary moves to the list when the slot takes a new one.
TEST(WalkLines, NoLearntBoundaryIsForgotten) {
    enum class Op { Remember, Settle };
    struct Row {
        Op op;
        BoundarySlot slot;
        const char16_t* marker;
        std::vector<std::u16string> unslotted; ///< the list afterwards
        std::u16string mixed;                  ///< the mixed slot afterwards
    };
    const Row rows[] = {
        {Op::Remember, BoundarySlot::Mixed, u"-a", {u"-a"}, u""},
        {Op::Remember, BoundarySlot::Mixed, u"-a", {u"-a"}, u""}, // known already
        {Op::Remember, BoundarySlot::Mixed, u"", {u"-a"}, u""},   // no boundary
        {Op::Settle, BoundarySlot::Mixed, u"-a", {}, u"-a"},      // leaves the list for the slot
        {Op::Remember, BoundarySlot::Mixed, u"-a", {}, u"-a"},    // a slot's boundary is known
        {Op::Settle, BoundarySlot::Mixed, u"-b", {u"-a"}, u"-b"}, // the earlier one is kept
        {Op::Settle, BoundarySlot::Mixed, u"-b", {u"-a"}, u"-b"},
        {Op::Remember, BoundarySlot::Mixed, u"-c", {u"-a", u"-c"}, u"-b"},
        {Op::Settle, BoundarySlot::Main, u"-c", {u"-a"}, u"-b"},
    };
    MultipartSlots slots;
    for (const Row& row : rows) {
        SCOPED_TRACE(platform::U16ToUtf8(row.marker));
        if (row.op == Op::Remember)
            slots.Remember(row.marker);
        else
            slots.Settle(row.slot, row.marker);
        EXPECT_EQ(slots.unslotted, row.unslotted);
        EXPECT_EQ(slots.Boundary(BoundarySlot::Mixed), row.mixed);
    }
    EXPECT_EQ(slots.Boundary(BoundarySlot::Main), u"-c");
    EXPECT_EQ(UnslottedOfLine(u"--a--", slots), 0);
    EXPECT_EQ(UnslottedOfLine(u"--c", slots), -1); // the main slot's now

    // A mail of nothing but multipart headers keeps a bounded list.
    for (size_t i = 0; i <= kUnslottedLimit; ++i)
        slots.Remember(u"-many" + platform::Utf8ToU16(std::to_string(i)));
    EXPECT_EQ(slots.unslotted.size(), kUnslottedLimit);
}

// The current boundary may be one of the list; it stays the same text when the list changes.
TEST(WalkLines, CurrentBoundaryFollowsTheList) {
    MultipartSlots slots;
    slots.Boundary(BoundarySlot::Main) = u"-top";
    for (const char16_t* marker : {u"-a", u"-b", u"-c"})
        slots.Remember(marker);
    slots.current_unslotted = UnslottedOfLine(u"--c", slots);
    ASSERT_EQ(slots.current_unslotted, 2);
    slots.Settle(BoundarySlot::Related, u"-b"); // an earlier entry leaves the list
    EXPECT_EQ(slots.current_unslotted, 1);
    EXPECT_EQ(slots.CurrentBoundary(), u"-c");
    slots.Settle(BoundarySlot::Alternative, u"-c"); // the current one goes to a slot
    EXPECT_EQ(slots.current_unslotted, -1);
    EXPECT_EQ(slots.current_boundary, BoundarySlot::Alternative);
    EXPECT_EQ(slots.CurrentBoundary(), u"-c");
    slots.SetCurrent(BoundarySlot::Main);
    EXPECT_EQ(slots.CurrentBoundary(), u"-top");
}

TEST(WalkLines, TransferEncodingTable) {
    struct Row {
        const char16_t* value;
        const char16_t* content_type;
        EncodingMode mode;
        bool gzip64;
        const char16_t* suffix;
    };
    const Row rows[] = {
        {u" base64", u"image/png", EncodingMode::Base64, false, u""},
        {u" Quoted-Printable", u"text/plain", EncodingMode::QuotedPrintable, false, u""},
        {u" 7bit", u"text/plain", EncodingMode::PlainCopy, false, u""},
        {u" 8bit", u"application/x-uuencode", EncodingMode::Uuencode, false, u""},
        {u" binary", u"application/mac-binhex40", EncodingMode::BinHex, false, u""},
        {u" x-uuencode", u"application/octet-stream", EncodingMode::Uuencode, false, u""},
        {u" x-xx", u"application/octet-stream", EncodingMode::Xxencode, false, u""},
        {u" x-binhex", u"application/octet-stream", EncodingMode::BinHex, false, u""},
        {u" x-gzip64", u"application/octet-stream", EncodingMode::Base64, true, u""},
        {u"  x-foo  ", u"text/plain", EncodingMode::PlainCopy, false, u".(x-foo).txt"},
        {u" an-encoding-name-of-many-letters", u"", EncodingMode::PlainCopy, false,
         u".(an-encoding-name).txt"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(platform::U16ToUtf8(row.value));
        const TransferEncoding encoding = ClassifyTransferEncoding(row.value, row.content_type);
        EXPECT_EQ(encoding.mode, row.mode);
        EXPECT_EQ(encoding.gzip64, row.gzip64);
        EXPECT_EQ(encoding.name_suffix, row.suffix);
    }
}

TEST(WalkLines, AttachmentDispositionIsTheValueItself) {
    struct Row {
        const char16_t* line;
        bool attachment;
    };
    const Row rows[] = {
        {u"Content-Disposition: attachment; filename=\"r.csv\"", true},
        {u"content-disposition:\tATTACHMENT", true},
        {u"Content-Disposition:attachment ;filename=r.csv", true},
        {u"Content-Disposition: inline; filename=\"attachment.csv\"", false},
        {u"Content-Disposition: attachments", false},
        {u"Content-Disposition: x-attachment", false},
        {u"Content-Disposition:", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(platform::U16ToUtf8(row.line));
        EXPECT_EQ(DeclaresAttachment(row.line), row.attachment);
    }
}

} // namespace
} // namespace dornick
