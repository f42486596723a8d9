#pragma once
// The date of a mail: the date folder name and the moment, in Japan time.

#include <string>

#include "platform/clock.h"

namespace dornick {

/// Reads day, month, year, time and zone from the blank-separated tokens after the first (the
/// label, such as "Date:"), converts the time to Japan time (UTC+9) and, when a year was found,
/// rewrites `text` as the folder name "yyyy-mm-dd". `time` is cleared first. Never fails: what
/// cannot be read stays 0 or empty.
void ParseMailDate(std::u16string& text, platform::SystemTime& time);

} // namespace dornick
