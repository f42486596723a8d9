#include "console/header/unique_file_name.h"

#include <charconv>
#include <iterator>
#include <limits>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "console/header/file_extension.h"
#include "platform/folder_entries.h"
#include "platform/text.h"

namespace dornick {
namespace {

// The listing of `folder`, read again when names were last made in another folder.
FolderListing& ListingOf(NameFolder folder) {
    FolderListing& listing = *folder.listing;
    platform::FolderIdentity here;
    if (!platform::IdentifyFolder(folder.fd, here)) {
        listing.Forget();
        return listing;
    }
    if (listing.valid && listing.folder == here) return listing;
    listing.Forget();
    listing.folder = here;
    listing.valid = platform::ListFolder(folder.fd, listing.names);
    return listing;
}

// Length of the UTF-16 character that ends at `end` (a surrogate pair is one character).
size_t LastCharacterUnits(std::u16string_view text) {
    const size_t n = text.size();
    if (n >= 2 && (text[n - 1] & 0xFC00) == 0xDC00 && (text[n - 2] & 0xFC00) == 0xD800) return 2;
    return 1;
}

size_t CharacterBytes(std::u16string_view character) {
    if (character.size() == 2) return 4;
    const char16_t c = character[0];
    if (c < 0x80) return 1;
    if (c < 0x800) return 2;
    return 3; // also a lone surrogate, written as U+FFFD
}

// A name from a mail must stay one name in this folder, whoever called.
void KeepToOneComponent(std::u16string& name) {
    std::u16string plain;
    plain.reserve(name.size());
    for (char16_t c : name) {
        if (c == 0) continue;
        plain.push_back(c == u'/' ? u'_' : c);
    }
    if (plain.empty()) plain = u"_";
    if (plain == u"." || plain == u"..") plain.insert(0, u"_");
    name.swap(plain);
}

// The counted names stem_(n)_.ext of one name ("_(%I64u)_" before the extension), in the UTF-8 form
// that is looked up and in the UTF-16 form that is handed back. The stem is fitted once per number
// of digits, so that trying thousands of counters costs little more than the lookups.
class CountedNames {
  public:
    CountedNames(std::u16string_view stem, std::u16string_view extension)
        : stem_(stem), extension_(extension) {}

    const std::string& Native(uint64_t n) {
        Fit(n);
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
        native_.assign(prefix_native_);
        native_.append(digits, end);
        native_.append(suffix_native_);
        return native_;
    }
    std::u16string Wide(uint64_t n) {
        Fit(n);
        return prefix_ + platform::Ascii(std::to_string(n)) + suffix_;
    }

  private:
    void Fit(uint64_t n) {
        const size_t digits = std::to_string(n).size();
        if (digits == fitted_digits_) return;
        fitted_digits_ = digits;
        const bool mark = HasRtlText(stem_);
        std::u16string stem = stem_;
        std::u16string extension = extension_;
        FitToNameBytes(stem, extension,
                       std::size(kCounterOpen) - 1 + digits + std::size(kCounterClose) - 1 +
                           (mark ? kMarkBytes : 0));
        prefix_ = stem;
        if (HasRtlText(stem)) prefix_.push_back(kLeftToRightMark);
        prefix_ += kCounterOpen;
        suffix_ = kCounterClose + extension;
        prefix_native_ = platform::U16ToUtf8(prefix_);
        suffix_native_ = platform::U16ToUtf8(suffix_);
    }

    static constexpr char16_t kCounterOpen[] = u"_(";
    static constexpr char16_t kCounterClose[] = u")_";
    static constexpr size_t kMarkBytes = 3; // U+200E in UTF-8

    const std::u16string stem_;
    const std::u16string extension_;
    size_t fitted_digits_ = 0;
    std::u16string prefix_, suffix_;
    std::string prefix_native_, suffix_native_, native_;
};

} // namespace

bool HasRtlText(std::u16string_view name) {
    if (name.empty() || name.back() == kLeftToRightMark) return false;
    for (char16_t c : name)
        if ((c >= 0x0591 && c <= 0x05F4) || (c >= 0x0600 && c <= 0x06FF)) return true;
    return false;
}

size_t Utf8Size(std::u16string_view name) {
    size_t bytes = 0;
    for (size_t i = 0; i < name.size(); ++i) {
        const char16_t c = name[i];
        if ((c & 0xFC00) == 0xD800 && i + 1 < name.size() && (name[i + 1] & 0xFC00) == 0xDC00) {
            bytes += 4;
            ++i;
        } else {
            bytes += CharacterBytes(name.substr(i, 1));
        }
    }
    return bytes;
}

void FitToNameBytes(std::u16string& stem, std::u16string& extension, size_t reserved) {
    size_t bytes = Utf8Size(stem) + reserved + Utf8Size(extension);
    for (std::u16string* part : {&stem, &extension}) {
        while (bytes > kFileNameBytes && !part->empty()) {
            const size_t units = LastCharacterUnits(*part);
            bytes -= CharacterBytes(std::u16string_view(*part).substr(part->size() - units));
            part->resize(part->size() - units);
        }
    }
}

void FitOutputFileName(std::u16string& name, std::u16string_view mime_type, std::u16string_view suffix) {
    KeepToOneComponent(name);
    if (!mime_type.empty() && suffix.empty()) ApplyTypeExtension(name, mime_type);
    if (Utf8Size(name) > kFileNameBytes) {
        const size_t start = ExtensionStart(name);
        std::u16string stem = name.substr(0, start);
        std::u16string extension = name.substr(start);
        FitToNameBytes(stem, extension, 0);
        name = stem + extension;
    }
}

int MakeUniqueFileName(NameFolder folder, std::u16string& name, std::u16string_view mime_type,
                       std::u16string_view suffix) {
    FitOutputFileName(name, mime_type, suffix);
    const std::string native = platform::U16ToUtf8(name);
    if (native != folder.reserved && !platform::NativeNameTaken(folder.fd, native)) return 0;
    return FindFreeCountedName(folder, name, 1);
}

std::u16string CountedFileName(std::u16string_view name, uint64_t n) {
    const size_t start = ExtensionStart(name);
    return CountedNames(name.substr(0, start), name.substr(start)).Wide(n);
}

int FindFreeCountedName(NameFolder folder, std::u16string& name, uint64_t first) {
    const size_t start = ExtensionStart(name);
    CountedNames counted(std::u16string_view(name).substr(0, start), std::u16string_view(name).substr(start));
    FolderListing unkept; // without a listing of the run's, nothing is remembered
    FolderListing& listing = folder.listing ? ListingOf(folder) : unkept;
    uint64_t& memo = listing.next_counter[platform::U16ToUtf8(name)];
    for (uint64_t n = first > memo ? first : memo;; ++n) {
        const std::string& native = counted.Native(n);
        const bool known = listing.names.count(native) != 0;
        if (!known && !platform::NativeNameTaken(folder.fd, native)) {
            memo = n;
            name = counted.Wide(n);
            return 0;
        }
        if (!known) listing.names.insert(native);
        if (n == std::numeric_limits<uint64_t>::max()) {
            name = counted.Wide(n);
            return 1;
        }
    }
}

} // namespace dornick
