#include "console/run/mime_walk.h"

#include "console/decode/part_boundary.h"
#include "console/header/boundary_charset.h"
#include "console/header/charset_conversion.h"
#include "console/header/header_search.h"
#include "console/header/name_parameter.h"
#include "console/header/nfc.h"
#include "console/header/sanitize_file_name.h"
#include "console/header/unique_file_name.h"
#include "console/run/attached_mail.h"
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

// "filenamecharset" names the charset of the file name; the word is cut out of the line so that
// it is not taken for the "name" parameter.
void TakeCharsetParameters(char16_t* text, CharsetText& charset) {
    TakeCharsetParameter(text, charset);
    std::u16string_view line(text);
    size_t at = FindNoCase(line, kFileNameCharset);
    if (at == kNotFound) return;
    std::u16string rest(line.substr(at + kFileNameCharset.size()));
    std::copy(rest.begin(), rest.end(), text + at);
    text[at + rest.size()] = 0;
}

// ContentType: the value up to its first ";", trimmed, without double quotes and a final ";".
void TakeContentType(std::u16string_view line, PartFields& part) {
    std::u16string_view value = line.substr(line.find(u':') + 1);
    value = TrimBlanks(value.substr(0, value.find(u';')));
    std::u16string type;
    for (char16_t c : value)
        if (c != u'"') type.push_back(c);
    if (!type.empty() && type.back() == u';') type.pop_back();
    part.content_type = type;
}

void TakeTransferEncoding(std::u16string_view line, PartFields& part) {
    TransferEncoding encoding = ClassifyTransferEncoding(line.substr(line.find(u':') + 1), part.content_type);
    part.is_tnef = false;
    part.is_gzip64 = encoding.gzip64;
    part.name_suffix = std::move(encoding.name_suffix);
    part.mode = encoding.mode;
}

// Looks at the lines after the current one for a charset parameter without consuming them.
void LookAheadCharset(LineSource& source, CharsetText& charset) {
    LineMark restore(source);
    while (source.ReadNext()) {
        if (TakeCharsetParameter(source.line, charset)) break;
        if (source.line[0] == 0) break;
        if (!IsBlank(source.line[0]) &&
            std::u16string_view(source.line).find(u':') != std::u16string_view::npos)
            break;
    }
}

// The boundary and charset of a Content-Type field: the charset is the mail's; a boundary goes
// into `slot`. True when one was found.
bool ReadBoundary(LineSource& source, CharsetText& charset, MultipartSlots& multipart, BoundarySlot slot) {
    BoundaryParameters found = CollectBoundaryAndCharset(source);
    if (found.charset_found) charset = std::move(found.charset);
    if (found.stored) multipart.Settle(slot, std::move(found.marker));
    return found.stored;
}

// A multipart's boundary goes into its slot, and the walk looks for its first boundary line.
void LearnBoundary(MailState& mail, BoundarySlot slot) {
    ReadBoundary(mail.source, mail.facts.charset, mail.multipart, slot);
    mail.walk.MoveTo(WalkState::SeekBoundary, WalkState::SenderSeen);
}

// ---- The steps that run on every line, before the state's own handling ----

// An empty line while blank lines are skipped: the following empty lines go too. False when the
// data ended.
bool SkipBlankRun(LineSource& source, const MultipartSlots& multipart, WalkState state) {
    const bool in_part = state == WalkState::PartHeader || state == WalkState::PartBody;
    if (in_part && !multipart.InsideAny()) return true;
    do {
        if (!source.ReadNext()) return false;
    } while (source.line[0] == 0);
    return true;
}

// Sender, charset and date, wherever they stand.
Step GatherMailFacts(LineSource& source, MailFacts& facts, const RunOptions& options) {
    if (options.content_only && !facts.return_path_found && FieldOf(source.line) == HeaderField::ReturnPath)
        TakeReturnPath(source.line, facts, false);
    if (!facts.boundary_found) TakeCharset(source.line, facts);
    if (facts.date_found) return Step::Next;
    if (!TakeDate(source, facts)) return Step::StopInsideHeader;
    if (options.date_mode && !facts.date_text.empty()) return Step::StopNow;
    return source.LinePending() ? Step::EndPass : Step::Next;
}

// Every multipart type met in a part header has its boundary remembered, whether or not a slot
// takes it: a part's data must never run on past a boundary of the mail. Between parts the walk
// also passes body text, where a quoted header is no boundary of this mail; the top header's own
// multipart goes into the main slot.
void RememberBoundaryOfType(MailState& mail, unsigned mentions) {
    if (mentions == kMentionsNone || mail.walk.state != WalkState::PartHeader ||
        FieldOf(mail.source.line) != HeaderField::ContentType)
        return;
    mail.multipart.Remember(PeekBoundaryMarker(mail.source));
}

// The kind of the top-level type; with "/NI" nothing of an alternative mail is extracted.
Step NoteTopLevelType(MultipartSlots& multipart, const MailFacts& facts, const RunOptions& options,
                      unsigned mentions) {
    if (multipart.container || mentions == kMentionsNone) return Step::Next;
    const unsigned containers = kMentionsMixed | kMentionsSigned | kMentionsAppleDouble | kMentionsRelated;
    if ((!facts.boundary_found && (mentions & containers)) ||
        (!options.forward_name.empty() && (mentions & kMentionsReport))) {
        multipart.container = true;
        return Step::Next;
    }
    if (options.no_inline && (mentions & kMentionsAlternative)) return Step::StopAtEnd;
    return Step::Next;
}

// A multipart met outside a part header, while the first part of an enclosing multipart is being
// skipped, is a container, not body text: its boundary is learnt so that its parts are walked.
// A nested mixed group is learnt only from a first part (reached from its boundary line), so that
// the text of a skipped unnamed part cannot start one.
Step LearnNestedMultipart(MailState& mail, unsigned mentions) {
    if (mentions == kMentionsNone) return Step::Next;
    MultipartSlots& multipart = mail.multipart;
    const bool in_main = multipart.Inside(BoundarySlot::Main);
    const bool in_alternative = multipart.Inside(BoundarySlot::Alternative);
    const bool in_related = multipart.Inside(BoundarySlot::Related);
    const bool in_mixed = multipart.Inside(BoundarySlot::Mixed);
    const bool first_part = mail.walk.InGroupFirstPart();
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
        if (!rule.inside_enclosing || !(mentions & rule.mention) || !multipart.Boundary(rule.slot).empty())
            continue;
        if (rule.slot == BoundarySlot::Mixed) multipart.skip_blank_lines = false;
        LearnBoundary(mail, rule.slot);
        return Step::EndPass;
    }
    return Step::Next;
}

// The "/CO" rule for a top-level content that is itself a named file.
void SeekNamedContent(LineSource& source, CharsetText& charset, WalkPosition& walk) {
    auto names_a_file = [&] {
        TakeCharsetParameters(source.line, charset);
        return LineHolds(source.line, u"name") && LineHolds(source.line, u"=");
    };
    if (names_a_file()) {
        walk.MoveTo(WalkState::PartHeader, walk.state);
        return;
    }
    bool found = false;
    {
        LineMark restore(source);
        while (!found && source.ReadNext() && IsContinuationLine(source.line))
            found = names_a_file();
    }
    if (found) walk.MoveTo(WalkState::PartHeader, walk.state);
}

void NoteContentType(MailState& mail, HeaderField field, unsigned mentions) {
    if (field == HeaderField::ContentType) TakeContentType(mail.source.line, mail.part);
    if (mail.options->content_only && !mail.multipart.container && mail.walk.state != WalkState::PartHeader &&
        (field == HeaderField::ContentType || field == HeaderField::ContentDisposition) &&
        mentions == kMentionsNone)
        SeekNamedContent(mail.source, mail.facts.charset, mail.walk);
}

// A boundary line passed unseen: step back to the last line that holds the main or the nested
// mixed boundary and read the part from the line after it. The search ends at the file's start.
Step RecoverMissedBoundary(LineSource& source, MultipartSlots& multipart, WalkPosition& walk) {
    char16_t line[kLineCapacity];
    const LineCursor here = source.Here();
    const unsigned char* at = source.StepBack(1); // the start of the current line
    // The search never goes back past the line of the last recovery, so that no line is read again
    // and again for ever; a line that finds nothing there goes on as it is.
    const unsigned char* limit = walk.recovered_from;
    if (limit && at <= limit) {
        source.ReturnTo(here);
        return Step::Next;
    }
    walk.recovered_from = at;
    while (at != source.FileStart()) {
        if (limit && at <= limit) {
            source.ReturnTo(here);
            return Step::Next;
        }
        at = source.ReadLineEndingAt(at, line);
        const bool main = HoldsBoundary(line, multipart.Boundary(BoundarySlot::Main));
        if (main || HoldsBoundary(line, multipart.Boundary(BoundarySlot::Mixed))) {
            multipart.SetCurrent(main ? BoundarySlot::Main : BoundarySlot::Mixed);
            walk.MoveTo(WalkState::PartHeader, WalkState::SeekBoundary);
            return Step::EndPass;
        }
    }
    return Step::StopNow;
}

Step CheckMissedBoundary(MailState& mail, HeaderField field) {
    if (!mail.walk.InGroupFirstPart() || mail.multipart.skip_blank_lines ||
        !mail.multipart.Boundary(BoundarySlot::Related).empty())
        return Step::Next;
    if (field == HeaderField::ContentDisposition)
        return RecoverMissedBoundary(mail.source, mail.multipart, mail.walk);
    if (mail.source.line[0] == 0) mail.multipart.skip_blank_lines = true;
    return Step::Next;
}

// An ish name may carry the sender's folders: only what follows the last separator is kept.
void KeepLastComponent(std::u16string& name) {
    const size_t separator = name.find_last_of(u"\\/");
    if (separator != std::u16string::npos) name.erase(0, separator + 1);
}

// An encoded block in a text body is written as a part of its own, named by its marker line.
void DetectInBodyBlock(MailState& mail) {
    LineSource& source = mail.source;
    LineCursor look_ahead = source.Here();
    InBodyBlock block =
        FindInBodyBlock(source.line, look_ahead, PartBoundary(mail.multipart.CurrentBoundary()));
    if (block.mode == EncodingMode::Unknown) return;
    const PartKind& kind = KindOf(block.mode);
    const MailFacts& facts = mail.facts;
    const bool known_mail = facts.HasHeader();
    std::u16string name;
    if (!block.name.empty()) {
        ConvertToUnicode(block.name, name, facts.charset, known_mail ? 1 : 0, facts.japanese_mail);
        NormalizeNfc(name);
        if (block.mode == EncodingMode::Ish) KeepLastComponent(name);
        SanitizeFileName(name, mail.options->full_width);
        // A bare block has no sender or date folder: its name is made unique in the root at once.
        if (!known_mail) MakeOutputFileName(OutputNames(mail), name, u"", u"");
    }
    mail.part.part_name = name;
    mail.part.mode = block.mode;
    mail.part.ish_end_marker = std::move(block.ish_end_marker);
    mail.walk.state = WalkState::PartBody;
    source.line[0] = 0;
    if (kind.marker_is_data) source.StepBack(1);
}

// With "/CO", the transfer encoding of a top-level content.
void TopLevelTransferEncoding(MailState& mail, HeaderField field) {
    if (mail.options->content_only && !mail.multipart.container && mail.walk.state != WalkState::PartHeader &&
        mail.walk.state != WalkState::PartBody && field == HeaderField::ContentTransferEncoding)
        TakeTransferEncoding(mail.source.line, mail.part);
}

// ---- The states ----

Step TopHeaderLine(MailState& mail, HeaderField field) {
    LineSource& source = mail.source;
    MailFacts& facts = mail.facts;
    WalkPosition& walk = mail.walk;
    if (field == HeaderField::ReturnPath) {
        TakeReturnPath(source.line, facts, true);
        if (facts.return_path_found) walk.MoveTo(WalkState::SenderSeen, WalkState::TopHeader);
        return Step::Next;
    }
    if (field == HeaderField::From) {
        if (!TakeFromAsSender(source, facts)) return Step::Stop;
        walk.state = walk.AfterPartBody() ? WalkState::PartBody : WalkState::SenderSeen;
        return Step::Next;
    }
    if (!facts.boundary_found && ReadBoundary(source, facts.charset, mail.multipart, BoundarySlot::Main)) {
        facts.boundary_found = true;
        return Step::Next;
    }
    if (LineBeginsWith(source.line, u"X-Apparently-From:")) {
        TakeApparentlyFrom(source.line, facts);
    } else if (source.line[0] == 0 && walk.AfterPartBody()) {
        source.Unread();
        walk.MoveTo(WalkState::PartBody, WalkState::TopHeader);
    }
    return Step::Next;
}

Step SenderSeenLine(MailState& mail, HeaderField field) {
    MailFacts& facts = mail.facts;
    if (!facts.from_found && field == HeaderField::From && !TakeFromAddress(mail.source, facts))
        return Step::Stop;
    if (!facts.boundary_found)
        facts.boundary_found = ReadBoundary(mail.source, facts.charset, mail.multipart, BoundarySlot::Main);
    if (facts.boundary_found) mail.walk.MoveTo(WalkState::SeekBoundary, WalkState::SenderSeen);
    return Step::Next;
}

// The first boundary line of a group starts its first part, which is skipped (the body text)
// unless "/CO" is given; later ones start a part header.
void EnterGroup(MailState& mail, BoundarySlot slot) {
    mail.multipart.Inside(slot) = true;
    LookAheadCharset(mail.source, mail.facts.charset);
    mail.walk.MoveTo(mail.options->content_only ? WalkState::PartHeader : WalkState::SeekBoundary,
                     WalkState::SeekBoundary);
}

void StartPart(MultipartSlots& multipart, WalkPosition& walk, BoundarySlot slot) {
    multipart.Inside(slot) = false;
    multipart.SetCurrent(slot);
    walk.MoveTo(WalkState::PartHeader, WalkState::SeekBoundary);
}

// The main boundary: its first line after the top header starts the body text.
void MainBoundaryLine(MailState& mail, bool after_header) {
    mail.multipart.SetCurrent(BoundarySlot::Main);
    if (after_header && !mail.multipart.Inside(BoundarySlot::Main))
        EnterGroup(mail, BoundarySlot::Main);
    else
        StartPart(mail.multipart, mail.walk, BoundarySlot::Main);
}

// The first part of a related group is its HTML text.
void RelatedBoundaryLine(MultipartSlots& multipart, WalkPosition& walk, bool content_only,
                         bool after_header) {
    if (content_only || !after_header || multipart.Inside(BoundarySlot::Related)) {
        StartPart(multipart, walk, BoundarySlot::Related);
    } else {
        multipart.Inside(BoundarySlot::Related) = true;
        walk.CameFrom(WalkState::SeekBoundary);
    }
}

// Alternative sub-parts are never extracted: the group is only noted.
void AlternativeBoundaryLine(MailState& mail) {
    if (mail.facts.charset.empty()) LookAheadCharset(mail.source, mail.facts.charset);
    mail.multipart.Inside(BoundarySlot::Alternative) = true;
    mail.multipart.SetCurrent(BoundarySlot::Alternative);
    mail.walk.CameFrom(WalkState::SeekBoundary);
}

void MixedBoundaryLine(MailState& mail) {
    mail.multipart.SetCurrent(BoundarySlot::Mixed);
    if (mail.multipart.Inside(BoundarySlot::Mixed))
        StartPart(mail.multipart, mail.walk, BoundarySlot::Mixed);
    else
        EnterGroup(mail, BoundarySlot::Mixed);
}

// Between parts, the first boundary that the line holds decides.
Step SeekBoundaryLine(MailState& mail, HeaderField field) {
    const RunOptions& options = *mail.options;
    MultipartSlots& multipart = mail.multipart;
    const bool after_header = mail.walk.BoundaryJustLearnt();
    auto holds = [&](BoundarySlot slot) { return HoldsBoundary(mail.source.line, multipart.Boundary(slot)); };
    if (after_header && !mail.facts.from_found && field == HeaderField::From)
        return TakeFromAddress(mail.source, mail.facts) ? Step::Next : Step::Stop;
    if (holds(BoundarySlot::Main)) {
        MainBoundaryLine(mail, after_header);
    } else if (!options.no_inline && holds(BoundarySlot::Related)) {
        RelatedBoundaryLine(multipart, mail.walk, options.content_only, after_header);
    } else if (holds(BoundarySlot::Alternative) && after_header &&
               !multipart.Inside(BoundarySlot::Alternative)) {
        AlternativeBoundaryLine(mail);
    } else if (holds(BoundarySlot::AppleDouble)) {
        multipart.SetCurrent(BoundarySlot::AppleDouble);
        mail.walk.MoveTo(WalkState::PartHeader, WalkState::SeekBoundary);
    } else if (holds(BoundarySlot::Mixed)) {
        MixedBoundaryLine(mail);
    } else if (options.content_only && !multipart.container) {
        if (ReadBoundary(mail.source, mail.facts.charset, multipart, BoundarySlot::Main))
            multipart.SetCurrent(BoundarySlot::Main);
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
        if (!mail.multipart.Boundary(nested.slot).empty() || !LineHolds(mail.source.line, nested.type))
            continue;
        if (nested.slot == BoundarySlot::Mixed) mail.multipart.skip_blank_lines = false;
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
bool SeekParameterLine(LineSource& source, CharsetText& charset, std::u16string_view keyword,
                       bool& data_ended) {
    while (!(LineHolds(source.line, keyword) && LineHolds(source.line, u"="))) {
        if (!source.ReadNext()) {
            data_ended = true;
            return false;
        }
        if (!IsContinuationLine(source.line)) {
            source.Unread();
            return false;
        }
        TakeCharsetParameters(source.line, charset);
    }
    return true;
}

Step DecodeNameOfPart(MailState& mail, std::u16string_view keyword, bool only_when_unnamed) {
    LineSource& source = mail.source;
    PartFields& part = mail.part;
    bool data_ended = false;
    if (!SeekParameterLine(source, mail.facts.charset, keyword, data_ended))
        return data_ended ? Step::Stop : Step::Next;
    if (source.line[0] == 0) return Step::Next;
    if (only_when_unnamed && !part.part_name.empty() && !part.name_found) return Step::Next;
    HeaderReader reader{source, mail.facts.charset, mail.facts.japanese_mail, mail.options->full_width,
                        part.name_found};
    const NameParameter found =
        DecodePartName(reader, part.part_name, IsExtendedParameter(source.line, keyword));
    if (found.status == -1) return Step::Stop;
    if (found.decoded) part.name_found = false;
    return Step::Next;
}

// A Content-ID gives an inline part its name: the text between "<" and ">", converted.
Step TakeContentIdName(char16_t* line, const MailFacts& facts, PartFields& part) {
    char bytes[kLineCapacity];
    NarrowLine(line, bytes);
    std::string id;
    if (ExtractBetweenA(bytes, id, "<", ">") != 0) return Step::Stop;
    std::u16string name;
    ConvertToUnicode(id, name, facts.charset, 1, facts.japanese_mail);
    NormalizeNfc(name);
    part.part_name = name;
    if (name.empty())
        line[0] = 0;
    else
        part.name_found = true;
    return Step::Next;
}

// True when the line before the current one (the blank line) holds the part's own boundary: the
// part header was empty.
bool PartHeaderWasEmpty(const LineSource& source, const MultipartSlots& multipart) {
    char16_t before[kLineCapacity];
    source.PeekLineBefore(before);
    return HoldsBoundary(before, multipart.CurrentBoundary());
}

void EndOfPartHeader(MailState& mail) {
    const RunOptions& options = *mail.options;
    PartFields& part = mail.part;
    if (part.is_rfc822 && part.part_name.empty() && !options.forward_name.empty())
        part.part_name = options.forward_name + u".eml";
    const bool block_without_name = KindOf(part.mode).unnamed_part != NameSource::PartHeader;
    if (!part.part_name.empty() || block_without_name || OpensUnsavedMessage(mail)) {
        mail.source.Unread();
        mail.walk.MoveTo(WalkState::PartBody, WalkState::PartHeader);
        return;
    }
    // An unnamed part is skipped. An empty part header keeps the walk here, and so does "/CO".
    if (!PartHeaderWasEmpty(mail.source, mail.multipart) && !options.content_only) {
        part.ResetFlags();
        mail.multipart.Inside(BoundarySlot::Main) = true;
        mail.walk.state = WalkState::SeekBoundary;
    }
    mail.walk.CameFrom(WalkState::PartHeader);
}

// The sender fields of a top header that is read as the header of the mail's own content are
// taken as in the top header. True when the line was one of them.
bool TakeTopHeaderSender(MailState& mail, HeaderField field, Step& step) {
    LineSource& source = mail.source;
    MailFacts& facts = mail.facts;
    step = Step::Next;
    switch (field) {
    case HeaderField::ReturnPath:
        if (!facts.return_path_found) TakeReturnPath(source.line, facts, true);
        return true;
    case HeaderField::From:
        if (facts.from_found) return true;
        if (!(facts.return_path_found ? TakeFromAddress(source, facts) : TakeFromAsSender(source, facts)))
            step = Step::Stop;
        return true;
    case HeaderField::ApparentlyFrom:
        TakeApparentlyFrom(source.line, facts);
        return true;
    default:
        return false;
    }
}

Step PartHeaderLine(MailState& mail, HeaderField field) {
    MultipartSlots& multipart = mail.multipart;
    PartFields& part = mail.part;
    for (BoundarySlot slot : kSlotOrder)
        multipart.Inside(slot) = false;
    if (Step step; mail.walk.TopHeaderAsPartHeader() && TakeTopHeaderSender(mail, field, step)) return step;
    switch (field) {
    case HeaderField::ContentType: {
        size_t slash = part.content_type.find(u'/');
        part.sub_type = slash == std::u16string::npos ? u"unknown" : part.content_type.substr(slash + 1);
        part.is_rfc822 = BeginsNoCase(part.content_type, u"message/rfc822");
        TakeCharsetParameters(mail.source.line, mail.facts.charset);
        if (ReadNestedMultipart(mail)) return Step::Next;
        return DecodeNameOfPart(mail, u"name", true);
    }
    case HeaderField::ContentDisposition:
        if (DeclaresAttachment(mail.source.line)) part.is_attachment = true;
        return DecodeNameOfPart(mail, u"filename", false);
    case HeaderField::ContentTransferEncoding:
        TakeTransferEncoding(mail.source.line, part);
        return Step::Next;
    default:
        break;
    }
    std::u16string_view line(mail.source.line);
    if (!mail.options->no_inline && line.find(u"Content-ID:") != line.npos && part.part_name.empty()) {
        if (TakeContentIdName(mail.source.line, mail.facts, part) == Step::Stop) return Step::Stop;
    } else if (std::optional<BoundarySlot> slot = BoundaryOfLine(mail.source.line, multipart)) {
        multipart.SetCurrent(*slot);
        part.ResetFlags();
        part.part_name.clear();
    } else if (int unslotted = UnslottedOfLine(mail.source.line, multipart); unslotted >= 0) {
        multipart.current_unslotted = unslotted;
        part.ResetFlags();
        part.part_name.clear();
    } else if (IsBlankLine(mail.source.line)) {
        EndOfPartHeader(mail);
    }
    const bool in_main = multipart.Inside(BoundarySlot::Main);
    multipart.Inside(BoundarySlot::Alternative) = multipart.Inside(BoundarySlot::Related) =
        multipart.Inside(BoundarySlot::Mixed) = in_main;
    return Step::Next;
}

// The first data line shows that the part's header goes on after all. A part without a transfer
// encoding is data only when it is named text, or a named attachment (scripts send CSV, HTML and
// JSON reports as 7bit without saying so).
bool LooksLikeHeader(const char16_t* line, const PartFields& part, const MultipartSlots& multipart) {
    const bool unknown = part.mode == EncodingMode::Unknown;
    const HeaderField field = FieldOf(line);
    return field == HeaderField::ContentDisposition ||
           (unknown && field == HeaderField::ContentTransferEncoding) ||
           (unknown && !part.is_rfc822 &&
            (part.part_name.empty() ||
             (!part.is_attachment && !BeginsNoCase(part.content_type, u"text/plain")))) ||
           (part.mode == EncodingMode::Base64 && LineHolds(line, u"-") &&
            !HoldsBoundary(line, multipart.CurrentBoundary()));
}

// After a written part the next part header is read; the boundary line that ended the data
// starts it, as one met in the part header does. Every part is named by its own header only.
void ResumeAfterPart(MailState& mail, PartEnd end) {
    PartFields& part = mail.part;
    part.ResetFlags();
    part.sub_type.clear();
    part.content_type.clear();
    part.part_name.clear();
    if (end == PartEnd::AtBoundary || end == PartEnd::NotWritten) mail.source.Unread();
    mail.walk.MoveTo(WalkState::PartHeader, WalkState::PartBody);
}

Step PartBodyLine(MailState& mail, PartWriter& writer) {
    LineSource& source = mail.source;
    if (mail.options->date_mode) return Step::Stop;
    if (!source.ReadNext()) return Step::Stop;
    if (LooksLikeHeader(source.line, mail.part, mail.multipart)) {
        source.Unread();
        mail.walk.MoveTo(WalkState::PartHeader, WalkState::PartBody);
        return Step::Next;
    }
    if (mail.part.mode == EncodingMode::Unknown) mail.part.mode = ModeOfContentType(mail.part.content_type);
    for (;;) {
        const LineCursor data_start = source.Here();
        const PartEnd end = writer.Write(mail);
        if (end == PartEnd::Failed) return Step::Stop;
        if (end != PartEnd::Redecode) {
            ResumeAfterPart(mail, end);
            return Step::Next;
        }
        // Written again as base64, from the blank line that ends the part header: the line
        // before the first data line.
        mail.part.mode = EncodingMode::Base64;
        source.ReturnTo(data_start);
        source.StepBack(2);
        if (!source.ReadNext()) return Step::Stop;
    }
}

Step StateLine(MailState& mail, HeaderField field, PartWriter& writer) {
    switch (mail.walk.state) {
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
    const bool empty = mail.source.line[0] == 0;
    if (empty) mail.walk.top_header_ended = true;
    // The blank line that ends the top header of a multipart mail.
    if (empty && mail.walk.state == WalkState::TopHeader && mail.facts.boundary_found) {
        mail.walk.MoveTo(WalkState::SeekBoundary, WalkState::SenderSeen);
        return Step::EndPass;
    }
    // Blank lines between the parts of some mail programs' related groups.
    if (empty && mail.multipart.skip_blank_lines &&
        !SkipBlankRun(mail.source, mail.multipart, mail.walk.state))
        return Step::StopAtEnd;
    if (Step step = GatherMailFacts(mail.source, mail.facts, *mail.options); step != Step::Next) return step;
    const unsigned mentions = MultipartMentions(mail.source.line);
    if (Step step = NoteTopLevelType(mail.multipart, mail.facts, *mail.options, mentions); step != Step::Next)
        return step;
    RememberBoundaryOfType(mail, mentions);
    if (Step step = LearnNestedMultipart(mail, mentions); step != Step::Next) return step;
    HeaderField field = FieldOf(mail.source.line);
    NoteContentType(mail, field, mentions);
    if (Step step = CheckMissedBoundary(mail, field); step != Step::Next) return step;
    DetectInBodyBlock(mail);
    field = FieldOf(mail.source.line);
    TopLevelTransferEncoding(mail, field);
    return StateLine(mail, field, writer);
}

} // namespace

WalkEnd MimeWalk(MailState& mail, PartWriter& writer) {
    for (;;) {
        if (!mail.source.Take()) return WalkEnd::NoLineLeft;
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
            return mail.source.Ended() ? WalkEnd::InsideHeader : WalkEnd::Stopped;
        }
    }
}

} // namespace dornick
