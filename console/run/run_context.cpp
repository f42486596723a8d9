#include "console/run/run_context.h"

namespace dornick {

RunContext::RunContext(std::u16string start_folder) : start_folder(std::move(start_folder)) {}

} // namespace dornick
