#pragma once
// The one channel for what the console program says: the two console streams and the per-mail log.

#include <initializer_list>
#include <string_view>

#include "platform/console.h"
#include "platform/format.h"

namespace dornick {

/// Formats and writes a message to standard output.
void PrintOut(std::u16string_view format, std::initializer_list<platform::FormatArg> args = {});
/// Formats and writes a message to standard error.
void PrintErr(std::u16string_view format, std::initializer_list<platform::FormatArg> args = {});

} // namespace dornick
