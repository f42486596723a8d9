#include "console/run/mime_walk.h"

#include "console/decode/begin_base64.h"
#include "console/decode/part_boundary.h"
#include "console/header/boundary_charset.h"
#include "console/header/charset_conversion.h"
#include "console/header/header_search.h"
#include "console/header/name_parameter.h"
#include "console/header/nfc.h"
#include "console/header/sanitize_file_name.h"
#include "console/header/unique_file_name.h"
#include "console/run/header_rules.h"
#include "console/run/part_output.h"
#include "console/run/reported_calls.h"

namespace dornick {
namespace {

constexpr std::u16string_view kFileNameCharset = u"filenamecharset";
constexpr size_t kNameSuffixValueLimit = 16;

// Boundaries are found as case-sensitive substrings; an empty one never matches.
bool HoldsBoundary(const char16_t* line, const std::u16string& boundary) {
    return !boundary.empty() && std::u16string_view(line).find(boundary) != std::u16string_view::npos;
}

void MoveTo(MailState& mail, WalkState next, WalkState previous) {
    mail.previous = previous;
    mail.state = next;
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

bool ContentTypeBegins(const MailState& mail, std::u16string_view prefix) {
    return mail.content_type.size() >= prefix.size() &&
           FindNoCase(std::u16string_view(mail.content_type).substr(0, prefix.size()), prefix) == 0;
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

// The reading position and the current line, put back when the look ahead is over.
class LookAhead {
  public:
    explicit LookAhead(MailState& mail)
        : mail_(mail), cursor_(mail.cursor), line_(mail.line), line_length_(mail.line_length) {}
    ~LookAhead() {
        mail_.cursor = cursor_;
        std::copy(line_.begin(), line_.end(), mail_.line);
        mail_.line[line_.size()] = 0;
        mail_.line_length = line_length_;
    }
    LookAhead(const LookAhead&) = delete;
    LookAhead& operator=(const LookAhead&) = delete;

  private:
    MailState& mail_;
    LineCursor cursor_;
    std::u16string line_;
    int line_length_;
};

// Looks at the lines after the current one for a charset parameter without consuming them.
void LookAheadCharset(MailState& mail) {
    LookAhead restore(mail);
    while (ReadNextLine(mail)) {
        if (TakeCharsetParameter(mail.line, mail.charset)) break;
        if (mail.line[0] == 0) break;
        if (!IsBlank(mail.line[0]) && std::u16string_view(mail.line).find(u':') != std::u16string_view::npos)
            break;
    }
}

EncodingMode ModeFromTransferEncoding(MailState& mail) {
    std::u16string_view line(mail.line);
    std::u16string_view value = line.substr(line.find(u':') + 1);
    mail.is_tnef = false;
    mail.is_gzip64 = false;
    mail.name_suffix.clear();
    auto has = [&](std::u16string_view text) { return FindNoCase(value, text) != kNotFound; };
    if (has(u"base64")) return EncodingMode::Base64;
    if (has(u"quoted-printable")) return EncodingMode::QuotedPrintable;
    if (has(u"7bit") || has(u"8bit") || has(u"binary")) {
        if (ContentTypeBegins(mail, u"application/x-uuencode")) return EncodingMode::Uuencode;
        if (ContentTypeBegins(mail, u"application/mac-binhex40")) return EncodingMode::BinHex;
        return EncodingMode::PlainCopy;
    }
    if (has(u"uu")) return EncodingMode::Uuencode;
    if (has(u"xx")) return EncodingMode::Xxencode;
    if (has(u"binhex")) return EncodingMode::BinHex;
    if (has(u"gzip64")) {
        mail.is_gzip64 = true;
        return EncodingMode::Base64;
    }
    std::u16string_view shown = TrimBlanks(TrimBlanks(value).substr(0, kNameSuffixValueLimit));
    mail.name_suffix = u".(" + std::u16string(shown) + u").txt";
    return EncodingMode::PlainCopy;
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

enum class Step { Next, EndPass, Stop };

// Reads on until a line holds `keyword` and "=": continuation lines are searched for charsets on
// the way; any other line is handed back to the loop. True when such a line is current.
bool SeekParameterLine(MailState& mail, std::u16string_view keyword, bool& data_ended) {
    while (!(LineHolds(mail.line, keyword) && LineHolds(mail.line, u"="))) {
        if (!ReadNextLine(mail)) {
            data_ended = true;
            return false;
        }
        if (!IsContinuationLine(mail.line)) {
            mail.line_pending = true;
            return false;
        }
        TakeCharsetParameters(mail);
    }
    return true;
}

// A "begin-base64" block in a text body: its name comes from the marker line.
bool DetectInBodyBlock(MailState& mail) {
    PartBoundary boundary(Boundary(mail, mail.current_boundary));
    if (!DetectBeginBase64(mail.line, mail.cursor, boundary)) return false;
    char bytes[kLineCapacity];
    NarrowLine(BeginBase64Name(mail.line), bytes);
    bool known_mail = mail.return_path_found || mail.from_found || mail.date_found || mail.boundary_found;
    std::u16string name;
    ConvertToUnicode(bytes, name, mail.charset, known_mail ? 1 : 0, mail.japanese_mail);
    NormalizeNfc(name);
    SanitizeFileName(name, mail.options->full_width);
    if (!known_mail) MakeOutputFileName(name, u"", u"");
    mail.part_name = name;
    mail.mode = EncodingMode::Base64;
    mail.state = WalkState::PartBody;
    mail.line[0] = 0;
    return true;
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
        LookAhead restore(mail);
        while (!found && ReadNextLine(mail) && IsContinuationLine(mail.line))
            found = names_a_file();
    }
    if (found) MoveTo(mail, WalkState::PartHeader, mail.state);
}

// A boundary line passed unseen: step back to the last line that holds the main or the nested
// mixed boundary and read the part from the line after it.
Step RecoverMissedBoundary(MailState& mail) {
    char16_t line[kLineCapacity];
    const unsigned char* at = StepBackLines(mail.cursor, 1); // the start of the current line
    while (at != mail.cursor.start) {
        mail.cursor.pos = at;
        at = StepBackLines(mail.cursor, 1);
        ReadLineW(line, mail.cursor);
        bool main = HoldsBoundary(line, mail.main_boundary);
        if (main || HoldsBoundary(line, mail.mixed_boundary)) {
            mail.current_boundary = main ? BoundarySlot::Main : BoundarySlot::Mixed;
            MoveTo(mail, WalkState::PartHeader, WalkState::SeekBoundary);
            return Step::EndPass;
        }
    }
    return Step::Stop;
}

Step TopHeaderLine(MailState& mail) {
    if (LineBeginsWith(mail.line, u"Return-Path:")) {
        TakeReturnPath(mail, true);
        if (mail.return_path_found) MoveTo(mail, WalkState::SenderSeen, WalkState::TopHeader);
        return Step::Next;
    }
    if (LineBeginsWith(mail.line, u"From:")) {
        if (!TakeFromAsSender(mail)) return Step::Stop;
        mail.state = mail.previous == WalkState::PartBody ? WalkState::PartBody : WalkState::SenderSeen;
        return Step::Next;
    }
    if (!mail.boundary_found) {
        HeaderReader reader = ReaderOf(mail);
        if (CollectBoundaryAndCharset(reader, mail.main_boundary) == 1) {
            mail.boundary_found = true;
            return Step::Next;
        }
    }
    if (LineBeginsWith(mail.line, u"X-Apparently-From:")) {
        TakeApparentlyFrom(mail);
    } else if (mail.line[0] == 0 && mail.previous == WalkState::PartBody) {
        mail.line_pending = true;
        MoveTo(mail, WalkState::PartBody, WalkState::TopHeader);
    }
    return Step::Next;
}

Step SenderSeenLine(MailState& mail) {
    if (!mail.from_found && LineBeginsWith(mail.line, u"From:") && !TakeFromAddress(mail)) return Step::Stop;
    if (!mail.boundary_found) {
        HeaderReader reader = ReaderOf(mail);
        mail.boundary_found = CollectBoundaryAndCharset(reader, mail.main_boundary) == 1;
    }
    if (mail.boundary_found) MoveTo(mail, WalkState::SeekBoundary, WalkState::SenderSeen);
    return Step::Next;
}

Step SeekBoundaryLine(MailState& mail) {
    const RunOptions& options = *mail.options;
    const bool after_header = mail.previous == WalkState::SenderSeen;
    if (after_header && !mail.from_found && LineBeginsWith(mail.line, u"From:")) {
        return TakeFromAddress(mail) ? Step::Next : Step::Stop;
    }
    if (HoldsBoundary(mail.line, mail.main_boundary)) {
        mail.current_boundary = BoundarySlot::Main;
        if (after_header && !mail.in_main) {
            // The first part after the top header is the mail's own text: skipped unless "/CO".
            mail.in_main = true;
            LookAheadCharset(mail);
            MoveTo(mail, options.content_only ? WalkState::PartHeader : WalkState::SeekBoundary,
                   WalkState::SeekBoundary);
        } else {
            mail.in_main = false;
            MoveTo(mail, WalkState::PartHeader, WalkState::SeekBoundary);
        }
        return Step::Next;
    }
    if (!options.no_inline && HoldsBoundary(mail.line, mail.related_boundary)) {
        if (options.content_only || !after_header || mail.in_related) {
            mail.in_related = false;
            mail.current_boundary = BoundarySlot::Related;
            MoveTo(mail, WalkState::PartHeader, WalkState::SeekBoundary);
        } else {
            mail.in_related = true; // the first part of a related group is its HTML text
            mail.previous = WalkState::SeekBoundary;
        }
        return Step::Next;
    }
    if (HoldsBoundary(mail.line, mail.alternative_boundary) && after_header && !mail.in_alternative) {
        if (mail.charset.empty()) LookAheadCharset(mail);
        mail.in_alternative = true;
        mail.current_boundary = BoundarySlot::Alternative;
        mail.previous = WalkState::SeekBoundary;
        return Step::Next;
    }
    if (HoldsBoundary(mail.line, mail.appledouble_boundary)) {
        mail.current_boundary = BoundarySlot::AppleDouble;
        MoveTo(mail, WalkState::PartHeader, WalkState::SeekBoundary);
        return Step::Next;
    }
    if (HoldsBoundary(mail.line, mail.mixed_boundary)) {
        mail.current_boundary = BoundarySlot::Mixed;
        if (mail.in_mixed) {
            mail.in_mixed = false;
            MoveTo(mail, WalkState::PartHeader, WalkState::SeekBoundary);
        } else {
            mail.in_mixed = true;
            LookAheadCharset(mail);
            MoveTo(mail, options.content_only ? WalkState::PartHeader : WalkState::SeekBoundary,
                   WalkState::SeekBoundary);
        }
        return Step::Next;
    }
    if (options.content_only && !mail.container) {
        HeaderReader reader = ReaderOf(mail);
        if (CollectBoundaryAndCharset(reader, mail.main_boundary) == 1)
            mail.current_boundary = BoundarySlot::Main;
    }
    return Step::Next;
}

// A nested multipart's boundary goes into its slot, and the walk looks for it.
void TakeNestedBoundary(MailState& mail, std::u16string& boundary) {
    HeaderReader reader = ReaderOf(mail);
    CollectBoundaryAndCharset(reader, boundary);
    MoveTo(mail, WalkState::SeekBoundary, WalkState::SenderSeen);
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
        std::u16string& boundary = Boundary(mail, nested.slot);
        if (!boundary.empty() || !LineHolds(mail.line, nested.type)) continue;
        if (nested.slot == BoundarySlot::Mixed) mail.skip_blank_lines = false;
        TakeNestedBoundary(mail, boundary);
        return true;
    }
    return false;
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

void EndOfPartHeader(MailState& mail) {
    const RunOptions& options = *mail.options;
    if (mail.is_rfc822 && mail.part_name.empty() && !options.forward_name.empty())
        mail.part_name = options.forward_name + u".eml";
    const bool block_without_name = mail.mode == EncodingMode::Uuencode ||
                                    mail.mode == EncodingMode::Xxencode || mail.mode == EncodingMode::BinHex;
    if (!mail.part_name.empty() || block_without_name) {
        mail.line_pending = true;
        MoveTo(mail, WalkState::PartBody, WalkState::PartHeader);
        return;
    }
    // An unnamed part is skipped. An empty part header (the line before the blank line is the
    // boundary itself) keeps the walk here, and so does "/CO".
    LineCursor saved = mail.cursor;
    char16_t before[kLineCapacity];
    StepBackLines(mail.cursor, 2);
    ReadLineW(before, mail.cursor);
    mail.cursor = saved;
    if (!HoldsBoundary(before, Boundary(mail, mail.current_boundary)) && !options.content_only) {
        ResetPartFlags(mail);
        mail.in_main = true;
        mail.state = WalkState::SeekBoundary;
    }
    mail.previous = WalkState::PartHeader;
}

Step PartHeaderLine(MailState& mail) {
    const RunOptions& options = *mail.options;
    mail.in_main = mail.in_alternative = mail.in_related = mail.in_mixed = false;
    if (LineBeginsWith(mail.line, u"Content-Type:")) {
        size_t slash = mail.content_type.find(u'/');
        mail.sub_type = slash == std::u16string::npos ? u"unknown" : mail.content_type.substr(slash + 1);
        mail.is_rfc822 = ContentTypeBegins(mail, u"message/rfc822");
        TakeCharsetParameters(mail);
        if (ReadNestedMultipart(mail)) return Step::Next;
        return DecodeNameOfPart(mail, u"name", true);
    }
    if (LineBeginsWith(mail.line, u"Content-Disposition:")) return DecodeNameOfPart(mail, u"filename", false);
    if (LineBeginsWith(mail.line, u"Content-Transfer-Encoding:")) {
        mail.mode = ModeFromTransferEncoding(mail);
        return Step::Next;
    }
    std::u16string_view line(mail.line);
    if (!options.no_inline && line.find(u"Content-ID:") != line.npos && mail.part_name.empty()) {
        if (TakeContentIdName(mail) == Step::Stop) return Step::Stop;
    } else if (BoundarySlot slot; FindBoundaryIn(mail, mail.line, slot)) {
        mail.current_boundary = slot;
        ResetPartFlags(mail);
        mail.part_name.clear();
    } else {
        bool blank = true;
        for (char16_t c : line)
            blank = blank && IsBlank(c);
        if (blank) EndOfPartHeader(mail);
    }
    mail.in_alternative = mail.in_related = mail.in_mixed = mail.in_main;
    return Step::Next;
}

Step PartBodyLine(MailState& mail) {
    if (mail.options->date_mode) return Step::Stop;
    if (!ReadNextLine(mail)) return Step::Stop;
    // The header goes on after all: the part is looked at again from this line.
    const bool unknown = mail.mode == EncodingMode::Unknown;
    bool header_like =
        LineBeginsWith(mail.line, u"Content-Disposition:") ||
        (unknown && LineBeginsWith(mail.line, u"Content-Transfer-Encoding:")) ||
        (unknown && !mail.is_rfc822 && (mail.part_name.empty() || !ContentTypeBegins(mail, u"text/plain"))) ||
        (mail.mode == EncodingMode::Base64 && LineHolds(mail.line, u"-") &&
         !HoldsBoundary(mail.line, Boundary(mail, mail.current_boundary)));
    if (header_like) {
        mail.line_pending = true;
        MoveTo(mail, WalkState::PartHeader, WalkState::PartBody);
        return Step::Next;
    }
    if (unknown) {
        if (ContentTypeBegins(mail, u"application/x-uuencode"))
            mail.mode = EncodingMode::Uuencode;
        else if (ContentTypeBegins(mail, u"application/mac-binhex40"))
            mail.mode = EncodingMode::BinHex;
    }
    for (;;) {
        switch (WritePart(mail)) {
        case PartWritten::Done:
            return Step::Next;
        case PartWritten::Stop:
            return Step::Stop;
        case PartWritten::Redecode:
            break;
        }
        if (!ReadNextLine(mail)) return Step::Stop;
    }
}

} // namespace

bool FindBoundaryIn(MailState& mail, const char16_t* line, BoundarySlot& slot) {
    for (BoundarySlot candidate : {BoundarySlot::Main, BoundarySlot::Alternative, BoundarySlot::Related,
                                   BoundarySlot::AppleDouble, BoundarySlot::Mixed}) {
        if (HoldsBoundary(line, Boundary(mail, candidate))) {
            slot = candidate;
            return true;
        }
    }
    return false;
}

WalkEnd MimeWalk(MailState& mail) {
    const RunOptions& options = *mail.options;
    for (;;) {
        // 1. The next line, unless the last one is to be looked at again.
        if (!mail.line_pending && !ReadNextLine(mail)) return WalkEnd::NoLineLeft;
        mail.line_pending = false;
        const bool empty = mail.line[0] == 0;

        // 2. The blank line that ends the top header of a multipart mail.
        if (empty && mail.state == WalkState::TopHeader && mail.boundary_found) {
            MoveTo(mail, WalkState::SeekBoundary, WalkState::SenderSeen);
            continue;
        }
        // 3. Blank lines between the parts of some mail programs' related groups.
        if (empty && mail.skip_blank_lines) {
            bool in_part = mail.state == WalkState::PartHeader || mail.state == WalkState::PartBody;
            bool inside = mail.in_main || mail.in_alternative || mail.in_related || mail.in_mixed;
            if (!in_part || inside) {
                do {
                    if (!ReadNextLine(mail)) return WalkEnd::NoLineLeft;
                } while (mail.line[0] == 0);
            }
        }
        // 4-6. Sender, charset and date, wherever they stand.
        if (options.content_only && !mail.return_path_found && LineBeginsWith(mail.line, u"Return-Path:"))
            TakeReturnPath(mail, false);
        if (!mail.boundary_found) TakeCharset(mail);
        if (!mail.date_found) {
            if (!TakeDate(mail)) return WalkEnd::InsideHeader;
            if (options.date_mode && !mail.date_text.empty()) return WalkEnd::Stopped;
            if (mail.line_pending) continue;
        }
        // 7. The kind of the top-level type.
        // Every type looked for below is a "multipart/" one: most lines hold none and are passed
        // over with one search.
        const bool multipart = LineHolds(mail.line, u"multipart/");
        if (!mail.container && multipart) {
            if ((!mail.boundary_found &&
                 (LineHolds(mail.line, u"multipart/mixed") || LineHolds(mail.line, u"multipart/signed") ||
                  LineHolds(mail.line, u"multipart/appledouble") ||
                  LineHolds(mail.line, u"multipart/related"))) ||
                (!options.forward_name.empty() && LineHolds(mail.line, u"multipart/report"))) {
                mail.container = true;
            } else if (options.no_inline && LineHolds(mail.line, u"multipart/alternative")) {
                return WalkEnd::NoLineLeft; // nothing of an alternative mail is extracted with "/NI"
            }
        }
        // 8. Nested multiparts met outside a part header.
        if (multipart && (mail.in_main || mail.in_related) && mail.alternative_boundary.empty() &&
            LineHolds(mail.line, u"multipart/alternative")) {
            TakeNestedBoundary(mail, mail.alternative_boundary);
            continue;
        }
        if (multipart && (mail.in_main || mail.in_alternative) && mail.related_boundary.empty() &&
            LineHolds(mail.line, u"multipart/related")) {
            TakeNestedBoundary(mail, mail.related_boundary);
            continue;
        }
        // 9. Content types; with "/CO" a top-level content that names a file.
        const bool content_type = LineBeginsWith(mail.line, u"Content-Type:");
        if (content_type) TakeContentType(mail);
        if (options.content_only && !mail.container && mail.state != WalkState::PartHeader &&
            (content_type || LineBeginsWith(mail.line, u"Content-Disposition:")) && !multipart)
            SeekNamedContent(mail);
        // 10. A part whose boundary line was passed unseen.
        if (mail.state == WalkState::SeekBoundary && mail.previous == WalkState::SeekBoundary &&
            !mail.skip_blank_lines && mail.related_boundary.empty()) {
            if (LineBeginsWith(mail.line, u"Content-Disposition:")) {
                if (RecoverMissedBoundary(mail) == Step::Stop) return WalkEnd::Stopped;
                continue;
            }
            if (mail.line[0] == 0) mail.skip_blank_lines = true;
        }
        // 11. Encoded blocks inside a text body.
        DetectInBodyBlock(mail);
        // 12. With "/CO", the transfer encoding of a top-level content.
        if (options.content_only && !mail.container && mail.state != WalkState::PartHeader &&
            mail.state != WalkState::PartBody && LineBeginsWith(mail.line, u"Content-Transfer-Encoding:"))
            mail.mode = ModeFromTransferEncoding(mail);

        // 13. The state's own handling.
        Step step = Step::Next;
        switch (mail.state) {
        case WalkState::TopHeader:
            step = TopHeaderLine(mail);
            break;
        case WalkState::SenderSeen:
            step = SenderSeenLine(mail);
            break;
        case WalkState::SeekBoundary:
            step = SeekBoundaryLine(mail);
            break;
        case WalkState::PartHeader:
            step = PartHeaderLine(mail);
            break;
        case WalkState::PartBody:
            step = PartBodyLine(mail);
            break;
        }
        if (step == Step::Stop) return mail.cursor.pos ? WalkEnd::Stopped : WalkEnd::InsideHeader;
    }
}

} // namespace dornick
