#include "console/run/interrupted_run.h"

#include <csignal>

#include "platform/console.h"
#include "platform/interrupt.h"

namespace dornick {

ExitStatus EndInterruptedRun(RunContext& run) {
    platform::BeginInterruptCleanup();
    run.read_ahead.Stop();
    platform::ConsoleFlush();
    return platform::InterruptSignal() == SIGINT ? ExitStatus::StoppedByInt : ExitStatus::StoppedByTerm;
}

} // namespace dornick
