#include "console/run/kept_folders.h"

#include <algorithm>

#include "platform/paths.h"
#include "platform/unique_fd.h"

namespace dornick {
namespace {

// Lets the folder of `fd` go with every folder kept inside it, before its number can be handed out
// again by the system.
void LetGo(KeptFolders& kept, int fd) {
    std::vector<int> gone{fd};
    while (!gone.empty()) {
        const int parent = gone.back();
        gone.pop_back();
        auto first =
            std::remove_if(kept.folders.begin(), kept.folders.end(), [&](KeptFolders::Folder& folder) {
                if (folder.fd.Get() != parent && folder.parent != parent) return false;
                if (folder.fd.Get() != parent) gone.push_back(folder.fd.Get());
                return true;
            });
        kept.folders.erase(first, kept.folders.end());
    }
}

bool IsKept(const KeptFolders& kept, int fd) {
    if (fd >= 0 && fd == kept.root.fd.Get()) return true;
    return std::any_of(kept.folders.begin(), kept.folders.end(),
                       [fd](const KeptFolders::Folder& folder) { return folder.fd.Get() == fd; });
}

// True when (`parent`, `name`) was entered shortly before; it is remembered as entered now.
bool EnteredBefore(KeptFolders& kept, int parent, const std::string& name) {
    // A slot never filled holds no name, which no folder has.
    for (const auto& [folder, folder_name] : kept.entered)
        if (folder == parent && folder_name == name) return true;
    kept.entered[kept.next_entered] = {parent, name};
    kept.next_entered = (kept.next_entered + 1) % KeptFolders::kRemembered;
    return false;
}

void LetRootGo(KeptFolders& kept) {
    kept.folders.clear();
    kept.entered.fill({-1, std::string()});
    kept.root = KeptFolders::Root{};
}

} // namespace

int KeptRoot(KeptFolders& kept, std::u16string_view path) {
    if (!kept.root.fd || kept.root.path != path) return -1;
    platform::FolderStamp now;
    if (platform::StampNameAt(-1, platform::NativePath(path), true, now) && now == kept.root.stamp)
        return kept.root.fd.Get();
    LetRootGo(kept);
    return -1;
}

int KeepRoot(KeptFolders& kept, std::u16string_view path, platform::UniqueFd& opened) {
    platform::FolderStamp stamp;
    // Only a full path can be looked at again without opening it.
    if (path.empty() || path[0] != u'/' || !platform::StampOpenFolder(opened.Get(), stamp)) return -1;
    LetRootGo(kept);
    kept.root.path = std::u16string(path);
    kept.root.stamp = stamp;
    kept.root.fd = std::move(opened);
    return kept.root.fd.Get();
}

int KeptFolder(KeptFolders& kept, int parent, const std::string& name) {
    auto found =
        std::find_if(kept.folders.begin(), kept.folders.end(), [&](const KeptFolders::Folder& folder) {
            return folder.parent == parent && folder.name == name;
        });
    if (found == kept.folders.end()) return -1;
    platform::FolderStamp now;
    if (platform::StampNameAt(parent, name, false, now) && now == found->stamp) {
        found->used = ++kept.clock;
        return found->fd.Get();
    }
    LetGo(kept, found->fd.Get());
    return -1;
}

int KeepFolder(KeptFolders& kept, int parent, const std::string& name, platform::UniqueFd& opened) {
    platform::FolderStamp stamp;
    if (!IsKept(kept, parent) || !EnteredBefore(kept, parent, name)) return -1;
    if (!kept.sized) {
        kept.sized = true;
        kept.max_folders = std::min(KeptFolders::kMaxFolders, platform::DescriptorLimit() / 16);
    }
    // Fewer than two could not keep a folder beside the one it is in.
    if (kept.max_folders < 2 || !platform::StampOpenFolder(opened.Get(), stamp)) return -1;
    // Another folder kept under the name is let go first.
    for (const KeptFolders::Folder& folder : kept.folders)
        if (folder.parent == parent && folder.name == name) {
            LetGo(kept, folder.fd.Get());
            break;
        }
    if (kept.folders.size() >= kept.max_folders) {
        // The parent is never the one let go: it was handed out just before.
        auto oldest = std::min_element(kept.folders.begin(), kept.folders.end(),
                                       [parent](const KeptFolders::Folder& a, const KeptFolders::Folder& b) {
                                           if ((a.fd.Get() == parent) != (b.fd.Get() == parent))
                                               return b.fd.Get() == parent;
                                           return a.used < b.used;
                                       });
        LetGo(kept, oldest->fd.Get());
    }
    KeptFolders::Folder folder;
    folder.parent = parent;
    folder.name = name;
    folder.stamp = stamp;
    folder.fd = std::move(opened);
    folder.used = ++kept.clock;
    kept.folders.push_back(std::move(folder));
    return kept.folders.back().fd.Get();
}

} // namespace dornick
