#pragma once
// The entry of the console program: the console streams, the command line, one file at a time.

#include <string>
#include <vector>

#include "console/run/run_options.h"
#include "console/run/run_records.h"
#include "console/run/shard.h"

namespace dornick {

struct RunContext;

/// What a file argument is: a mail by its name (".eml" at its last dot), or anything else.
bool IsMailFileName(std::u16string_view argument);

/// Exit status of a run.
/// An interrupted run ends as a shell reports a process ended by the signal: 128 and its number.
enum class ExitStatus : int {
    Processed = 0,
    SomeFailed = 1,
    UsageError = 2,
    StoppedByInt = 130,
    StoppedByTerm = 143
};

/// One step of the command line, in order: an option to set, or a file to process.
struct CommandStep {
    enum class Kind { Flag, ForwardName, OutputFolder, File, StandardInput, FileList } kind = Kind::File;
    bool RunOptions::*flag = nullptr; ///< Flag
    std::u16string value;             ///< the forward name, the output folder, the file, or the list
};

/// The command line read into steps.
struct Command {
    enum class Action { Run, Help, Version, UsageError } action = Action::Run;
    std::vector<CommandStep> steps;
    std::vector<std::u16string> options_after_last_file; ///< as written, for the warning
    std::u16string bad_option;                           ///< UsageError: the argument
    bool missing_value = false;                          ///< UsageError: an option without its value
    bool value_refused = false;                          ///< UsageError: a value the option cannot take
    std::u16string bad_value;                            ///< ... that value
    bool standard_input_twice = false;                   ///< UsageError: "-" read a second time
    bool null_separated = false;                         ///< "--null": file lists are NUL-separated
    Shard shard;                                         ///< "--shard K/N": the part of the input run
    int jobs = 0; ///< "--jobs N": mails worked on at once; 0: as many as the processors the run may use
    bool resume_without_manifest = false; ///< UsageError: --resume alone
    RecordOptions records; ///< --manifest, --dedupe, --resume: for the whole run, wherever they stand
    std::vector<std::u16string> arguments; ///< as given, for the run's record
};

/// Reads the arguments: the designed options ("/NN" ..., whole argument, any case), their long
/// and short forms ("--print", "-p", "-o DIR", "--output=DIR", "-pl"), "--" (every later argument
/// is a file), "-" (one mail from standard input), "--files-from LIST" (the files named in LIST, or
/// on standard input for "-", at this place), and the settings of the whole run "-0"/"--null" and
/// "--shard K/N" and "-j N"/"--jobs N"; anything else is a file.
Command ParseCommand(const std::vector<std::u16string>& arguments);

/// Runs the parsed command (help, version, usage error, or the files in order) as the run `run`:
/// plan (folders searched, sizes taken), read ahead, execute.
ExitStatus RunCommand(RunContext& run, const Command& command);

/// The program: start-up, then the command line.
int RunEntry(int argc, char** argv);

} // namespace dornick
