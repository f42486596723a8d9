#pragma once
// A file given on its own that may be a TNEF container ("winmail.dat"): its attachments go straight
// into the output root. With records it is a mail of its own (message 1 at offset 0, with no
// header fields to tell), its files "1.1", "1.2" ... below it as for a container stored in a mail.

#include <string>

#include "console/run/run_context.h"
#include "console/run/run_options.h"

namespace dornick {

/// Expands the file at `path` (taken against the run's start folder) when it is a container. As
/// TnefExpandFile: -1 after an error, 0 when it is no container, 1 when attachments were handed
/// on. With --resume a container recorded as done is passed over (1).
[[nodiscard]] int ExpandContainerFile(RunContext& run, const std::u16string& path, const RunOptions& options);

} // namespace dornick
