#pragma once
// The messages of an mbox done by the workers: handed on as the archive is split, committed in the
// archive's order, so that the run leaves, says and logs what one message at a time would.

#include <string>
#include <string_view>

#include "console/run/archive_run.h"
#include "console/run/run_options.h"

namespace dornick {

struct MboxTurn;
struct RunContext;

/// Runs the mbox at `path` (named `shown`) as RunMboxArchive with ProcessArchiveMail on each
/// message, the messages done by the workers of `turn`. The folders held for the turn are let go.
/// False when the archive cannot be opened or anything of it failed; failed messages are counted
/// in `tally`.
[[nodiscard]] bool RunMboxWithWorkers(RunContext& run, MboxTurn& turn, std::u16string_view path,
                                      std::u16string_view shown, const RunOptions& options,
                                      ArchiveTally& tally);

} // namespace dornick
