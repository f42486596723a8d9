#pragma once
// The file time that one TNEF container of a mail leaves for the next.

#include <ctime>
#include <optional>

#include <string>

namespace dornick {

/// What one stand-alone container of a run leaves for the next: its code page's charset name and
/// its file time.
struct TnefContainerCarry {
    std::u16string charset;
    std::optional<std::time_t> time;
};

struct TnefTimeCarry {
    bool started = false;
    std::optional<std::time_t> time;

    /// The time the next container starts from: the mail's for the first, then what the previous
    /// container left.
    std::optional<std::time_t>& From(const std::optional<std::time_t>& mail_time) {
        if (!started) {
            time = mail_time;
            started = true;
        }
        return time;
    }
};

} // namespace dornick
