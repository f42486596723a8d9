#include "console/header/charset_conversion.h"

#include "console/decode/ascii_text.h"
#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/ucsdet.h>
#include <unicode/utf8.h>

#include <algorithm>

#include "console/header/file_extension.h"
#include "console/header/header_reader.h"
#include "console/header/header_search.h"
#include "console/header/icu_objects.h"
#include "console/header/icu_retry.h"
#include "platform/codepage.h"

namespace dornick {
namespace {

constexpr size_t kInputBytes = 8191;
constexpr size_t kOutputUnits = kNameCapacity - 1;
constexpr char16_t kReplacement = 0xFFFD;
constexpr unsigned char kEsc = 0x1B;
constexpr int kShiftJisCodePage = 932;

constexpr char16_t kToUCharsMessage[] =
    u"uconvconvert(ucnv_toUChars)内でエラーが発生しました。 : %hs\n再起動中...\n";

bool HasReplacement(std::u16string_view text) {
    return text.find(kReplacement) != std::u16string_view::npos;
}

// Output that the next fallback should replace.
bool IsRejected(std::u16string_view text) {
    return HasReplacement(text) || !HasNoControlW(text);
}

enum class Outcome { Converted, UnknownName, Failed };

// One conversion by converter name into at most 255 units; a longer result is cut, its extension
// kept. With `examined` the ICU status counts: a failure is retried by the rule. A result too long
// for the name is no failure: the first call learns its length, and a second one takes it whole
// before it is cut. `status` gets the conversion's own status.
Outcome ConvertNamed(const std::string& name, std::string_view bytes, std::u16string& out, bool examined,
                     UErrorCode* conversion_status = nullptr) {
    out.clear();
    UErrorCode status = U_ZERO_ERROR;
    UConverter* converter = CachedConverter(name, status);
    // A name that cannot be opened (unknown, its data missing, options ICU rejects) is as good as
    // unknown: the detector reads the bytes. Only a shortage of memory fails the conversion.
    if (!converter) return IsLastingIcuFailure(status) ? Outcome::UnknownName : Outcome::Failed;
    UChar buffer[kNameCapacity];
    UChar* target = buffer;
    int32_t capacity = kNameCapacity;
    std::u16string whole;
    int32_t length = 0;
    // ucnv_toUChars resets the converter first, so a cached one starts from its initial state.
    auto convert = [&](UErrorCode& s) {
        length =
            ucnv_toUChars(converter, target, capacity, bytes.data(), static_cast<int32_t>(bytes.size()), &s);
    };
    auto run = [&] {
        if (examined)
            status = RetryIcuCall(kToUCharsMessage, convert);
        else
            convert(status = U_ZERO_ERROR);
    };
    run();
    // A result of exactly 256 units has no room for the terminator: it is taken whole as well.
    if (length >= kNameCapacity) {
        whole.resize(static_cast<size_t>(length) + 1);
        target = whole.data();
        capacity = length + 1;
        run();
    }
    if (conversion_status) *conversion_status = status;
    out.assign(target, static_cast<size_t>(std::clamp<int32_t>(length, 0, capacity - 1)));
    CutKeepingExtension(out, kOutputUnits);
    if (!examined) return Outcome::Converted;
    return U_FAILURE(status) ? Outcome::Failed : Outcome::Converted;
}

// Bytes read as a Windows code page would read them: no status is examined and nothing is retried.
void ConvertCodePage(int code_page, std::string_view bytes, std::u16string& out) {
    ConvertNamed(platform::CodePageConverterName(code_page), bytes, out, false);
}

void ConvertAnsi(std::string_view bytes, std::u16string& out) {
    ConvertCodePage(platform::AnsiCodePage(), bytes, out);
}

// The charset text as a converter name: up to the first ";", inside the first pair of quotes, without
// blanks, quotes and a trailing ";". ISO-2022-JP is upper-cased, GB2312 is read as its superset GBK.
std::string CleanCharsetName(std::u16string_view raw) {
    std::u16string name(raw.substr(0, raw.find(u';')));
    if (size_t quote = name.find(u'"'); quote != std::u16string::npos)
        name.resize(std::min(name.size(), name.find(u'"', quote + 1)));
    std::erase_if(name, [](char16_t c) { return IsBlank(c) || c == u'"'; });
    if (!name.empty() && name.back() == u';') name.pop_back();
    if (FindNoCase(name, u"ISO-2022-JP") != kNotFound)
        for (char16_t& c : name)
            c = static_cast<char16_t>(u_toupper(c));
    if (FindNoCase(name, u"GB2312") != kNotFound) name = u"GBK";
    std::string bytes;
    bytes.reserve(name.size());
    for (char16_t c : name) {
        // No converter name has other characters; such a label is simply unknown.
        if (!IsPrintableAsciiUnit(c)) return "\x01";
        bytes.push_back(static_cast<char>(c));
    }
    return bytes;
}

class Conversion {
  public:
    Conversion(std::string_view input, std::u16string& out, bool japanese_mail, bool retry)
        : input_(input), work_(input), out_(out), japanese_mail_(japanese_mail), retry_(retry) {}

    int Run(std::u16string_view charset, int detect);

  private:
    enum class Detection { Done, NoMatch, Failed, Restarted };

    Detection Detect(std::u16string_view charset, int detect);
    // The ISO-2022-JP bytes that ICU rejected, read as Shift_JIS after rewriting the working copy.
    bool TryJisRoute(std::string_view name) {
        if (name != "ISO-2022-JP" || !LooksLikeJis(work_)) return false;
        JisToShiftJis(work_);
        ConvertCodePage(kShiftJisCodePage, work_, out_);
        return true;
    }
    int Again(std::u16string_view charset, int detect, bool retry) {
        return Conversion(input_, out_, japanese_mail_, retry).Run(charset, detect);
    }

    std::string_view input_;
    std::string work_; // JisToShiftJis rewrites this copy, never the caller's bytes
    std::u16string& out_;
    bool japanese_mail_;
    // Set for the self-calls that retry a rejected result; they make no further self-calls.
    bool retry_;
    bool detector_used_ = false;
    std::string last_match_;
};

int Conversion::Run(std::u16string_view charset, int detect) {
    out_.clear();
    if (input_.empty()) return 0;
    if (IsPrintableAsciiBytes(input_)) {
        out_.assign(input_.begin(), input_.end());
        CutKeepingExtension(out_, kOutputUnits);
        return 0;
    }
    if (charset.empty() && detect == 0) {
        ConvertNamed("UTF-8", input_, out_, false);
        if (IsRejected(out_)) ConvertAnsi(input_, out_);
        if (IsRejected(out_)) Again(u"", 1, false);
        return 0;
    }
    std::string name;
    if (!charset.empty()) {
        name = CleanCharsetName(charset);
        switch (ConvertNamed(name, work_, out_, true)) {
        case Outcome::UnknownName:
            // Not a character set ICU knows (also in a retry, where asking again could not help):
            // the detector decides, without a message.
            Again(u"", detect, retry_);
            return 0;
        case Outcome::Failed:
            return -1;
        case Outcome::Converted:
            break;
        }
    }
    if (charset.empty() || (HasReplacement(out_) && !TryJisRoute(name))) {
        switch (Detect(charset, detect)) {
        case Detection::Done:
            break;
        case Detection::Failed:
            return -1;
        case Detection::Restarted:
            return 0;
        case Detection::NoMatch:
            // Nothing the detector knows fits these bytes: the ANSI code page reads them, as it
            // does every text that no other reading fits.
            ConvertAnsi(input_, out_);
            return -1;
        }
    }

    // Japanese mail whose raw Shift_JIS the detector took for Cyrillic or a Western code page.
    if (!retry_ && japanese_mail_ && detector_used_ &&
        (last_match_ == "KOI8-R" || last_match_.starts_with("windows-")))
        ConvertCodePage(kShiftJisCodePage, input_, out_);
    if (!retry_ && !HasNoControlW(out_)) Again(u"", detect, true);
    if (HasReplacement(out_)) {
        ConvertAnsi(input_, out_);
        return -1;
    }
    return 0;
}

Conversion::Detection Conversion::Detect(std::u16string_view charset, int detect) {
    detector_used_ = true;
    UErrorCode status = U_ZERO_ERROR;
    UCharsetDetector* detector = CachedDetector(status);
    if (!detector) return Detection::Failed;
    status = RetryIcuCall(u"uconvconvert(ucsdet_setText)内でエラーが発生しました。 : %hs\n再起動中...\n",
                          [&](UErrorCode& s) { ucsdet_setText(detector, work_.c_str(), -1, &s); });
    if (U_FAILURE(status)) return Detection::Failed;
    const UCharsetMatch** matches = nullptr;
    int32_t count = 0;
    status = RetryIcuCall(u"uconvconvert(ucsdet_detectAll)内でエラーが発生しました。 : %hs\n再起動中...\n",
                          [&](UErrorCode& s) { matches = ucsdet_detectAll(detector, &count, &s); });
    // ICU reports a text that fits none of its charsets as U_INVALID_CHAR_FOUND.
    if (status == U_INVALID_CHAR_FOUND) return Detection::NoMatch;
    if (U_FAILURE(status)) return Detection::Failed;
    bool converted = false;

    for (int32_t i = 0; i < count; ++i) {
        const char* match_name = nullptr;
        status = RetryIcuCall(u"uconvconvert(ucsdet_getName)内でエラーが発生しました。 : %hs\n再起動中...\n",
                              [&](UErrorCode& s) { match_name = ucsdet_getName(matches[i], &s); });
        if (U_FAILURE(status) || !match_name) return Detection::Failed;
        last_match_ = match_name;
        if (FindNoCaseA(last_match_, "UTF-16") != kNotFound ||
            FindNoCaseA(last_match_, "UTF-32") != kNotFound)
            continue;
        UErrorCode conversion_status = U_ZERO_ERROR;
        switch (ConvertNamed(last_match_, work_, out_, true, &conversion_status)) {
        case Outcome::UnknownName:
            // The detector also names charsets ICU cannot convert (IBM424_rtl ...). The first time
            // the whole conversion starts again in retry mode, which accepts weaker matches; in retry
            // mode such a match is passed over.
            if (!retry_) {
                Again(charset, detect, true);
                return Detection::Restarted;
            }
            continue;
        case Outcome::Failed:
            return Detection::Failed;
        case Outcome::Converted:
            converted = true;
            break;
        }
        // The rewritten bytes stay for the later matches.
        if (HasReplacement(out_)) TryJisRoute(last_match_);
        if (!HasReplacement(out_) && (retry_ || conversion_status == U_ZERO_ERROR)) break;
    }
    return converted ? Detection::Done : Detection::NoMatch;
}

bool StartsWith(std::string_view bytes, size_t at, std::string_view sequence) {
    return bytes.size() - at >= sequence.size() && bytes.compare(at, sequence.size(), sequence) == 0;
}

} // namespace

int ConvertToUnicode(std::string_view input, std::u16string& output, std::u16string_view charset, int detect,
                     bool japanese_mail) {
    input = input.substr(0, std::min(input.find('\0'), kInputBytes));
    return Conversion(input, output, japanese_mail, false).Run(charset, detect);
}

size_t Utf8CutShortLength(std::string_view bytes) {
    const auto* text = reinterpret_cast<const uint8_t*>(bytes.data());
    const int32_t length = static_cast<int32_t>(bytes.size());
    bool several_bytes = false;
    int32_t at = 0;
    while (at < length) {
        const int32_t start = at;
        UChar32 c;
        U8_NEXT(text, at, length, c);
        if (c >= 0) {
            several_bytes = several_bytes || at - start > 1;
            continue;
        }
        // A sequence the end cut short: a lead byte and fewer trail bytes than it announces, each
        // of them valid, and nothing after them.
        const uint8_t lead = text[start];
        if (lead < 0xC2 || lead > 0xF4 || start + 1 + U8_COUNT_TRAIL_BYTES(lead) <= length) return 0;
        if (start + 1 < length) {
            const uint8_t first = text[start + 1];
            const bool valid = lead < 0xE0   ? false
                               : lead < 0xF0 ? U8_IS_VALID_LEAD3_AND_T1(lead, first)
                                             : U8_IS_VALID_LEAD4_AND_T1(lead, first);
            if (!valid) return 0;
            for (int32_t i = start + 2; i < length; ++i)
                if (!U8_IS_TRAIL(text[i])) return 0;
        }
        return several_bytes ? static_cast<size_t>(start) : 0;
    }
    return 0;
}

bool LooksLikeJis(std::string_view bytes) {
    static constexpr std::string_view kKanjiEscapes[] = {
        "\x1B$@", "\x1B$B", "\x1B$I", "\x1B$J", "\x1B$(D", "\x1B$(O", "\x1B$(P", "\x1B$(Q",
    };
    if (bytes.find(static_cast<char>(kEsc)) != std::string_view::npos) {
        for (std::string_view escape : kKanjiEscapes)
            if (bytes.find(escape) != std::string_view::npos) return true;
        return false;
    }
    return std::all_of(bytes.begin(), bytes.end(), [](char c) {
        const unsigned char b = static_cast<unsigned char>(c);
        return (b >= 0x20 && b <= 0x7E) || (b >= 0xA1 && b <= 0xDF);
    });
}

void JisToShiftJis(std::string& bytes) {
    const std::string_view in(bytes);
    std::string out;
    out.reserve(in.size());
    bool two_byte = false;
    size_t i = 0;
    const size_t n = in.size();
    // Consumes `sequence` when it stands at i and more than `more_than` bytes remain there.
    auto take = [&](std::string_view sequence, size_t more_than, bool mode) {
        if (i < n && n - i > more_than && StartsWith(in, i, sequence)) {
            i += sequence.size();
            two_byte = mode;
        }
    };
    while (i < n) {
        if (static_cast<unsigned char>(in[i]) == kEsc) {
            if (n - i > 3) {
                take("\x1B$@", 3, true);
                take("\x1B$B", 3, true);
                take("\x1B(B", 3, false);
                take("\x1B(J", 3, false);
            }
            take("\x1B$B", 0, true);
            take("\x1B$(D", 4, true);
            take("\x1B&@\x1B$B", 6, true);
            if (i >= n) break;
        }
        if (!two_byte) {
            out.push_back(in[i++]);
            continue;
        }
        if (i + 1 >= n) break; // half a pair at the end
        const unsigned j1 = static_cast<unsigned char>(in[i]);
        const unsigned j2 = static_cast<unsigned char>(in[i + 1]);
        i += 2;
        // Anything that is not a JIS X 0208 pair (a closing escape cut short, say) is dropped.
        if (j1 < 0x21 || j1 > 0x7E || j2 < 0x21 || j2 > 0x7E) continue;
        unsigned s1 = (j1 - 0x21) / 2 + 0x81;
        if (s1 > 0x9F) s1 += 0x40;
        unsigned s2;
        if (j1 % 2 == 1)
            s2 = j2 <= 0x5F ? j2 + 0x1F : j2 + 0x20;
        else
            s2 = j2 + 0x7E;
        out.push_back(static_cast<char>(s1));
        out.push_back(static_cast<char>(s2));
    }
    bytes = std::move(out);
}

} // namespace dornick
