#pragma once
// The date of a mail: the date folder name and the moment, in Japan time.

#include <string>

#include "platform/clock.h"

namespace dornick {

/// Reads day, month, year, time and zone from the blank-separated tokens after the first (the
/// label, such as "Date:"), converts the time to Japan time (UTC+9) and rewrites `text` as the
/// folder name "yyyy-mm-dd" of that moment. `time` is cleared first. False when the text holds no
/// whole, real date (no month, 30 February, a year before 1900, a time of 25 o'clock): then `text`
/// stays as it was and `time` stays cleared, so that the folder and the time never disagree.
bool ParseMailDate(std::u16string& text, platform::SystemTime& time);

} // namespace dornick
