#pragma once
// The records of a run as the command line asks for them: the options, the manifest opened and
// checked before the first mail, and the run's own record at the end.

#include <string>
#include <string_view>

#include "console/run/entry.h"
#include "console/run/run_records.h"
#include "platform/async_writer.h"

namespace dornick {

struct RunContext;

/// Takes the value of "--manifest" or "--dedupe" (`name` without its dashes); false for a value
/// that option does not take.
bool TakeRecordOption(RecordOptions& records, std::u16string_view name, std::u16string_view value);
/// Opens the manifest the command names and refuses one that is no manifest or belongs to another
/// output root than those of the command's files. False after the message.
bool OpenRecords(const RunContext& run, const Command& command, RunRecords& records);
/// The "run" record: the totals and the options.
std::string RunRecordText(const RunRecords& records, const Command& command,
                          const platform::WriteTally& written, int exit_status);

} // namespace dornick
