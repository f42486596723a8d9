#pragma once
// An output file on its way to the name claimed for it. The name is claimed by creating it (empty)
// the moment it is chosen, so other processes pass it over; the bytes never stand partial under
// it. A file written with one write goes straight into the claimed file. A longer one is written
// into a file without a name in the same folder (or, where the file system has no such files,
// under a hidden name beside it) and put over the claimed name only when it is complete.

#include <string>

#include "platform/unique_fd.h"

namespace platform {

struct StagedFile {
    int folder = -1;       ///< the open folder of the name (or the current folder's marker)
    std::string name;      ///< the claimed name, in the file system's form
    UniqueFd claim;        ///< the file created under the name
    UniqueFd unnamed;      ///< the bytes' file once staged
    std::string temp_name; ///< its hidden name, where files without a name are refused
    bool replaces = false; ///< the name holds an older file, which stays whole until replaced
    /// The claim is a file without a name whose name is only noted (see deferred_files.h); the
    /// bytes go straight into it.
    bool deferred = false;
    /// The file may yet be dropped without its bytes ever standing under the name: bytes of one
    /// write are held back at Finish until the writer is told to write or drop them.
    bool may_be_dropped = false;

    bool Staged() const { return unnamed.Get() >= 0; }
    /// Where the bytes go: the staged file, else the claimed one.
    int Fd() const { return Staged() ? unnamed.Get() : claim.Get(); }
};

/// Opens the file the bytes go into until the file is complete. 0, or the errno.
int StageFile(StagedFile& file);
/// The same under a hidden name beside the claim, as where files without a name are refused.
int StageUnderHiddenName(StagedFile& file);
/// Puts the complete staged file over the claimed name (nothing to do for a file written straight
/// into its claim). 0, or the errno: then the staged file is still there for AbandonFile.
int PublishFile(StagedFile& file);
/// Removes what an unfinished file left: the staged file, and the claimed name unless it holds an
/// older file that is to stay.
void AbandonFile(StagedFile& file);

} // namespace platform
