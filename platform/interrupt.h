#pragma once
// SIGINT and SIGTERM as a request to stop: the handler only notes the signal, and the run looks at
// it where stopping leaves nothing behind (between pieces of a file, between parts, between mails).

namespace platform {

/// Installs the handlers for SIGINT and SIGTERM (without SA_RESTART: a read from a terminal or a
/// pipe returns EINTR, so a run waiting for its input stops too). The first signal is noted; a
/// second one before the run has begun to clean up ends the process at once with the default
/// action (the run is stuck where it does not look); once the cleanup has begun, further signals
/// are ignored, so that it is never cut short.
void InstallInterruptHandlers();

/// The signal that asked the run to stop (SIGINT or SIGTERM), or 0.
int InterruptSignal();
inline bool Interrupted() {
    return InterruptSignal() != 0;
}

/// Called where the run acts on the signal: from here on it finishes its cleanup whatever comes.
void BeginInterruptCleanup();

/// Asked where the run can stop: true once a signal came, and from then on the run is cleaning up.
inline bool StopRequested() {
    if (!Interrupted()) return false;
    BeginInterruptCleanup();
    return true;
}

/// Notes `signal` as the handler would; 0 forgets it and the cleanup (tests).
void SetInterruptSignal(int signal);

/// Test hook: with DORNICK_TEST_SIGNAL=TERM:n (or INT:n) in the environment when the handlers are
/// installed, the process sends itself that signal when the n-th piece of an output file has been
/// handed to the disk, so that a test can stop a run in the middle of a file without guessing times.
void PieceHandedOff();

} // namespace platform
