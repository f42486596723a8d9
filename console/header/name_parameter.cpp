#include "console/header/name_parameter.h"

#include <algorithm>

#include "console/decode/ascii_text.h"
#include "console/header/charset_conversion.h"
#include "console/header/encoded_words.h"
#include "console/header/header_search.h"
#include "console/header/nfc.h"
#include "console/header/rfc2231_segments.h"
#include "console/header/sanitize_file_name.h"

namespace dornick {
namespace {

constexpr std::u16string_view kUnknownValue = u"UNKNOWN_PARAMETER_VALUE";
constexpr size_t kLineUnits = kLineCapacity - 1;

// "filename" when the line has it with an "=" after it, else "name"; kNotFound when neither occurs.
// A "filename" without "=" is part of a value (name="my filename.txt") and must not hide the name.
template <typename Char, typename Find>
size_t FindParameterNameIn(std::basic_string_view<Char> line, Find find, const Char* filename,
                           const Char* name) {
    const size_t at = find(line, filename);
    if (at != kNotFound && line.find(Char('='), at) != kNotFound) return at;
    return find(line, name);
}

size_t FindParameterName(std::u16string_view line) {
    return FindParameterNameIn(line, FindNoCase, u"filename", u"name");
}

bool HoldsEncodedWord(std::string_view line) {
    return FindNoCaseA(line, "=?") != kNotFound &&
           (FindNoCaseA(line, "?B?") != kNotFound || FindNoCaseA(line, "?Q?") != kNotFound);
}

// The part of one line's text that belongs to a raw value; sets `ended` when the value ends here.
std::string_view RawValuePiece(std::string_view text, bool quoted, bool& ended) {
    size_t end = kNotFound;
    if (quoted) {
        // In 8-bit text a quote may be part of the name, so the end needs a quote before a blank or ";".
        if (IsPrintableAsciiBytes(text)) {
            end = text.find('"');
        } else {
            end = text.find("\" ");
            if (end == kNotFound) end = text.find("\";");
        }
        ended = end != kNotFound;
        return text.substr(0, end);
    }
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    ended = !text.empty() && text.back() == ';';
    if (text.find('=') != kNotFound) {
        // Another parameter follows on the line.
        end = text.find(';');
        if (end == kNotFound) end = text.find(' ');
    }
    return text.substr(0, end);
}

// A value of raw 8-bit text (no encoded word), possibly followed by encoded words on continuation
// lines; `value` is where it starts in the line. The raw part is converted into `name`; the words'
// bytes go to `encoded`. The value's place comes from the caller: a line that got its value from
// the next line may hold another "filename=" there, and looking for the parameter again would find
// that one (at the very end of the line, past the quote the caller saw).
int DecodeRawValue(const HeaderReader& reader, LineCursor& cursor, std::u16string_view line, size_t value,
                   bool quoted, std::u16string& name, std::string& encoded, std::u16string& word_charset) {
    std::string current = NarrowUnits(line);
    std::string_view text = std::string_view(current).substr(std::min(value, current.size()));
    std::string collected;
    bool ended = false;
    char next[kLineCapacity];
    for (;;) {
        AppendCollected(collected, RawValuePiece(text, quoted, ended));
        const unsigned char* before = cursor.pos;
        if (ReadLineA(next, cursor) == 0) return -1;
        const std::string_view following(next);
        if (ended || following.empty() || !IsBlank(static_cast<unsigned char>(following[0])) ||
            HoldsEncodedWord(following)) {
            cursor.pos = before;
            break;
        }
        current.assign(following);
        text = std::string_view(current).substr(1);
    }
    if (!collected.empty() && (collected.back() == ';' || collected.back() == '"')) collected.pop_back();
    if (const size_t kept = Utf8CutShortLength(collected); kept != 0) {
        // Raw UTF-8 whose last character the sender cut in half: the whole characters are the
        // name, before any detector can take the bytes for another character set.
        collected.resize(kept);
        ConvertToUnicode(collected, name, u"UTF-8", 1, reader.japanese_mail);
    } else if (ConvertToUnicode(collected, name, reader.charset, 1, reader.japanese_mail) == -1) {
        ConvertToUnicode(collected, name, u"", 1, reader.japanese_mail);
    }
    NormalizeNfc(name);
    if (ended) return 0;

    char16_t wide[kLineCapacity];
    const unsigned char* before = cursor.pos;
    if (ReadLineW(wide, cursor) == 0) return -1;
    const std::u16string_view continuation(wide);
    if (continuation.size() > 2 && IsBlank(continuation[0]) &&
        (FindNoCase(continuation.substr(2), u"?B?") != kNotFound ||
         FindNoCase(continuation.substr(2), u"?Q?") != kNotFound)) {
        ExtractBetween(continuation, word_charset, u"=?", u"?");
        return CollectEncodedWords(cursor, continuation, 1, quoted, EncodedWordForm::Continuation, encoded);
    }
    cursor.pos = before;
    return 0;
}

// Of the previous and the new name: a non-ASCII name beats an ASCII one, else the longer wins.
bool PreviousNameWins(std::u16string_view previous, std::u16string_view name) {
    const bool previous_ascii = IsPrintableAsciiW(previous);
    const bool new_ascii = IsPrintableAsciiW(name);
    if (previous_ascii != new_ascii) return new_ascii;
    return previous.size() > name.size();
}

// The parameter of `current`, read on with `cursor`.
NameParameter DecodeNameAt(const HeaderReader& reader, const char16_t* current, LineCursor& cursor,
                           std::u16string& name, bool extended) {
    std::u16string line(current);
    const size_t parameter = FindParameterName(line);
    if (parameter == kNotFound) return {};
    const size_t equals = line.find(u'=', parameter);
    if (equals == kNotFound) return {};

    std::u16string previous;
    previous.swap(name);

    // "name=" at the end of the line: the value stands on the next line.
    if (equals + 1 == line.size()) {
        char16_t next[kLineCapacity];
        if (ReadLineW(next, cursor) == 0) return {-1, false};
        const std::u16string_view value = TrimBlanks(next);
        if (line.size() + value.size() <= kLineUnits) line.append(value);
    }
    size_t blanks = equals + 1;
    while (blanks < line.size() && IsBlank(line[blanks]))
        ++blanks;
    line.erase(equals + 1, blanks - equals - 1);
    const bool quoted = equals + 1 < line.size() && line[equals + 1] == u'"';

    std::string encoded;
    std::u16string word_charset;
    int result = 0;
    if (extended) {
        result = CollectRfc2231Segments(cursor, NarrowUnits(line), parameter, encoded, word_charset);
    } else {
        const size_t value = equals + 1 + (quoted ? 1 : 0);
        const std::u16string_view text = std::u16string_view(line).substr(value);
        ExtractBetween(text, word_charset, u"=?", u"?");
        const bool has_words = text.size() > 1 && (FindNoCase(text.substr(1), u"?B?") != kNotFound ||
                                                   FindNoCase(text.substr(1), u"?Q?") != kNotFound);
        if (has_words)
            result = CollectEncodedWords(cursor, line, value, quoted, EncodedWordForm::First, encoded);
        else
            result = DecodeRawValue(reader, cursor, line, value, quoted, name, encoded, word_charset);
    }
    if (result < 0) return {result, false};

    if (!encoded.empty()) {
        std::u16string raw_part;
        raw_part.swap(name);
        std::u16string decoded;
        ConvertToUnicode(encoded, decoded, word_charset, 1, reader.japanese_mail);
        NormalizeNfc(decoded);
        name = std::move(raw_part);
        if (name.size() + decoded.size() < static_cast<size_t>(kNameCapacity)) name += decoded;
    }
    SanitizeFileName(name, reader.full_width_names);

    if (!reader.name_from_content_id && previous != kUnknownValue && PreviousNameWins(previous, name))
        name = previous;
    if (name == kUnknownValue && !previous.empty()) name = previous;
    return {0, true};
}

} // namespace

NameParameter DecodeNameParameter(const HeaderReader& reader, std::u16string& name, bool extended) {
    return reader.source.ReadOn([&](const char16_t* line, LineCursor& cursor) {
        return DecodeNameAt(reader, line, cursor, name, extended);
    });
}

} // namespace dornick
