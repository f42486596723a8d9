#include "console/run/archive_search.h"

#include <algorithm>

#include "platform/archive_file.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace dornick {
namespace {

bool EndsWithNoCase(std::string_view name, std::string_view ending) {
    if (name.size() < ending.size()) return false;
    name.remove_prefix(name.size() - ending.size());
    for (size_t i = 0; i < ending.size(); ++i) {
        char c = name[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != ending[i]) return false;
    }
    return true;
}

bool IsContainerName(std::string_view name) {
    return name.size() == 11 && EndsWithNoCase(name, "winmail.dat");
}

// The front end's rule for a mail: the name ends in ".eml" at its last dot.
bool IsEmlName(std::string_view name) {
    const size_t dot = name.rfind('.');
    return dot != std::string_view::npos && name.substr(dot) == ".eml";
}

std::u16string Join(std::u16string_view folder, std::string_view name) {
    std::u16string path(folder);
    if (!path.empty() && path.back() != u'/') path.push_back(u'/');
    return path + platform::PathFromNative(name);
}

bool HasFolder(const std::vector<platform::FolderEntry>& entries, std::string_view name) {
    return std::any_of(entries.begin(), entries.end(), [&](const platform::FolderEntry& entry) {
        return entry.type == platform::EntryType::Folder && entry.name == name;
    });
}

// A Maildir's messages: the regular files of new/ and cur/ together, sorted by name (a delivery's
// time comes first in it), never those of tmp/, which are still being delivered.
void AddMaildirMessages(std::u16string_view folder, std::vector<FoundFile>& found,
                        platform::FolderSearch& search) {
    struct Message {
        std::string name;
        std::u16string path;
        uint64_t size;
    };
    std::vector<Message> messages;
    for (std::string_view part : {"new", "cur"}) {
        const std::u16string sub = Join(folder, part);
        std::vector<platform::FolderEntry> entries;
        if (!platform::ListFolder(sub, entries)) {
            search.unreadable.push_back(sub);
            continue;
        }
        for (const platform::FolderEntry& entry : entries)
            if (entry.type == platform::EntryType::File && !entry.name.starts_with(".") &&
                !IsMailServerFile(entry.name))
                messages.push_back({entry.name, Join(sub, entry.name), entry.size});
    }
    std::sort(messages.begin(), messages.end(), [](const Message& a, const Message& b) {
        return a.name != b.name ? a.name < b.name : a.path < b.path;
    });
    for (Message& message : messages)
        found.push_back({std::move(message.path), FoundKind::Mail, message.size});
}

bool MhOrder(const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}

void Search(std::u16string_view folder, const std::vector<platform::FolderEntry>& listed,
            std::vector<FoundFile>& found, platform::FolderSearch& search);

// An output root is never searched: every run would read back the mails the one before wrote.
bool NeverEntered(std::u16string_view folder, const platform::FolderSearch& search) {
    platform::FolderIdentity identity;
    return !search.never_entered.empty() && platform::IdentifyFolderAt(folder, identity) &&
           std::find(search.never_entered.begin(), search.never_entered.end(), identity) !=
               search.never_entered.end();
}

// A folder below the root that cannot be read is named, and the search goes on.
void SearchFolder(std::u16string_view folder, std::vector<FoundFile>& found, platform::FolderSearch& search) {
    if (NeverEntered(folder, search)) return;
    std::vector<platform::FolderEntry> entries;
    if (platform::ListFolder(folder, entries))
        Search(folder, entries, found, search);
    else
        search.unreadable.push_back(std::u16string(folder));
}

void Search(std::u16string_view folder, const std::vector<platform::FolderEntry>& listed,
            std::vector<FoundFile>& found, platform::FolderSearch& search) {
    std::vector<platform::FolderEntry> entries = listed;
    const bool maildir = HasFolder(entries, "cur") && HasFolder(entries, "new");
    if (maildir) AddMaildirMessages(folder, found, search);
    // MH messages come first, by number; everything else by name.
    std::vector<std::string> numbered;
    for (const platform::FolderEntry& entry : entries)
        if (!maildir && entry.type == platform::EntryType::File && IsMhMessageName(entry.name))
            numbered.push_back(entry.name);
    std::sort(numbered.begin(), numbered.end(), MhOrder);
    for (const std::string& name : numbered) {
        const auto entry = std::find_if(entries.begin(), entries.end(),
                                        [&](const platform::FolderEntry& e) { return e.name == name; });
        found.push_back({Join(folder, name), FoundKind::Mail, entry->size});
    }
    std::sort(entries.begin(), entries.end(),
              [](const platform::FolderEntry& a, const platform::FolderEntry& b) { return a.name < b.name; });
    for (const platform::FolderEntry& entry : entries) {
        if (IsMailServerFile(entry.name)) continue;
        const std::u16string path = Join(folder, entry.name);
        if (entry.type == platform::EntryType::Folder) {
            if (maildir && (entry.name == "cur" || entry.name == "new" || entry.name == "tmp")) continue;
            SearchFolder(path, found, search);
            continue;
        }
        if (entry.type != platform::EntryType::File) continue; // links, FIFOs, devices
        if (!maildir && IsMhMessageName(entry.name)) continue;
        if (IsEmlName(entry.name)) {
            found.push_back({path, FoundKind::Mail, entry.size});
        } else if (IsContainerName(entry.name)) {
            found.push_back({path, FoundKind::Container, entry.size});
        } else if (EndsWithNoCase(entry.name, ".emlx")) {
            found.push_back({path, FoundKind::Emlx, entry.size});
        } else if (EndsWithNoCase(entry.name, ".msg")) {
            found.push_back({path, FoundKind::Mail, entry.size}); // a message file, told by its content
        } else if (entry.size > 0 && !EndsWithNoCase(entry.name, ".msf") &&
                   platform::ReadFileStart(path, 5) == "From ") {
            found.push_back({path, FoundKind::Mbox, entry.size});
        }
    }
}

} // namespace

bool FindArchiveFiles(std::u16string_view root, std::vector<FoundFile>& found,
                      platform::FolderSearch& search) {
    if (NeverEntered(root, search)) return true;
    std::vector<platform::FolderEntry> entries;
    if (!platform::ListFolder(root, entries)) return false;
    Search(root, entries, found, search);
    return true;
}

bool IsMailServerFile(std::string_view name) {
    return name.starts_with("dovecot") || name.starts_with("courierimap") || name == "maildirfolder";
}

bool IsMhMessageName(std::string_view name) {
    return !name.empty() && name.front() != '0' &&
           std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool EmlxMessageSpan(std::string_view start, uint64_t file_size, uint64_t& offset, uint64_t& length) {
    constexpr size_t kMostDigits = 19; // below 2^63
    size_t i = 0;
    while (i < start.size() && (start[i] == ' ' || start[i] == '\t'))
        ++i;
    const size_t digits = i;
    uint64_t count = 0;
    while (i < start.size() && start[i] >= '0' && start[i] <= '9' && i - digits < kMostDigits)
        count = count * 10 + static_cast<uint64_t>(start[i++] - '0');
    if (i == digits) return false;
    while (i < start.size() && (start[i] == ' ' || start[i] == '\t' || start[i] == '\r'))
        ++i;
    if (i >= start.size() || start[i] != '\n') return false;
    offset = i + 1;
    length = std::min<uint64_t>(count, file_size > offset ? file_size - offset : 0);
    return true;
}

} // namespace dornick
