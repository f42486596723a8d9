#pragma once
// The one step where a complete output file takes its claimed name.

#include "platform/staged_file.h"

namespace dornick {

/// Publishes a complete, dated output file under the name claimed for it: a staged file is put over
/// the claim; one written straight into its claim already stands there. 0, or the errno, after
/// which the caller abandons the file.
int PublishCompleteFile(platform::StagedFile& file);

} // namespace dornick
