#pragma once
// Expanding a TNEF container ("winmail.dat") into its attached files: stand-alone from the command
// line into the output folder, or after a mail part was stored, into "<name>(expand)" beside it.

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "console/header/unique_file_name.h"

namespace dornick {

class ContainerRecords;

/// Where a container is: `folder` is the open folder a relative `container_path` is taken in (and
/// beside which "(expand)" folders are made), `path` its path (for messages), `listing` the run's.
/// With records, `records` takes the files, and `record_folder` is the place's folder below the
/// output root ("" or ending "/").
struct TnefPlace {
    int folder;
    std::u16string_view path;
    FolderListing* listing;
    ContainerRecords* records = nullptr;
    std::u16string_view record_folder = {};
};

/// Expands the container at `container_path` into `output_folder` (a path taken against the place's
/// path), or, when that is empty, into the folder "<container_path>(expand)" beside the container
/// (removed again when nothing was written).
/// `charset` and `file_time` are the caller's: the container's code page ("CP%d") and its
/// attachments' modification date overwrite them, so that the next container starts from them.
/// -1 after an error (its message given), 0 when the file is no container, else 1 when at least one
/// attachment was handed on (written or not) and 0 when none.
[[nodiscard]] int TnefExpandFile(const TnefPlace& place, std::u16string_view container_path,
                                 std::u16string_view output_folder, std::u16string& charset,
                                 std::u16string_view content_type, std::optional<std::time_t>& file_time,
                                 bool full_width, bool japanese_mail);

} // namespace dornick
