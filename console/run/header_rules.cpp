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
bool ExtractFrom(MailState& mail, std::u16string& out) {
    std::u16string_view line(mail.line);
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
    while (std::u16string_view(mail.line).find(u'<') == std::u16string_view::npos) {
        if (!ReadNextLine(mail)) return false;
        if (!IsContinuationLine(mail.line)) {
            mail.Unread(); // the walk looks at this line again
            return true;
        }
    }
    std::u16string_view found(mail.line);
    out = AddressAfter(found, found.rfind(u'<'));
    return true;
}

// The first "Received:" line with a ";" gives the date text. A header whose first line has no ";"
// is joined with its continuation lines first.
bool TakeReceivedDate(MailState& mail) {
    std::u16string joined(mail.line);
    bool ended = false;
    // Many servers end the first line with the ";" and put the date on the next one: such a
    // header is joined too, or its date would be an empty text.
    size_t first_semicolon = joined.find(u';');
    if (first_semicolon == std::u16string::npos ||
        joined.find_first_not_of(u" \t", first_semicolon + 1) == std::u16string::npos) {
        bool soft_breaks = !joined.empty() && joined.back() == u'=';
        while (true) {
            if (soft_breaks && (joined.empty() || joined.back() != u'=')) break;
            if (!ReadNextLine(mail)) {
                ended = true;
                break;
            }
            if (soft_breaks) {
                joined.pop_back();
            } else if (!IsBlank(mail.line[0])) {
                mail.Unread();
                break;
            }
            joined.append(mail.line);
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
            mail.japanese_mail = true;
        // Parsed from a copy: the text itself stays for a later "Date:" line and for date mode.
        std::u16string folder = text;
        platform::SystemTime ignored;
        const bool read = ParseMailDate(folder, ignored);
        mail.date_text = std::move(text);
        if (read) mail.date_found = true;
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

void TakeReturnPath(MailState& mail, bool set_flag) {
    std::u16string_view line(mail.line);
    size_t open = line.find(u'<');
    size_t close = open == line.npos ? line.npos : line.find(u'>', open + 1);
    std::u16string address(open != line.npos && close != line.npos ? line.substr(open + 1, close - open - 1)
                                                                   : line.substr(12));
    TrimSpacesAndTabs(address);
    mail.return_path = address;
    mail.sender = address;
    if (set_flag && !address.empty()) mail.return_path_found = true;
}

bool TakeFromAsSender(MailState& mail) {
    bool more = ExtractFrom(mail, mail.sender);
    mail.return_path_found = true;
    mail.from_found = true;
    return more;
}

bool TakeFromAddress(MailState& mail) {
    bool more = ExtractFrom(mail, mail.from_address);
    mail.from_found = true;
    return more;
}

void TakeApparentlyFrom(MailState& mail) {
    std::u16string_view line(mail.line);
    static constexpr std::u16string_view kLabel = u"X-Apparently-From: <";
    size_t at = FindNoCase(line, kLabel);
    if (at == kNotFound) return;
    mail.apparently_from = AddressAfter(line, at + kLabel.size() - 1);
}

bool TakeDate(MailState& mail) {
    if (mail.date_found) return true;
    if (LineBeginsWith(mail.line, u"Received:")) return TakeReceivedDate(mail);
    if (LineBeginsWith(mail.line, u"Date:")) {
        mail.date_text.assign(mail.line);
        mail.date_found = true;
    }
    return true;
}

void TakeCharset(MailState& mail) {
    std::u16string_view line(mail.line);
    size_t at = FindNoCase(line, u"charset");
    if (at == kNotFound) return;
    size_t equals = line.find(u'=', at + 7);
    if (equals == line.npos) return;
    mail.charset.assign(line.substr(equals + 1, kCharsetLimit));
}

} // namespace dornick
