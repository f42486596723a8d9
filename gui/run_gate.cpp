#include "gui/run_gate.h"

namespace tarnfield {

void RunGate::Create() {
    std::lock_guard lock(mutex_);
    exists_ = true;
    signalled_ = true;
    changed_.notify_all();
}

void RunGate::Close() {
    std::lock_guard lock(mutex_);
    exists_ = false;
    signalled_ = false;
    changed_.notify_all();
}

bool RunGate::Exists() const {
    std::lock_guard lock(mutex_);
    return exists_;
}

void RunGate::Set() {
    std::lock_guard lock(mutex_);
    if (!exists_) return;
    signalled_ = true;
    changed_.notify_all();
}

void RunGate::Reset() {
    std::lock_guard lock(mutex_);
    if (exists_) signalled_ = false;
}

bool RunGate::IsSet() const {
    std::lock_guard lock(mutex_);
    return exists_ && signalled_;
}

void RunGate::Wait() {
    std::unique_lock lock(mutex_);
    ++waiters_;
    changed_.wait(lock, [this] { return !exists_ || signalled_; });
    --waiters_;
}

int RunGate::Waiters() const {
    std::lock_guard lock(mutex_);
    return waiters_;
}

} // namespace tarnfield
