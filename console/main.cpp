#include "console/run/entry.h"
#include "platform/standard_streams.h"

int main(int argc, char** argv) {
    // Before any file is opened: a closed standard descriptor must not become an attachment's.
    if (!platform::OpenClosedStandardDescriptors()) return 1;
    return dornick::RunEntry(argc, argv);
}
