// placeholder
#include "console/run/mail_file.h"
namespace dornick {
void ProcessMailFile(std::u16string_view, const RunOptions&) {}
}
