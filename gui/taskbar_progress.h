#pragma once
// Progress on the taskbar button through the launcher-entry signal of the session bus. Exists only
// where a session bus does; the dialog keeps a null pointer otherwise.

#include <memory>

#include <QString>

namespace tarnfield {

/// The desktop entry the signal names; the taskbar matches the running program to it.
inline constexpr char kDesktopEntryName[] = "tarnfield.desktop";

class TaskbarProgress {
  public:
    enum class State { NoProgress, Indeterminate, Normal, Paused };

    /// A taskbar progress when a session bus can be reached, else null.
    static std::unique_ptr<TaskbarProgress> Create();

    void SetState(State state);
    void SetValue(quint64 done, quint64 total);
    State CurrentState() const { return state_; }
    double CurrentProgress() const { return progress_; }

  private:
    TaskbarProgress() = default;
    void Send();

    State state_ = State::NoProgress;
    double progress_ = 0;
};

} // namespace tarnfield
