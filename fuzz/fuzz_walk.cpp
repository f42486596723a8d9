// The whole walk over one mail in memory, with the three option sets that change its decisions.

#include <cstdint>
#include <string>

#include "tests/run/recording_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string mail(reinterpret_cast<const char*>(data), size);
    dornick::RunOptions options;
    (void)dornick::test::WalkMail(mail, options);
    options.content_only = true;
    options.forward_name = u"fwd";
    (void)dornick::test::WalkMail(mail, options);
    options.content_only = false;
    options.no_inline = true;
    (void)dornick::test::WalkMail(mail, options);
    return 0;
}
