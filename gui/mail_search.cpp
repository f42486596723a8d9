#include "gui/mail_search.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <QFile>

namespace tarnfield {

namespace {

constexpr std::string_view kMboxStart = "From ";

// How the files of a folder are taken.
enum class FolderKind {
    Plain,           // by their names, and mbox files by their first line
    Maildir,         // a Maildir's own folder: cur/ and new/ hold the messages, tmp/ is never read
    MaildirMessages, // cur/ or new/: every file is a message
    Mh,              // an MH folder: the numbered files are messages
};

struct Entry {
    std::string name;
    bool folder;
};

struct Level {
    DIR* folder;
    size_t pathLength; // length of the relative path of this folder, its "/" included
    FolderKind kind;
    std::vector<Entry> entries;
    size_t next = 0;
};

bool EndsWith(std::string_view name, std::string_view end) {
    return name.size() >= end.size() && name.substr(name.size() - end.size()) == end;
}

DIR* OpenFolderAt(int parent, const char* name) {
    const int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return nullptr;
    DIR* folder = fdopendir(fd);
    if (!folder) close(fd);
    return folder;
}

bool IsFolderEntry(DIR* folder, const dirent* entry) {
    if (entry->d_type != DT_UNKNOWN) return entry->d_type == DT_DIR;
    struct stat info {};
    return fstatat(dirfd(folder), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode);
}

bool IsDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// The folder's entries in byte order of their names, so that runs do not depend on the file system.
std::vector<Entry> ReadSorted(DIR* folder) {
    std::vector<Entry> entries;
    while (const dirent* entry = readdir(folder)) {
        if (IsDotOrDotDot(entry->d_name)) continue;
        entries.push_back({entry->d_name, IsFolderEntry(folder, entry)});
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return entries;
}

bool HasFolder(const std::vector<Entry>& entries, std::string_view name) {
    return std::any_of(entries.begin(), entries.end(),
                       [name](const Entry& e) { return e.folder && e.name == name; });
}

// Every file numbered, dot files (.mh_sequences) aside, and at least one of them.
bool LooksLikeMh(const std::vector<Entry>& entries) {
    bool numbered = false;
    for (const Entry& e : entries) {
        if (e.folder || e.name[0] == '.') continue;
        if (ClassifyName(e.name) != NameKind::Numbered) return false;
        numbered = true;
    }
    return numbered;
}

FolderKind KindOf(FolderKind parent, std::string_view name, const std::vector<Entry>& entries) {
    if (parent == FolderKind::Maildir && (name == "cur" || name == "new")) return FolderKind::MaildirMessages;
    if (HasFolder(entries, "cur") && HasFolder(entries, "new")) return FolderKind::Maildir;
    if (LooksLikeMh(entries)) return FolderKind::Mh;
    return FolderKind::Plain;
}

// A regular file (never a link) whose first line begins with "From ".
bool IsMboxFile(int folder, const char* name) {
    const int fd = openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info {};
    char start[kMboxStart.size()];
    const bool mbox = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                      read(fd, start, sizeof start) == static_cast<ssize_t>(sizeof start) &&
                      std::string_view(start, sizeof start) == kMboxStart;
    close(fd);
    return mbox;
}

bool IsTaken(const Level& level, const Entry& entry) {
    const int folder = dirfd(level.folder);
    switch (level.kind) {
    case FolderKind::MaildirMessages:
        return entry.name[0] != '.';
    case FolderKind::Maildir:
        if (IsMaildirBookkeeping(entry.name)) return false;
        break;
    case FolderKind::Mh:
        if (ClassifyName(entry.name) == NameKind::Numbered) return true;
        break;
    case FolderKind::Plain:
        break;
    }
    switch (ClassifyName(entry.name)) {
    case NameKind::Mail:
        return true;
    case NameKind::Index:
        return false;
    case NameKind::Numbered:
    case NameKind::Unknown:
        return IsMboxFile(folder, entry.name.c_str());
    }
    return false;
}

bool IsEntered(const Level& level, const Entry& entry) {
    switch (level.kind) {
    case FolderKind::Maildir:
        return entry.name != "tmp";
    case FolderKind::MaildirMessages:
        return false;
    case FolderKind::Plain:
    case FolderKind::Mh:
        return true;
    }
    return true;
}

} // namespace

NameKind ClassifyName(std::string_view name) {
    if (!name.empty() && std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return NameKind::Numbered;
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return NameKind::Unknown;
    const std::string_view extension = name.substr(dot);
    if (extension == ".eml" || extension == ".emlx" || extension == ".msg") return NameKind::Mail;
    if (extension == ".msf") return NameKind::Index;
    return NameKind::Unknown;
}

bool IsMaildirBookkeeping(std::string_view name) {
    return name.starts_with("dovecot") || name.starts_with("courierimap") || name == "maildirfolder";
}

SearchEnd SearchMailFiles(const QString& root, const QString& listPrefix, const SearchCallbacks& callbacks) {
    DIR* top = OpenFolderAt(AT_FDCWD, QFile::encodeName(root).constData());
    if (!top) return SearchEnd::RootUnreadable;
    QString prefix = listPrefix;
    if (!prefix.endsWith(u'/')) prefix.append(u'/');

    // One path buffer, extended and cut back in place, relative to root.
    std::string path;
    std::vector<Level> levels;
    {
        std::vector<Entry> entries = ReadSorted(top);
        const FolderKind kind = KindOf(FolderKind::Plain, {}, entries);
        levels.push_back({top, 0, kind, std::move(entries)});
    }
    SearchEnd end = SearchEnd::Finished;
    while (!levels.empty()) {
        Level& level = levels.back();
        path.resize(level.pathLength);
        if (level.next == level.entries.size()) {
            closedir(level.folder);
            levels.pop_back();
            if (!levels.empty() && !callbacks.mayGoOn()) {
                end = SearchEnd::Stopped;
                break;
            }
            continue;
        }
        if (!callbacks.mayGoOn()) {
            end = SearchEnd::Stopped;
            break;
        }
        const Entry& entry = level.entries[level.next++];
        if (entry.folder) {
            if (!IsEntered(level, entry)) continue;
            if (DIR* sub = OpenFolderAt(dirfd(level.folder), entry.name.c_str())) {
                std::vector<Entry> entries = ReadSorted(sub);
                const FolderKind kind = KindOf(level.kind, entry.name, entries);
                path.append(entry.name).push_back('/');
                levels.push_back({sub, path.size(), kind, std::move(entries)});
            }
            continue;
        }
        if (!IsTaken(level, entry)) continue;
        path.append(entry.name);
        QString rest = QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size()));
        if (rest.toUtf8() != QByteArrayView(path.data(), static_cast<qsizetype>(path.size()))) continue;
        callbacks.take(QString(prefix + rest));
    }
    for (Level& level : levels)
        closedir(level.folder);
    return end;
}

} // namespace tarnfield
