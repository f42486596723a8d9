#pragma once
// The run gate: a manual-reset event that exists only while a run is active. Set lets the worker go
// on, reset pauses it at its next wait. Without a run, setting, resetting and waiting do nothing.

#include <condition_variable>
#include <mutex>

namespace tarnfield {

class RunGate {
  public:
    /// Makes the gate exist, signalled.
    void Create();
    /// Ends its existence; a waiter is released.
    void Close();
    bool Exists() const;
    void Set();
    void Reset();
    bool IsSet() const;
    /// Blocks while the gate exists and is reset.
    void Wait();
    /// Threads blocked in Wait right now.
    int Waiters() const;

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool exists_ = false;
    bool signalled_ = false;
    int waiters_ = 0;
};

} // namespace tarnfield
