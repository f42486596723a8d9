#pragma once
// The search for mail files: the target folder and all its subfolders, any depth, in directory
// order, never through "." or ".." and never into a linked folder.

#include <functional>

#include <QString>

namespace tarnfield {

enum class SearchEnd { Finished, Stopped, RootUnreadable };

struct SearchCallbacks {
    /// Asked before every entry and after every subfolder (it waits on the run gate); false stops.
    std::function<bool()> mayGoOn;
    /// Called for every mail file with its list form.
    std::function<void(QString&& entry)> take;
};

/// True for names whose text from the last "." is exactly ".eml" (case-sensitive).
bool IsMailFileName(const char* name);
/// Searches root; every file is reported as listPrefix + "/" + its path below root. Subfolders that
/// cannot be opened are passed over, and so are names that are not UTF-8 (no child could be given them).
SearchEnd SearchMailFiles(const QString& root, const QString& listPrefix, const SearchCallbacks& callbacks);

} // namespace tarnfield
