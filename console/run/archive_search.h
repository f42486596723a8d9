#pragma once
// What a folder argument holds: ".eml" mails, containers, mbox files (known by their first line),
// Maildir folders (cur/ and new/, Maildir++ subfolders ".Name/"), MH folders (numbered files),
// Thunderbird folders (mbox files beside ".msf" indexes and ".sbd/" subfolders) and ".emlx" files.
// Links are never followed.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/paths.h"

namespace dornick {

enum class FoundKind {
    Mail,      ///< an ".eml" file, or a message file of a Maildir or MH folder
    Container, ///< a "winmail.dat"
    Mbox,      ///< a file whose first line begins with "From "
    Emlx,      ///< a byte-count line, the message, a property list
};

struct FoundFile {
    std::u16string path; ///< the folder argument + "/" + the path below it
    FoundKind kind = FoundKind::Mail;
    uint64_t size = 0;
};

/// Everything below the folder `root` that holds mail, in the order a run takes it: the entries of
/// each folder sorted by name (MH messages by number; a Maildir's new/ and cur/ together by name),
/// subfolders where they sort. False when `root` cannot be read; a subfolder that cannot be read
/// is passed over and named in `search`, and the folders `search` names are never entered.
bool FindArchiveFiles(std::u16string_view root, std::vector<FoundFile>& found,
                      platform::FolderSearch& search);

/// True for the name of a file that a mail server keeps beside the messages of a Maildir
/// ("dovecot*", "courierimap*", "maildirfolder").
bool IsMailServerFile(std::string_view name);
/// True for an MH message name: digits only, not starting with 0.
bool IsMhMessageName(std::string_view name);

/// Where the message of an ".emlx" file lies: after its byte-count line, as many bytes as it says
/// (no more than the file holds). False when the first line is no count.
bool EmlxMessageSpan(std::string_view start, uint64_t file_size, uint64_t& offset, uint64_t& length);

} // namespace dornick
