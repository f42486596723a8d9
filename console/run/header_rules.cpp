#include "console/run/header_rules.h"

#include "console/decode/ascii_text.h"
#include "console/header/header_search.h"
#include "console/header/mail_date.h"

namespace dornick {
namespace {

// The text between the "<" at `open` and the next ">" (or the line's end), trimmed.
std::u16string AddressAfter(std::u16string_view line, size_t open) {
    size_t close = line.find(u'>', open + 1);
    std::u16string address(
        line.substr(open + 1, close == std::u16string_view::npos ? line.npos : close - open - 1));
    TrimSpacesAndTabs(address);
    return address;
}

// The address of a "From:" line, read on to continuation lines while no "<" was met. The value of
// the first line is kept unless a line with "<" is found.
bool ExtractFrom(LineSource& source, std::u16string& out) {
    std::u16string_view line(source.line);
    std::u16string_view value = line.substr(5);
    if (value.size() < 2) return true;
    size_t open = line.find(u'<');
    if (open != line.npos && line.find(u'>', open) != line.npos) {
        out = AddressAfter(line, open);
    } else {
        std::u16string word(value);
        TrimSpacesAndTabs(word);
        out = word.substr(0, word.find(u' '));
    }
    while (std::u16string_view(source.line).find(u'<') == std::u16string_view::npos) {
        if (!source.ReadNext()) return false;
        if (!IsContinuationLine(source.line)) {
            source.Unread(); // the walk looks at this line again
            return true;
        }
    }
    std::u16string_view found(source.line);
    out = AddressAfter(found, found.rfind(u'<'));
    return true;
}

// The first "Received:" line with a ";" gives the date text. A header whose first line has no ";"
// is joined with its continuation lines first.
bool TakeReceivedDate(LineSource& source, MailFacts& facts) {
    std::u16string joined(source.line);
    bool ended = false;
    // Many servers end the first line with the ";" and put the date on the next one: such a
    // header is joined too, or its date would be an empty text.
    size_t first_semicolon = joined.find(u';');
    if (first_semicolon == std::u16string::npos ||
        joined.find_first_not_of(u" \t", first_semicolon + 1) == std::u16string::npos) {
        bool soft_breaks = !joined.empty() && joined.back() == u'=';
        while (true) {
            if (soft_breaks && (joined.empty() || joined.back() != u'=')) break;
            if (!source.ReadNext()) {
                ended = true;
                break;
            }
            if (soft_breaks) {
                joined.pop_back();
            } else if (!IsBlank(source.line[0])) {
                source.Unread();
                break;
            }
            joined.append(source.line);
            if (joined.size() >= kTextLimit) {
                joined.resize(kTextLimit);
                break;
            }
        }
    }
    size_t semicolon = joined.find(u';');
    if (semicolon != std::u16string::npos) {
        std::u16string text = u"Date: " + joined.substr(semicolon + 1);
        if (text.size() > kTextLimit) text.resize(kTextLimit);
        if (FindNoCase(text, u"JST") != kNotFound || text.find(u"+0900") != std::u16string::npos)
            facts.japanese_mail = true;
        // Parsed from a copy: the text itself stays for a later "Date:" line and for date mode.
        std::u16string folder = text;
        platform::SystemTime ignored;
        const bool read = ParseMailDate(folder, ignored);
        facts.date_text = std::move(text);
        if (read) facts.date_found = true;
    }
    return !ended;
}

} // namespace

bool LineBeginsWith(const char16_t* line, std::u16string_view prefix) {
    for (size_t i = 0; i < prefix.size(); ++i)
        if (line[i] == 0 || AsciiUpper(line[i]) != AsciiUpper(prefix[i])) return false;
    return true;
}

bool LineHolds(const char16_t* line, std::u16string_view text) {
    return FindNoCase(line, text) != kNotFound;
}

void TrimSpacesAndTabs(std::u16string& text) {
    text = std::u16string(TrimBlanks(text));
}

bool IsContinuationLine(const char16_t* line) {
    if (line[0] == 0) return false;
    return IsBlank(line[0]) || std::u16string_view(line).find(u':') == std::u16string_view::npos;
}

void TakeReturnPath(const char16_t* text, MailFacts& facts, bool set_flag) {
    std::u16string_view line(text);
    size_t open = line.find(u'<');
    size_t close = open == line.npos ? line.npos : line.find(u'>', open + 1);
    std::u16string address(open != line.npos && close != line.npos ? line.substr(open + 1, close - open - 1)
                                                                   : line.substr(12));
    TrimSpacesAndTabs(address);
    facts.return_path = address;
    facts.sender = address;
    if (set_flag && !address.empty()) facts.return_path_found = true;
}

bool TakeFromAsSender(LineSource& source, MailFacts& facts) {
    bool more = ExtractFrom(source, facts.sender);
    facts.return_path_found = true;
    facts.from_found = true;
    return more;
}

bool TakeFromAddress(LineSource& source, MailFacts& facts) {
    bool more = ExtractFrom(source, facts.from_address);
    facts.from_found = true;
    return more;
}

void TakeApparentlyFrom(const char16_t* text, MailFacts& facts) {
    std::u16string_view line(text);
    static constexpr std::u16string_view kLabel = u"X-Apparently-From: <";
    size_t at = FindNoCase(line, kLabel);
    if (at == kNotFound) return;
    facts.apparently_from = AddressAfter(line, at + kLabel.size() - 1);
}

bool TakeDate(LineSource& source, MailFacts& facts) {
    if (facts.date_found) return true;
    if (LineBeginsWith(source.line, u"Received:")) return TakeReceivedDate(source, facts);
    if (LineBeginsWith(source.line, u"Date:")) {
        facts.date_text.assign(source.line);
        facts.date_found = true;
    }
    return true;
}

void TakeCharset(const char16_t* text, MailFacts& facts) {
    std::u16string_view line(text);
    size_t at = FindNoCase(line, u"charset");
    if (at == kNotFound) return;
    size_t equals = line.find(u'=', at + 7);
    if (equals == line.npos) return;
    facts.charset.assign(line.substr(equals + 1, kCharsetLimit));
}

} // namespace dornick
