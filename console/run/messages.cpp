#include "console/run/messages.h"

namespace dornick {

void PrintOut(std::u16string_view format, std::initializer_list<platform::FormatArg> args) {
    platform::ConsoleWrite(platform::Stream::Out, platform::Format(format, args));
}

void PrintErr(std::u16string_view format, std::initializer_list<platform::FormatArg> args) {
    platform::ConsoleWrite(platform::Stream::Err, platform::Format(format, args));
}

} // namespace dornick
