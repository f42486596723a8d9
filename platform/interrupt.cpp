#include "platform/interrupt.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace platform {
namespace {

std::atomic<int> g_signal{0};
std::atomic<bool> g_cleaning_up{false};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
              "the handler may only touch lock-free atomics");

std::atomic<int> g_test_pieces_left{0};
int g_test_signal = 0;

void OnSignal(int signal) {
    if (g_cleaning_up.load()) return;
    int none = 0;
    if (g_signal.compare_exchange_strong(none, signal)) return;
    // Asked twice while the run has not reached a point where it stops: the default action now.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void ReadTestHook() {
    const char* hook = std::getenv("DORNICK_TEST_SIGNAL");
    if (!hook) return;
    const std::string_view text(hook);
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos) return;
    const std::string_view name = text.substr(0, colon);
    g_test_signal = name == "TERM" ? SIGTERM : name == "INT" ? SIGINT : 0;
    g_test_pieces_left.store(std::atoi(hook + colon + 1));
}

} // namespace

void InstallInterruptHandlers() {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    action.sa_flags = 0;
    for (int signal : {SIGINT, SIGTERM}) {
        struct sigaction old;
        // A signal ignored by whoever started us (nohup, a shell's background job) stays ignored.
        if (::sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        ::sigaction(signal, &action, nullptr);
    }
    ReadTestHook();
}

int InterruptSignal() {
    return g_signal.load(std::memory_order_relaxed);
}

void BeginInterruptCleanup() {
    g_cleaning_up.store(true);
}

void SetInterruptSignal(int signal) {
    g_signal.store(signal);
    if (signal == 0) g_cleaning_up.store(false);
}

void PieceHandedOff() {
    if (g_test_signal == 0) return;
    if (g_test_pieces_left.fetch_sub(1) == 1) std::raise(g_test_signal);
}

} // namespace platform
