#include "gui/mail_search.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include <QFile>

namespace tarnfield {

namespace {

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

struct Level {
    DIR* folder;
    size_t pathLength; // length of the relative path of this folder, its "/" included
};

} // namespace

bool IsMailFileName(const char* name) {
    const char* dot = std::strrchr(name, '.');
    return dot && std::strcmp(dot, ".eml") == 0;
}

SearchEnd SearchMailFiles(const QString& root, const QString& listPrefix, const SearchCallbacks& callbacks) {
    DIR* top = OpenFolderAt(AT_FDCWD, QFile::encodeName(root).constData());
    if (!top) return SearchEnd::RootUnreadable;
    QString prefix = listPrefix;
    if (!prefix.endsWith(u'/')) prefix.append(u'/');

    // One path buffer, extended and cut back in place, relative to root.
    std::string path;
    std::vector<Level> levels{{top, 0}};
    SearchEnd end = SearchEnd::Finished;
    while (!levels.empty()) {
        Level& level = levels.back();
        path.resize(level.pathLength);
        const dirent* entry = readdir(level.folder);
        if (!entry) {
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
        const char* name = entry->d_name;
        if (IsFolderEntry(level.folder, entry)) {
            if (IsDotOrDotDot(name)) continue;
            if (DIR* sub = OpenFolderAt(dirfd(level.folder), name)) {
                path.append(name).push_back('/');
                levels.push_back({sub, path.size()});
            }
            continue;
        }
        if (!IsMailFileName(name)) continue;
        path.append(name);
        QString rest = QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size()));
        if (rest.toUtf8() != QByteArrayView(path.data(), static_cast<qsizetype>(path.size()))) continue;
        callbacks.take(QString(prefix + rest));
    }
    for (Level& level : levels)
        closedir(level.folder);
    return end;
}

} // namespace tarnfield
