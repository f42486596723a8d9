#pragma once
// One file out of a TNEF container: its name from the container's code page to a safe, unique
// Unicode name, its creation in the container's output folder, its bytes and its times; and the
// move of the last written file to the attachment's long file name.

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "console/header/unique_file_name.h"

namespace dornick {

/// What every file of one container is named and dated with.
struct TnefNaming {
    NameFolder folder{-1, nullptr};           ///< the open folder the files are made in
    std::u16string_view charset;              ///< "CP932" and the like; the code page follows "CP"
    std::u16string_view content_type;         ///< for MakeUniqueFileName; empty stand-alone
    const std::optional<std::time_t>* time{}; ///< the file time; none leaves the times as they are
    bool full_width = false;                  ///< "/CW"
    bool japanese_mail = false;               ///< JapaneseMailFlag
};

/// The code page number that follows the first two characters of the charset name; 0 (the
/// system's code page) when none does.
int TnefCodePage(std::u16string_view charset);

/// Title bytes (up to their first NUL) as a file name before it is made unique: read in the code
/// page, or by ConvertToUnicode when that reading holds U+FFFD or control characters, then composed
/// (NFC) and made safe. At most 255 units.
std::u16string TnefSafeName(std::string_view title, const TnefNaming& naming);

/// Writes one attachment into the naming's folder. `written_path` gets the name the file was
/// created under, or is emptied when it could not be created; `safe_name`, when given, the name
/// before it was made unique. 0 when written, -1 when not.
[[nodiscard]] int TnefWriteAttachment(std::string_view title, std::u16string& written_path,
                                      std::string_view data, const TnefNaming& naming,
                                      std::u16string* safe_name = nullptr);

/// A name given in Unicode as a file name before it is made unique: cut to 255 units (a surrogate
/// pair is not split), composed (NFC) and made safe.
std::u16string UnicodeSafeName(std::u16string_view name, bool full_width);

/// Writes one attachment under `safe` (a name already made safe), made unique in the naming's
/// folder; `written_path` as for TnefWriteAttachment. 0 when written, -1 when not.
[[nodiscard]] int WriteNamedAttachment(const std::u16string& safe, std::u16string& written_path,
                                       std::string_view data, const TnefNaming& naming);

/// Moves the file `written_path` to `name` (already made safe), kept unique, and dates it again.
/// `written_path` follows the move. 0 when moved or nothing was to be done, -1 on failure.
[[nodiscard]] int TnefMoveToLongName(std::u16string name, std::u16string& written_path,
                                     const TnefNaming& naming);

} // namespace dornick
