#include "console/header/encoded_words.h"

#include "console/decode/ascii_text.h"
#include "console/header/header_search.h"

namespace dornick {
namespace {

void AppendNarrowed(std::string& collected, std::u16string_view text) {
    AppendCollected(collected, NarrowUnits(text));
}

bool HoldsWordMarker(std::u16string_view text) {
    return FindNoCase(text, u"?B?") != kNotFound || FindNoCase(text, u"?Q?") != kNotFound;
}

// A word ends at the first of these that occurs after its encoding marker, tried in this order; the
// walk goes on after the closing "?=" or blank, and at a quote or ";", which end the value.
struct WordEnd {
    std::u16string_view delimiter;
    size_t skipped;
};
constexpr WordEnd kWordEnds[] = {{u"?=", 2}, {u" ", 1}, {u"\t", 1}, {u"\"", 0}, {u";", 0}};

// Walks the words of one line from `pos`; true when the value is complete on this line.
bool CollectLine(std::u16string_view line, size_t pos, bool quoted, EncodedWordForm form, bool continued,
                 std::string& collected) {
    const size_t first_word = line.find(u"=?");
    const QEscapeRule q_rule = form == EncodedWordForm::First ? QEscapeRule::Sum : QEscapeRule::Or;
    if (line.find(u"=?", pos) != kNotFound) {
        for (;;) {
            if (!HoldsWordMarker(line.substr(pos))) break;
            const size_t start = line.find(u"=?", pos);
            if (start == kNotFound) break;
            std::u16string_view text = line.substr(pos, start - pos);
            if (form == EncodedWordForm::Continuation || first_word < pos) text = TrimBlanks(text);
            // Folding blanks before the first word of a continuation line separate two words and
            // are not part of the name (RFC 2047, 6.2); kept, they would split a character.
            else if (continued && TrimBlanks(text).empty())
                text = {};
            AppendNarrowed(collected, text);
            pos = start;

            const std::u16string_view rest = line.substr(pos);
            const size_t b = FindNoCase(rest, u"?B?");
            const size_t q = FindNoCase(rest, u"?Q?");
            const bool base64 = b != kNotFound && (q == kNotFound || b < q);
            const size_t encoded = pos + (base64 ? b : q) + 3;
            size_t end = line.size();
            size_t next = line.size();
            for (const WordEnd& word_end : kWordEnds) {
                const size_t at = line.find(word_end.delimiter, encoded);
                if (at != kNotFound) {
                    end = at;
                    next = at + word_end.skipped;
                    break;
                }
            }
            std::string word;
            AppendNarrowed(word, line.substr(encoded, end - encoded));
            AppendCollected(collected, base64 ? DecodeBWord(word) : DecodeQWord(word, q_rule));
            pos = next;
            if (pos < line.size() && (line[pos] == u'"' || line[pos] == u';')) break;
            if (line.find(u"=?", pos) == kNotFound) break;
        }
    }
    if (pos >= line.size()) return false;
    std::u16string_view rest = line.substr(pos);
    const size_t cut = rest.find(quoted ? u'"' : u';');
    rest = TrimBlanks(rest.substr(0, cut));
    AppendNarrowed(collected, rest);
    // The closing quote (or the ";" after an unquoted value) ends the value, so that a parameter on
    // the next continuation line is not taken into the name.
    return cut != kNotFound || (form == EncodedWordForm::First && rest.empty());
}

} // namespace

void AppendCollected(std::string& collected, std::string_view bytes) {
    if (collected.size() >= kCollectedBytes) return;
    collected.append(bytes.substr(0, kCollectedBytes - collected.size()));
}

std::string DecodeBWord(std::string_view text) {
    std::string padded(text);
    while (padded.size() % 4 != 0)
        padded.push_back('=');
    std::string bytes(padded.size() / 4 * 3, '\0');
    // A character outside the alphabet counts as 0, so that damaged words still give their bytes;
    // a pad that cannot end the data makes the word nothing.
    const int decoded = Base64DecodeBlock(padded.data(), static_cast<int>(padded.size()),
                                          reinterpret_cast<uint8_t*>(bytes.data()));
    bytes.resize(decoded < 0 ? 0 : static_cast<size_t>(decoded));
    return bytes;
}

std::string DecodeQWord(std::string_view text, QEscapeRule rule) {
    std::string bytes(text.size(), '\0');
    bytes.resize(
        QpDecodeBlock(text.data(), text.size(), reinterpret_cast<uint8_t*>(bytes.data()), true, rule));
    return bytes;
}

int CollectEncodedWords(LineCursor& cursor, std::u16string_view line, size_t pos, bool quoted,
                        EncodedWordForm form, std::string& collected) {
    char16_t next[kLineCapacity];
    bool continued = form == EncodedWordForm::Continuation;
    for (;;) {
        if (CollectLine(line, pos, quoted, form, continued, collected)) return 0;
        const unsigned char* before = cursor.pos;
        if (ReadLineW(next, cursor) == 0) return -1;
        line = next;
        if (line.empty() || !IsBlank(line[0]) || TrimBlanks(line).empty()) {
            cursor.pos = before; // given back exactly, also when it is a piece of a long line
            return 0;
        }
        pos = 1;
        continued = true;
    }
}

} // namespace dornick
