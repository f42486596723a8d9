#include "console/run/record_json.h"

#include <type_traits>

#include <unicode/utf16.h>

#include "platform/text.h"

namespace dornick {
namespace {

constexpr char kHex[] = "0123456789abcdef";

void AppendUnitEscape(std::string& out, char16_t unit) {
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4)
        out.push_back(kHex[(unit >> shift) & 0xF]);
}

// Valid Unicode goes through the library's own escaping (quotes, backslashes, controls).
void AppendEscapedUtf8(std::string& out, const std::string& utf8) {
    if (utf8.empty()) return;
    // Most texts (paths, types, digests) need no escape at all.
    bool plain = true;
    for (const char c : utf8)
        plain = plain && static_cast<unsigned char>(c) >= 0x20 && c != '"' && c != '\\';
    if (plain) {
        out += utf8;
        return;
    }
    const std::string quoted = nlohmann::json(utf8).dump();
    out.append(quoted, 1, quoted.size() - 2);
}

// The code point of a valid UTF-8 sequence at `at` and its length, 0 when none starts there.
size_t Utf8SequenceLength(std::string_view bytes, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) return 1;
    size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                    : lead >= 0xE0 && lead <= 0xEF ? 3
                    : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                   : 0;
    if (length == 0 || at + length > bytes.size()) return 0;
    for (size_t i = 1; i < length; ++i)
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
    // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
    if (lead == 0xE0 && byte(at + 1) < 0xA0) return 0;
    if (lead == 0xED && byte(at + 1) >= 0xA0) return 0;
    if (lead == 0xF0 && byte(at + 1) < 0x90) return 0;
    if (lead == 0xF4 && byte(at + 1) >= 0x90) return 0;
    return length;
}

// Lone surrogates cannot pass the parser: their escapes are taken out before it and put back after,
// through private-use stand-ins (U+F000..U+F7FF). A record that holds such a character itself
// and a lone surrogate reads the character back as a surrogate: the manifest's own texts
// (paths, names, subjects) hardly ever do.
constexpr char16_t kStandInBase = 0xF000;

// Printable ASCII without a quote or a backslash stands in JSON as it is: most texts of the
// records (paths, types, digests, addresses) are only that.
template <typename Unit> bool PlainAscii(std::basic_string_view<Unit> text) {
    for (const Unit unit : text) {
        const auto code = static_cast<std::make_unsigned_t<Unit>>(unit);
        if (code < 0x20 || code >= 0x80 || unit == Unit('"') || unit == Unit('\\')) return false;
    }
    return true;
}

} // namespace

void AppendJsonString(std::string& out, std::u16string_view text) {
    out.push_back('"');
    if (PlainAscii(text)) {
        out.append(text.begin(), text.end());
        out.push_back('"');
        return;
    }
    size_t run_start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (!U16_IS_SURROGATE(unit)) continue;
        if (U16_IS_LEAD(unit) && i + 1 < text.size() && U16_IS_TRAIL(text[i + 1])) {
            ++i;
            continue;
        }
        AppendEscapedUtf8(out, platform::U16ToUtf8(text.substr(run_start, i - run_start)));
        AppendUnitEscape(out, unit);
        run_start = i + 1;
    }
    AppendEscapedUtf8(out, platform::U16ToUtf8(text.substr(run_start)));
    out.push_back('"');
}

void AppendJsonBytes(std::string& out, std::string_view bytes) {
    out.push_back('"');
    if (PlainAscii(bytes)) {
        out.append(bytes);
        out.push_back('"');
        return;
    }
    std::string valid;
    for (size_t i = 0; i < bytes.size();) {
        const size_t length = Utf8SequenceLength(bytes, i);
        if (length == 0) {
            AppendEscapedUtf8(out, valid);
            valid.clear();
            AppendUnitEscape(out, static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(bytes[i])));
            ++i;
            continue;
        }
        valid.append(bytes, i, length);
        i += length;
    }
    AppendEscapedUtf8(out, valid);
    out.push_back('"');
}

namespace {

// The surrogate an escape at `at` ("\\uXXXX") names, or 0 for any other escape.
char16_t SurrogateEscape(const std::string& text, size_t at) {
    if (at + 6 > text.size() || text[at] != '\\' || text[at + 1] != 'u') return 0;
    unsigned value = 0;
    for (size_t i = at + 2; i < at + 6; ++i) {
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
        const size_t digit = std::string_view(kHex).find(c);
        if (digit == std::string_view::npos || c == 0) return 0;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    return U16_IS_SURROGATE(value) ? static_cast<char16_t>(value) : 0;
}

} // namespace

nlohmann::json ParseRecordLine(std::string_view line) {
    std::string text(line);
    // A surrogate escape that is not half of a pair becomes its stand-in; the escaped backslash
    // ("\\\\") is stepped over so that text after it is not taken for an escape.
    bool stood_in = false;
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '\\') continue;
        const char16_t unit = SurrogateEscape(text, i);
        if (unit == 0) {
            ++i;
            continue;
        }
        if (U16_IS_LEAD(unit) && U16_IS_TRAIL(SurrogateEscape(text, i + 6))) {
            i += 11;
            continue;
        }
        static constexpr char kStandInHex[] = "0123456789abcdef";
        const unsigned stand_in = kStandInBase + (unit - 0xD800);
        for (int digit = 0; digit < 4; ++digit)
            text[i + 2 + digit] = kStandInHex[(stand_in >> (12 - 4 * digit)) & 0xF];
        stood_in = true;
        i += 5;
    }
    nlohmann::json record = nlohmann::json::parse(text, nullptr, false);
    if (!record.is_object()) return nlohmann::json(nlohmann::json::value_t::discarded);
    if (stood_in) record["\x01stood_in"] = true;
    return record;
}

std::string RecordBytes(const nlohmann::json& record, const char* key) {
    if (!record.is_object()) return {};
    const auto found = record.find(key);
    return found != record.end() && found->is_string() ? found->get<std::string>() : std::string();
}

std::u16string RecordText(const nlohmann::json& record, const char* key) {
    if (!record.is_object()) return {};
    const auto found = record.find(key);
    if (found == record.end() || !found->is_string()) return {};
    std::u16string text = platform::Utf8ToU16(found->get_ref<const std::string&>());
    if (record.contains("\x01stood_in"))
        for (char16_t& unit : text)
            if (unit >= kStandInBase && unit < kStandInBase + 0x800)
                unit = static_cast<char16_t>(0xD800 + (unit - kStandInBase));
    return text;
}

void JsonKey(std::string& out, const char* key) {
    out += out.size() > 1 ? ",\"" : "\"";
    out += key;
    out += "\":";
}
void JsonText(std::string& out, const char* key, std::u16string_view value) {
    JsonKey(out, key);
    AppendJsonString(out, value);
}
void JsonBytes(std::string& out, const char* key, std::string_view value) {
    JsonKey(out, key);
    AppendJsonBytes(out, value);
}
void JsonNumber(std::string& out, const char* key, uint64_t value) {
    JsonKey(out, key);
    out += std::to_string(value);
}
void JsonNull(std::string& out, const char* key) {
    JsonKey(out, key);
    out += "null";
}

void JsonRecordStart(std::string& out, const char* type, std::u16string_view source, uint64_t message,
                     uint64_t offset) {
    JsonBytes(out, "type", type);
    JsonText(out, "source", source);
    JsonNumber(out, "message", message);
    JsonNumber(out, "offset", offset);
}

} // namespace dornick
