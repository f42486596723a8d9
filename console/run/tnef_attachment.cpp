#include "console/run/tnef_attachment.h"

#include <cerrno>
#include <cstdio>

#include <unicode/ucnv.h>
#include <unicode/utf16.h>

#include "console/header/charset_conversion.h"
#include "console/header/icu_objects.h"
#include "console/header/nfc.h"
#include "console/header/sanitize_file_name.h"
#include "console/header/unique_file_name.h"
#include "console/run/deferred_mail.h"
#include "console/run/reported_calls.h"
#include "platform/async_writer.h"
#include "platform/codepage.h"
#include "platform/file_moves.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/unique_fd.h"

namespace dornick {
namespace {

constexpr int kAttempts = 1201;
constexpr size_t kNameUnits = 255;
// Seconds from 1601-01-01 (the container's calendar origin) to 1970-01-01.
constexpr int64_t kEpochOffset = 11644473600;

// The ICU converter for a code page of the container; null when ICU has none.
UConverter* CodePageConverter(int code_page) {
    std::string name;
    switch (code_page) {
    case 65001:
        name = "UTF-8";
        break;
    case 20127:
        name = "US-ASCII";
        break;
    case 50220:
    case 50221:
    case 50222:
        name = "ISO-2022-JP";
        break;
    case 20932:
    case 51932:
        name = "EUC-JP";
        break;
    case 874:
    case 932:
    case 936:
    case 949:
    case 950:
    case 1250:
    case 1251:
    case 1252:
    case 1253:
    case 1254:
    case 1255:
    case 1256:
    case 1257:
    case 1258:
        name = platform::CodePageConverterName(code_page);
        break;
    default:
        name = "cp" + std::to_string(code_page);
        break;
    }
    UErrorCode status = U_ZERO_ERROR;
    return CachedConverter(name, status);
}

// The bytes read in a code page, cut to a name's 255 units (a surrogate pair is not split).
std::u16string ReadInCodePage(std::string_view bytes, int code_page) {
    UConverter* converter = CodePageConverter(code_page == 0 ? platform::AnsiCodePage() : code_page);
    if (!converter) converter = CodePageConverter(platform::AnsiCodePage());
    std::u16string out;
    if (!converter || bytes.empty()) return out;
    // Every byte gives at most one unit: the buffer never overflows, whatever the title's length.
    out.resize(bytes.size() + 1);
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = ucnv_toUChars(converter, out.data(), static_cast<int32_t>(out.size()), bytes.data(),
                                   static_cast<int32_t>(bytes.size()), &status);
    // A converter that gives more units than bytes keeps what fitted.
    if (status == U_BUFFER_OVERFLOW_ERROR)
        length = static_cast<int32_t>(out.size());
    else if (U_FAILURE(status) || length < 0)
        length = 0;
    out.resize(static_cast<size_t>(length) < out.size() ? static_cast<size_t>(length) : out.size());
    if (out.size() > kNameUnits) {
        out.resize(kNameUnits);
        if (U16_IS_LEAD(out.back())) out.pop_back();
    }
    return out;
}

bool NeedsFallback(std::u16string_view name) {
    for (char16_t unit : name)
        if (unit == 0xFFFD || unit < 0x20 || unit == 0x7F) return true;
    return false;
}

// The detect argument: 1 when the low 32 bits of the file time, counted in 100 ns from 1601, are
// not zero.
int DetectArgument(const std::optional<std::time_t>* time) {
    if (!time || !*time) return 0;
    const uint64_t ticks = static_cast<uint64_t>(static_cast<int64_t>(**time) + kEpochOffset) * 10000000u;
    return static_cast<uint32_t>(ticks) != 0 ? 1 : 0;
}

void SetTimes(int fd, const TnefNaming& naming) {
    if (naming.time && *naming.time) platform::SetFileTimes(fd, **naming.time);
}

// Dates a file of the naming's folder by name, waiting while another process holds it.
void DateByName(const std::u16string& name, const TnefNaming& naming) {
    if (!naming.time || !*naming.time) return;
    platform::MappedFile file;
    if (platform::RetryWhileContended([&] {
            return platform::OpenSharedExisting(name, true, file, naming.folder.fd);
        }) == platform::OpenStatus::Ok)
        SetTimes(file.fd, naming);
    platform::CloseMappedFile(file);
}

} // namespace

int TnefCodePage(std::u16string_view charset) {
    if (charset.size() < 2) return 0;
    std::u16string_view digits = charset.substr(2);
    bool negative = false;
    if (!digits.empty() && (digits[0] == u'-' || digits[0] == u'+')) {
        negative = digits[0] == u'-';
        digits.remove_prefix(1);
    }
    int64_t value = 0;
    for (char16_t c : digits) {
        if (c < u'0' || c > u'9') break;
        value = value * 10 + (c - u'0');
        if (value > INT32_MAX) break;
    }
    if (value > INT32_MAX || value < 0) return 0;
    return negative ? -static_cast<int>(value) : static_cast<int>(value);
}

std::u16string TnefSafeName(std::string_view title, const TnefNaming& naming) {
    title = title.substr(0, title.find('\0'));
    std::u16string name = ReadInCodePage(title, TnefCodePage(naming.charset));
    if (NeedsFallback(name))
        (void)ConvertToUnicode(title, name, naming.charset, DetectArgument(naming.time),
                               naming.japanese_mail);
    (void)NormalizeNfc(name);
    SanitizeFileName(name, naming.full_width);
    return name;
}

int TnefWriteAttachment(std::string_view title, std::u16string& written_path, std::string_view data,
                        const TnefNaming& naming, std::u16string* safe_name) {
    const std::u16string safe = TnefSafeName(title, naming);
    if (safe_name) *safe_name = safe;
    return WriteNamedAttachment(safe, written_path, data, naming);
}

std::u16string UnicodeSafeName(std::u16string_view name, bool full_width) {
    std::u16string text(name.substr(0, kNameUnits));
    if (!text.empty() && U16_IS_LEAD(text.back())) text.pop_back();
    (void)NormalizeNfc(text);
    SanitizeFileName(text, full_width);
    return text;
}

int WriteNamedAttachment(const std::u16string& safe, std::u16string& written_path, std::string_view data,
                         const TnefNaming& naming) {
    written_path = safe;
    // Its files are created and moved by name: a worked-ahead mail waits for its turn instead.
    if (MustWaitForTurn()) {
        written_path.clear();
        return -1;
    }
    int overwrite = MakeOutputFileName(naming.folder, written_path, naming.content_type, u"");
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        int fd = -1, error = 0;
        const platform::CreateResult created =
            overwrite == 1 ? platform::CreateAlwaysFile(naming.folder.fd, written_path, fd, error)
                           : platform::CreateNewFile(naming.folder.fd, written_path, fd, error);
        if (created == platform::CreateResult::Created) {
            const platform::UniqueFd file(fd);
            // A write that fails (a full disk) leaves the file as far as it got, like any output file.
            (void)platform::WriteWhole(file.Get(), data);
            SetTimes(file.Get(), naming);
            return 0;
        }
        if (created != platform::CreateResult::Exists) break;
        // The name appeared between the test and the creation: take the next free one.
        written_path = safe;
        overwrite = MakeOutputFileName(naming.folder, written_path, naming.content_type, u"");
    }
    // Nothing was created: a later long name has no file to move.
    written_path.clear();
    return -1;
}

int TnefMoveToLongName(std::u16string name, std::u16string& written_path, const TnefNaming& naming) {
    if (written_path.empty() || name == written_path) return 0;
    const std::u16string safe = name;
    int overwrite = MakeOutputFileName(naming.folder, name, naming.content_type, u"");
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        // Never over a file that appeared meanwhile, unless the unique names have run out.
        const platform::MoveResult moved =
            platform::MoveFile(naming.folder.fd, written_path, name, overwrite == 1);
        if (moved == platform::MoveResult::Moved) {
            written_path = name;
            DateByName(written_path, naming);
            return 0;
        }
        if (moved == platform::MoveResult::Failed) return -1;
        name = safe;
        overwrite = MakeOutputFileName(naming.folder, name, naming.content_type, u"");
    }
    return -1;
}

} // namespace dornick
