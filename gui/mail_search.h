#pragma once
// The search for mail files: the target folder and all its subfolders, any depth, each folder's
// entries in byte order of their names, never through "." or ".." and never into a linked folder.
// Besides single mails (".eml", ".emlx", ".msg") it finds what the console program reads as
// archives: mbox files (Thunderbird's included, whose ".msf" indexes are passed over), the messages
// of Maildir folders and of MH folders.

#include <functional>
#include <string_view>

#include <QString>

namespace tarnfield {

enum class SearchEnd { Finished, Stopped, RootUnreadable };

struct SearchCallbacks {
    /// Asked before every entry and after every subfolder (it waits on the run gate); false stops.
    std::function<bool()> mayGoOn;
    /// Called for every mail file or archive with its list form.
    std::function<void(QString&& entry)> take;
};

/// What a file's name alone says about it.
enum class NameKind {
    Mail,     ///< ".eml" (case-sensitive, as always), ".emlx" or ".msg": one message
    Index,    ///< a Thunderbird ".msf" index: never mail
    Numbered, ///< digits only: a message when its folder is an MH folder
    Unknown,  ///< an mbox when its first line begins with "From "
};
NameKind ClassifyName(std::string_view name);
/// True for names a Maildir keeps beside its messages (dovecot*, courierimap*, maildirfolder).
bool IsMaildirBookkeeping(std::string_view name);

/// Searches root; every file is reported as listPrefix + "/" + its path below root. Subfolders that
/// cannot be opened are passed over, and so are names that are not UTF-8 (no child could be given them).
SearchEnd SearchMailFiles(const QString& root, const QString& listPrefix, const SearchCallbacks& callbacks);

} // namespace tarnfield
