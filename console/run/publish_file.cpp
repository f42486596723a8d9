#include "console/run/publish_file.h"

namespace dornick {

int PublishCompleteFile(platform::StagedFile& file) {
    const int error = platform::PublishFile(file);
    if (error == 0) {
        file.unnamed.Reset();
        file.claim.Reset();
    }
    return error;
}

} // namespace dornick
