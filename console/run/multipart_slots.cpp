// The bookkeeping of the boundaries the walk has learnt: the slots its rules use, and the list
// that keeps every other boundary, so that none is ever forgotten.

#include <algorithm>

#include "console/run/mail_state.h"

namespace dornick {

bool MultipartSlots::Knows(std::u16string_view marker) const {
    for (const BoundaryLevel& level : slots)
        if (level.marker == marker) return true;
    return std::find(unslotted.begin(), unslotted.end(), marker) != unslotted.end();
}

void MultipartSlots::Remember(std::u16string_view marker) {
    if (!marker.empty() && unslotted.size() < kUnslottedLimit && !Knows(marker))
        unslotted.emplace_back(marker);
}

void MultipartSlots::Settle(BoundarySlot slot, std::u16string marker) {
    std::u16string& held = Boundary(slot);
    if (held == marker) return;
    const auto listed = std::find(unslotted.begin(), unslotted.end(), marker);
    if (listed != unslotted.end()) {
        const int at = static_cast<int>(listed - unslotted.begin());
        unslotted.erase(listed);
        // The current boundary stays the same text, now the slot's.
        if (current_unslotted == at)
            SetCurrent(slot);
        else if (current_unslotted > at)
            --current_unslotted;
    }
    std::u16string earlier = std::move(held);
    held = std::move(marker);
    Remember(earlier);
}

} // namespace dornick
