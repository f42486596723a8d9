// The processing of one mail file into a fresh output root: folders, names, files, times, log.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "console/run/mail_file.h"
#include "console/run/run_context.h"
#include "platform/text.h"

namespace {

// A folder of the process's own for the mail and its output, gone again when the process exits.
struct ScratchFolder {
    std::filesystem::path path;
    ScratchFolder() {
        std::string pattern =
            (std::filesystem::exists("/dev/shm") ? "/dev/shm" : "/tmp") + std::string("/dornick-fuzz-XXXXXX");
        if (::mkdtemp(pattern.data()) != nullptr) path = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
};

std::filesystem::path Scratch() {
    static const ScratchFolder folder;
    return folder.path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::filesystem::path root = Scratch();
    const std::filesystem::path mail = root / "mail.eml";
    const std::filesystem::path out = root / "out";
    {
        std::ofstream file(mail, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    dornick::RunOptions options;
    options.log = true;
    options.output_folder = platform::Utf8ToU16(out.string());
    // The run's messages go to standard output and standard error (libFuzzer: -close_fd_mask=3).
    dornick::RunContext run;
    (void)dornick::ProcessMailFile(run, platform::Utf8ToU16(mail.string()), options);
    std::error_code ignored;
    std::filesystem::remove_all(out, ignored);
    return 0;
}
