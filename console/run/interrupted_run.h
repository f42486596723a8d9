#pragma once
// The way out of a run stopped by SIGINT or SIGTERM.

#include "console/run/entry.h"
#include "console/run/run_context.h"

namespace dornick {

/// Ends a run that stopped at a signal, after its last file was given up and its mail's log text
/// written: closes what the run still holds, as its normal end would, and gives the exit status
/// of the signal (130 for SIGINT, 143 for SIGTERM). Whatever else must be kept of a stopped run
/// (the records of what was done so far) is written here.
ExitStatus EndInterruptedRun(RunContext& run);

} // namespace dornick
