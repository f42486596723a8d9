#include "console/run/mime_walk.h"

#include "console/decode/part_boundary.h"
#include "console/header/boundary_charset.h"
#include "console/header/charset_conversion.h"
#include "console/header/header_search.h"
#include "console/header/name_parameter.h"
#include "console/header/nfc.h"
#include "console/header/sanitize_file_name.h"
#include "console/header/unique_file_name.h"
#include "console/run/header_rules.h"
#include "console/run/mail_folders.h"
#include "console/run/part_kinds.h"
#include "console/run/reported_calls.h"
#include "console/run/walk_lines.h"

namespace dornick {
namespace {

constexpr std::u16string_view kFileNameCharset = u"filenamecharset";

/// What a step of a pass asks of the loop.
enum class Step {
    Next,            ///< go on with the next step of this pass
    EndPass,         ///< the pass is over: read the next line (or the pending one)
    Stop,            ///< the walk ends: inside a header value when the data ran out, else stopped
    StopNow,         ///< the walk ends here (date mode, the missed-boundary search at the file's start)
    StopAtEnd,       ///< the walk ends as at the end of the data ("/NI" at an alternative mail)
    StopInsideHeader ///< the walk ends while a header value was being read
};

void MoveTo(MailState& mail, WalkState next, WalkState previous) {
    mail.previous = previous;
    mail.state = next;
}

HeaderReader ReaderOf(MailState& mail) {
    return HeaderReader{mail.cursor,
                        mail.line,
                        mail.charset,
                        mail.line_pending,
                        mail.name_found,
                        mail.japanese_mail,
                        mail.options->full_width};
}

// "filenamecharset" names the charset of the file name; the word is cut out of the line so that
// it is not taken for the "name" parameter.
void TakeCharsetParameters(MailState& mail) {
    TakeCharsetParameter(mail.line, mail.charset);
    std::u16string_view line(mail.line);
    size_t at = FindNoCase(line, kFileNameCharset);
    if (at == kNotFound) return;
    std::u16string rest(line.substr(at + kFileNameCharset.size()));
    std::copy(rest.begin(), rest.end(), mail.line + at);
    mail.line[at + rest.size()] = 0;
}

// ContentType: the value up to its first ";", trimmed, without double quotes and a final ";".
void TakeContentType(MailState& mail) {
    std::u16string_view line(mail.line);
    std::u16string_view value = line.substr(line.find(u':') + 1);
    value = TrimBlanks(value.substr(0, value.find(u';')));
    std::u16string type;
    for (char16_t c : value)
        if (c != u'"') type.push_back(c);
    if (!type.empty() && type.back() == u';') type.pop_back();
    mail.content_type = type;
}

void TakeTransferEncoding(MailState& mail) {
    std::u16string_view line(mail.line);
    TransferEncoding encoding = ClassifyTransferEncoding(line.substr(line.find(u':') + 1), mail.content_type);
    mail.is_tnef = false;
    mail.is_gzip64 = encoding.gzip64;
    mail.name_suffix = std::move(encoding.name_suffix);
    mail.mode = encoding.mode;
}

// Looks at the lines after the current one for a charset parameter without consuming them.
void LookAheadCharset(MailState& mail) {
    LineMark restore(mail);
    while (mail.ReadNext()) {
        if (TakeCharsetParameter(mail.line, mail.charset)) break;
        if (mail.line[0] == 0) break;
        if (!IsBlank(mail.line[0]) && std::u16string_view(mail.line).find(u':') != std::u16string_view::npos)
            break;
    }
}

// A multipart's boundary goes into its slot, and the walk looks for its first boundary line.
void LearnBoundary(MailState& mail, BoundarySlot slot) {
    HeaderReader reader = ReaderOf(mail);
    CollectBoundaryAndCharset(reader, mail.Boundary(slot));
    MoveTo(mail, WalkState::SeekBoundary, WalkState::SenderSeen);
}

// ---- The steps that run on every line, before the state's own handling ----

// An empty line while blank lines are skipped: the following empty lines go too. False when the
// data ended.
bool SkipBlankRun(MailState& mail) {
    const bool in_part = mail.state == WalkState::PartHeader || mail.state == WalkState::PartBody;
    if (in_part && !mail.InsideAny()) return true;
    do {
        if (!mail.ReadNext()) return false;
    } while (mail.line[0] == 0);
    return true;
}

// Sender, charset and date, wherever they stand.
Step GatherMailFacts(MailState& mail) {
    const RunOptions& options = *mail.options;
    if (options.content_only && !mail.return_path_found && FieldOf(mail.line) == HeaderField::ReturnPath)
        TakeReturnPath(mail, false);
    if (!mail.boundary_found) TakeCharset(mail);
    if (mail.date_found) return Step::Next;
    if (!TakeDate(mail)) return Step::StopInsideHeader;
    if (options.date_mode && !mail.date_text.empty()) return Step::StopNow;
    return mail.line_pending ? Step::EndPass : Step::Next;
}

// The kind of the top-level type; with "/NI" nothing of an alternative mail is extracted.
Step NoteTopLevelType(MailState& mail, unsigned mentions) {
    if (mail.container || mentions == kMentionsNone) return Step::Next;
    const unsigned containers = kMentionsMixed | kMentionsSigned | kMentionsAppleDouble | kMentionsRelated;
    if ((!mail.boundary_found && (mentions & containers)) ||
        (!mail.options->forward_name.empty() && (mentions & kMentionsReport))) {
        mail.container = true;
        return Step::Next;
    }
    if (mail.options->no_inline && (mentions & kMentionsAlternative)) return Step::StopAtEnd;
    return Step::Next;
}

// A multipart met outside a part header, while the first part of an enclosing multipart is being
// skipped, is a container, not body text: its boundary is learnt so that its parts are walked.
// A nested mixed group is learnt only from a first part (reached from its boundary line), so that
// the text of a skipped unnamed part cannot start one.
Step LearnNestedMultipart(MailState& mail, unsigned mentions) {
    if (mentions == kMentionsNone) return Step::Next;
    const bool in_main = mail.Inside(BoundarySlot::Main);
    const bool in_alternative = mail.Inside(BoundarySlot::Alternative);
    const bool in_related = mail.Inside(BoundarySlot::Related);
    const bool in_mixed = mail.Inside(BoundarySlot::Mixed);
    const bool first_part = mail.state == WalkState::SeekBoundary && mail.previous == WalkState::SeekBoundary;
    struct Rule {
        unsigned mention;
        BoundarySlot slot;
        bool inside_enclosing;
    };
    const Rule rules[] = {
        {kMentionsAlternative, BoundarySlot::Alternative, in_main || in_related || (first_part && in_mixed)},
        {kMentionsRelated, BoundarySlot::Related, in_main || in_alternative || (first_part && in_mixed)},
        {kMentionsMixed, BoundarySlot::Mixed, first_part && (in_main || in_alternative || in_related)},
    };
    for (const Rule& rule : rules) {
        if (!rule.inside_enclosing || !(mentions & rule.mention) || !mail.Boundary(rule.slot).empty())
            continue;
        if (rule.slot == BoundarySlot::Mixed) mail.skip_blank_lines = false;
        LearnBoundary(mail, rule.slot);
        return Step::EndPass;
    }
    return Step::Next;
}

// The "/CO" rule for a top-level content that is itself a named file.
void SeekNamedContent(MailState& mail) {
    auto names_a_file = [&] {
        TakeCharsetParameters(mail);
        return LineHolds(mail.line, u"name") && LineHolds(mail.line, u"=");
    };
    if (names_a_file()) {
        MoveTo(mail, WalkState::PartHeader, mail.state);
        return;
    }
    bool found = false;
    {
        LineMark restore(mail);
        while (!found && mail.ReadNext() && IsContinuationLine(mail.line))
            found = names_a_file();
    }
    if (found) MoveTo(mail, WalkState::PartHeader, mail.state);
}

void NoteContentType(MailState& mail, HeaderField field, unsigned mentions) {
    if (field == HeaderField::ContentType) TakeContentType(mail);
    const RunOptions& options = *mail.options;
    if (options.content_only && !mail.container && mail.state != WalkState::PartHeader &&
        (field == HeaderField::ContentType || field == HeaderField::ContentDisposition) &&
        mentions == kMentionsNone)
        SeekNamedContent(mail);
}

// A boundary line passed unseen: step back to the last line that holds the main or the nested
// mixed boundary and read the part from the line after it. The search ends at the file's start.
Step RecoverMissedBoundary(MailState& mail) {
    char16_t line[kLineCapacity];
    const LineCursor here = mail.cursor;
    const unsigned char* at = StepBackLines(mail.cursor, 1); // the start of the current line
    // The search never goes back past the line of the last recovery, so that no line is read again
    // and again for ever; a line that finds nothing there goes on as it is.
    const unsigned char* limit = mail.recovered_from;
    if (limit && at <= limit) {
        mail.cursor = here;
        return Step::Next;
    }
    mail.recovered_from = at;
    while (at != mail.cursor.start) {
        if (limit && at <= limit) {
            mail.cursor = here;
            return Step::Next;
        }
        mail.cursor.pos = at;
        at = StepBackLines(mail.cursor, 1);
        ReadLineW(line, mail.cursor);
        const bool main = HoldsBoundary(line, mail.Boundary(BoundarySlot::Main));
        if (main || HoldsBoundary(line, mail.Boundary(BoundarySlot::Mixed))) {
            mail.current_boundary = main ? BoundarySlot::Main : BoundarySlot::Mixed;
            MoveTo(mail, WalkState::PartHeader, WalkState::SeekBoundary);
            return Step::EndPass;
        }
    }
    return Step::StopNow;
}

Step CheckMissedBoundary(MailState& mail, HeaderField field) {
    if (mail.state != WalkState::SeekBoundary || mail.previous != WalkState::SeekBoundary ||
        mail.skip_blank_lines || !mail.Boundary(BoundarySlot::Related).empty())
        return Step::Next;
    if (field == HeaderField::ContentDisposition) return RecoverMissedBoundary(mail);
    if (mail.line[0] == 0) mail.skip_blank_lines = true;
    return Step::Next;
}

// An ish name may carry the sender's folders: only what follows the last separator is kept.
void KeepLastComponent(std::u16string& name) {
    const size_t separator = name.find_last_of(u"\\/");
    if (separator != std::u16string::npos) name.erase(0, separator + 1);
}

// An encoded block in a text body is written as a part of its own, named by its marker line.
void DetectInBodyBlock(MailState& mail) {
    InBodyBlock block =
        FindInBodyBlock(mail.line, mail.cursor, PartBoundary(mail.Boundary(mail.current_boundary)));
    if (block.mode == EncodingMode::Unknown) return;
    const PartKind& kind = KindOf(block.mode);
    const bool known_mail = mail.HasHeader();
    std::u16string name;
    if (!block.name.empty()) {
        ConvertToUnicode(block.name, name, mail.charset, known_mail ? 1 : 0, mail.japanese_mail);
        NormalizeNfc(name);
        if (block.mode == EncodingMode::Ish) KeepLastComponent(name);
        SanitizeFileName(name, mail.options->full_width);
        // A bare block has no sender or date folder: its name is made unique in the root at once.
        if (!known_mail) MakeOutputFileName(OutputNames(mail), name, u"", u"");
    }
    mail.part_name = name;
    mail.mode = block.mode;
    mail.ish_end_marker = std::move(block.ish_end_marker);
    mail.state = WalkState::PartBody;
    mail.line[0] = 0;
    if (kind.marker_is_data) StepBackLines(mail.cursor, 1);
}

// With "/CO", the transfer encoding of a top-level content.
void TopLevelTransferEncoding(MailState& mail, HeaderField field) {
    if (mail.options->content_only && !mail.container && mail.state != WalkState::PartHeader &&
        mail.state != WalkState::PartBody && field == HeaderField::ContentTransferEncoding)
        TakeTransferEncoding(mail);
}

// ---- The states ----

Step TopHeaderLine(MailState& mail, HeaderField field) {
    if (field == HeaderField::ReturnPath) {
        TakeReturnPath(mail, true);
        if (mail.return_path_found) MoveTo(mail, WalkState::SenderSeen, WalkState::TopHeader);
        return Step::Next;
    }
    if (field == HeaderField::From) {
        if (!TakeFromAsSender(mail)) return Step::Stop;
        mail.state = mail.previous == WalkState::PartBody ? WalkState::PartBody : WalkState::SenderSeen;
        return Step::Next;
    }
    if (!mail.boundary_found) {
        HeaderReader reader = ReaderOf(mail);
        if (CollectBoundaryAndCharset(reader, mail.Boundary(BoundarySlot::Main)) == 1) {
            mail.boundary_found = true;
            return Step::Next;
        }
    }
    if (LineBeginsWith(mail.line, u"X-Apparently-From:")) {
        TakeApparentlyFrom(mail);
    } else if (mail.line[0] == 0 && mail.previous == WalkState::PartBody) {
        mail.Unread();
        MoveTo(mail, WalkState::PartBody, WalkState::TopHeader);
    }
    return Step::Next;
}

Step SenderSeenLine(MailState& mail, HeaderField field) {
    if (!mail.from_found && field == HeaderField::From && !TakeFromAddress(mail)) return Step::Stop;
    if (!mail.boundary_found) {
        HeaderReader reader = ReaderOf(mail);
        mail.boundary_found = CollectBoundaryAndCharset(reader, mail.Boundary(BoundarySlot::Main)) == 1;
    }
    if (mail.boundary_found) MoveTo(mail, WalkState::SeekBoundary, WalkState::SenderSeen);
    return Step::Next;
}

// The first boundary line of a group starts its first part, which is skipped (the body text)
// unless "/CO" is given; later ones start a part header.
void EnterGroup(MailState& mail, BoundarySlot slot) {
    mail.Inside(slot) = true;
    LookAheadCharset(mail);
    MoveTo(mail, mail.options->content_only ? WalkState::PartHeader : WalkState::SeekBoundary,
           WalkState::SeekBoundary);
}

void StartPart(MailState& mail, BoundarySlot slot) {
    mail.Inside(slot) = false;
    mail.current_boundary = slot;
    MoveTo(mail, WalkState::PartHeader, WalkState::SeekBoundary);
}

// The main boundary: its first line after the top header starts the body text.
void MainBoundaryLine(MailState& mail, bool after_header) {
    mail.current_boundary = BoundarySlot::Main;
    if (after_header && !mail.Inside(BoundarySlot::Main))
        EnterGroup(mail, BoundarySlot::Main);
    else
        StartPart(mail, BoundarySlot::Main);
}

// The first part of a related group is its HTML text.
void RelatedBoundaryLine(MailState& mail, bool after_header) {
    if (mail.options->content_only || !after_header || mail.Inside(BoundarySlot::Related)) {
        StartPart(mail, BoundarySlot::Related);
    } else {
        mail.Inside(BoundarySlot::Related) = true;
        mail.previous = WalkState::SeekBoundary;
    }
}

// Alternative sub-parts are never extracted: the group is only noted.
void AlternativeBoundaryLine(MailState& mail) {
    if (mail.charset.empty()) LookAheadCharset(mail);
    mail.Inside(BoundarySlot::Alternative) = true;
    mail.current_boundary = BoundarySlot::Alternative;
    mail.previous = WalkState::SeekBoundary;
}

void MixedBoundaryLine(MailState& mail) {
    mail.current_boundary = BoundarySlot::Mixed;
    if (mail.Inside(BoundarySlot::Mixed))
        StartPart(mail, BoundarySlot::Mixed);
    else
        EnterGroup(mail, BoundarySlot::Mixed);
}

// Between parts, the first boundary that the line holds decides.
Step SeekBoundaryLine(MailState& mail, HeaderField field) {
    const RunOptions& options = *mail.options;
    const bool after_header = mail.previous == WalkState::SenderSeen;
    auto holds = [&](BoundarySlot slot) { return HoldsBoundary(mail.line, mail.Boundary(slot)); };
    if (after_header && !mail.from_found && field == HeaderField::From)
        return TakeFromAddress(mail) ? Step::Next : Step::Stop;
    if (holds(BoundarySlot::Main)) {
        MainBoundaryLine(mail, after_header);
    } else if (!options.no_inline && holds(BoundarySlot::Related)) {
        RelatedBoundaryLine(mail, after_header);
    } else if (holds(BoundarySlot::Alternative) && after_header && !mail.Inside(BoundarySlot::Alternative)) {
        AlternativeBoundaryLine(mail);
    } else if (holds(BoundarySlot::AppleDouble)) {
        mail.current_boundary = BoundarySlot::AppleDouble;
        MoveTo(mail, WalkState::PartHeader, WalkState::SeekBoundary);
    } else if (holds(BoundarySlot::Mixed)) {
        MixedBoundaryLine(mail);
    } else if (options.content_only && !mail.container) {
        HeaderReader reader = ReaderOf(mail);
        if (CollectBoundaryAndCharset(reader, mail.Boundary(BoundarySlot::Main)) == 1)
            mail.current_boundary = BoundarySlot::Main;
    }
    return Step::Next;
}

// A nested multipart type in a part header: its boundary is read and the walk looks for it.
bool ReadNestedMultipart(MailState& mail) {
    struct Nested {
        std::u16string_view type;
        BoundarySlot slot;
    };
    static constexpr Nested kNested[] = {
        {u"multipart/alternative", BoundarySlot::Alternative},
        {u"multipart/related", BoundarySlot::Related},
        {u"multipart/appledouble", BoundarySlot::AppleDouble},
        {u"multipart/mixed", BoundarySlot::Mixed},
    };
    for (const Nested& nested : kNested) {
        if (!mail.Boundary(nested.slot).empty() || !LineHolds(mail.line, nested.type)) continue;
        if (nested.slot == BoundarySlot::Mixed) mail.skip_blank_lines = false;
        LearnBoundary(mail, nested.slot);
        return true;
    }
    return false;
}

// The parameter keyword is followed, after blanks, by "*": the RFC 2231 form.
bool IsExtendedParameter(const char16_t* line, std::u16string_view keyword) {
    std::u16string_view text(line);
    size_t at = FindNoCase(text, keyword);
    if (at == kNotFound) return false;
    size_t i = at + keyword.size();
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    return i < text.size() && text[i] == u'*';
}

// Reads on until a line holds `keyword` and "=": continuation lines are searched for charsets on
// the way; any other line is handed back to the loop. True when such a line is current.
bool SeekParameterLine(MailState& mail, std::u16string_view keyword, bool& data_ended) {
    while (!(LineHolds(mail.line, keyword) && LineHolds(mail.line, u"="))) {
        if (!mail.ReadNext()) {
            data_ended = true;
            return false;
        }
        if (!IsContinuationLine(mail.line)) {
            mail.Unread();
            return false;
        }
        TakeCharsetParameters(mail);
    }
    return true;
}

Step DecodeNameOfPart(MailState& mail, std::u16string_view keyword, bool only_when_unnamed) {
    bool data_ended = false;
    if (!SeekParameterLine(mail, keyword, data_ended)) return data_ended ? Step::Stop : Step::Next;
    if (mail.line[0] == 0) return Step::Next;
    if (only_when_unnamed && !mail.part_name.empty() && !mail.name_found) return Step::Next;
    HeaderReader reader = ReaderOf(mail);
    if (DecodePartName(reader, mail.part_name, IsExtendedParameter(mail.line, keyword)) == -1)
        return Step::Stop;
    return Step::Next;
}

// A Content-ID gives an inline part its name: the text between "<" and ">", converted.
Step TakeContentIdName(MailState& mail) {
    char bytes[kLineCapacity];
    NarrowLine(mail.line, bytes);
    std::string id;
    if (ExtractBetweenA(bytes, id, "<", ">") != 0) return Step::Stop;
    std::u16string name;
    ConvertToUnicode(id, name, mail.charset, 1, mail.japanese_mail);
    NormalizeNfc(name);
    mail.part_name = name;
    if (name.empty())
        mail.line[0] = 0;
    else
        mail.name_found = true;
    return Step::Next;
}

// True when the line before the current one (the blank line) holds the part's own boundary: the
// part header was empty.
bool PartHeaderWasEmpty(MailState& mail) {
    char16_t before[kLineCapacity];
    mail.PeekLineBefore(before);
    return HoldsBoundary(before, mail.Boundary(mail.current_boundary));
}

void EndOfPartHeader(MailState& mail) {
    const RunOptions& options = *mail.options;
    if (mail.is_rfc822 && mail.part_name.empty() && !options.forward_name.empty())
        mail.part_name = options.forward_name + u".eml";
    const bool block_without_name = KindOf(mail.mode).unnamed_part != NameSource::PartHeader;
    if (!mail.part_name.empty() || block_without_name) {
        mail.Unread();
        MoveTo(mail, WalkState::PartBody, WalkState::PartHeader);
        return;
    }
    // An unnamed part is skipped. An empty part header keeps the walk here, and so does "/CO".
    if (!PartHeaderWasEmpty(mail) && !options.content_only) {
        mail.ResetFlags();
        mail.Inside(BoundarySlot::Main) = true;
        mail.state = WalkState::SeekBoundary;
    }
    mail.previous = WalkState::PartHeader;
}

Step PartHeaderLine(MailState& mail, HeaderField field) {
    for (BoundarySlot slot : kSlotOrder)
        mail.Inside(slot) = false;
    switch (field) {
    case HeaderField::ContentType: {
        size_t slash = mail.content_type.find(u'/');
        mail.sub_type = slash == std::u16string::npos ? u"unknown" : mail.content_type.substr(slash + 1);
        mail.is_rfc822 = BeginsNoCase(mail.content_type, u"message/rfc822");
        TakeCharsetParameters(mail);
        if (ReadNestedMultipart(mail)) return Step::Next;
        return DecodeNameOfPart(mail, u"name", true);
    }
    case HeaderField::ContentDisposition:
        return DecodeNameOfPart(mail, u"filename", false);
    case HeaderField::ContentTransferEncoding:
        TakeTransferEncoding(mail);
        return Step::Next;
    default:
        break;
    }
    std::u16string_view line(mail.line);
    if (!mail.options->no_inline && line.find(u"Content-ID:") != line.npos && mail.part_name.empty()) {
        if (TakeContentIdName(mail) == Step::Stop) return Step::Stop;
    } else if (std::optional<BoundarySlot> slot = BoundaryOfLine(mail.line, mail)) {
        mail.current_boundary = *slot;
        mail.ResetFlags();
        mail.part_name.clear();
    } else if (IsBlankLine(mail.line)) {
        EndOfPartHeader(mail);
    }
    const bool in_main = mail.Inside(BoundarySlot::Main);
    mail.Inside(BoundarySlot::Alternative) = mail.Inside(BoundarySlot::Related) =
        mail.Inside(BoundarySlot::Mixed) = in_main;
    return Step::Next;
}

// The first data line shows that the part's header goes on after all.
bool LooksLikeHeader(const MailState& mail) {
    const bool unknown = mail.mode == EncodingMode::Unknown;
    const HeaderField field = FieldOf(mail.line);
    return field == HeaderField::ContentDisposition ||
           (unknown && field == HeaderField::ContentTransferEncoding) ||
           (unknown && !mail.is_rfc822 &&
            (mail.part_name.empty() || !BeginsNoCase(mail.content_type, u"text/plain"))) ||
           (mail.mode == EncodingMode::Base64 && LineHolds(mail.line, u"-") &&
            !HoldsBoundary(mail.line, mail.Boundary(mail.current_boundary)));
}

// After a written part the next part header is read; the boundary line that ended the data
// starts it, as one met in the part header does. Every part is named by its own header only.
void ResumeAfterPart(MailState& mail, PartEnd end) {
    mail.ResetFlags();
    mail.sub_type.clear();
    mail.content_type.clear();
    mail.part_name.clear();
    if (end == PartEnd::AtBoundary || end == PartEnd::NotWritten) mail.Unread();
    MoveTo(mail, WalkState::PartHeader, WalkState::PartBody);
}

Step PartBodyLine(MailState& mail, PartWriter& writer) {
    if (mail.options->date_mode) return Step::Stop;
    if (!mail.ReadNext()) return Step::Stop;
    if (LooksLikeHeader(mail)) {
        mail.Unread();
        MoveTo(mail, WalkState::PartHeader, WalkState::PartBody);
        return Step::Next;
    }
    if (mail.mode == EncodingMode::Unknown) mail.mode = ModeOfContentType(mail.content_type);
    for (;;) {
        const LineCursor data_start = mail.cursor;
        const PartEnd end = writer.Write(mail);
        if (end == PartEnd::Failed) return Step::Stop;
        if (end != PartEnd::Redecode) {
            ResumeAfterPart(mail, end);
            return Step::Next;
        }
        // Written again as base64, from the blank line that ends the part header: the line
        // before the first data line.
        mail.mode = EncodingMode::Base64;
        mail.cursor = data_start;
        StepBackLines(mail.cursor, 2);
        if (!mail.ReadNext()) return Step::Stop;
    }
}

Step StateLine(MailState& mail, HeaderField field, PartWriter& writer) {
    switch (mail.state) {
    case WalkState::TopHeader:
        return TopHeaderLine(mail, field);
    case WalkState::SenderSeen:
        return SenderSeenLine(mail, field);
    case WalkState::SeekBoundary:
        return SeekBoundaryLine(mail, field);
    case WalkState::PartHeader:
        return PartHeaderLine(mail, field);
    case WalkState::PartBody:
        return PartBodyLine(mail, writer);
    }
    return Step::Next;
}

// One pass over the current line: the steps in their order, then the state's own handling.
Step Pass(MailState& mail, PartWriter& writer) {
    const bool empty = mail.line[0] == 0;
    // The blank line that ends the top header of a multipart mail.
    if (empty && mail.state == WalkState::TopHeader && mail.boundary_found) {
        MoveTo(mail, WalkState::SeekBoundary, WalkState::SenderSeen);
        return Step::EndPass;
    }
    // Blank lines between the parts of some mail programs' related groups.
    if (empty && mail.skip_blank_lines && !SkipBlankRun(mail)) return Step::StopAtEnd;
    if (Step step = GatherMailFacts(mail); step != Step::Next) return step;
    const unsigned mentions = MultipartMentions(mail.line);
    if (Step step = NoteTopLevelType(mail, mentions); step != Step::Next) return step;
    if (Step step = LearnNestedMultipart(mail, mentions); step != Step::Next) return step;
    HeaderField field = FieldOf(mail.line);
    NoteContentType(mail, field, mentions);
    if (Step step = CheckMissedBoundary(mail, field); step != Step::Next) return step;
    DetectInBodyBlock(mail);
    field = FieldOf(mail.line);
    TopLevelTransferEncoding(mail, field);
    return StateLine(mail, field, writer);
}

} // namespace

WalkEnd MimeWalk(MailState& mail, PartWriter& writer) {
    for (;;) {
        if (!mail.TakeLine()) return WalkEnd::NoLineLeft;
        switch (Pass(mail, writer)) {
        case Step::Next:
        case Step::EndPass:
            break;
        case Step::StopNow:
            return WalkEnd::Stopped;
        case Step::StopAtEnd:
            return WalkEnd::NoLineLeft;
        case Step::StopInsideHeader:
            return WalkEnd::InsideHeader;
        case Step::Stop:
            return mail.cursor.pos ? WalkEnd::Stopped : WalkEnd::InsideHeader;
        }
    }
}

} // namespace dornick
