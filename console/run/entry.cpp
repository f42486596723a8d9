#include "console/run/entry.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <unicode/uclean.h>
#include <utility>

#include "console/header/icu_objects.h"
#include "console/run/archive_run.h"
#include "console/run/archive_search.h"
#include "console/run/container_file.h"
#include "console/run/interrupted_run.h"
#include "console/run/mail_file.h"
#include "console/run/mail_jobs.h"
#include "console/run/mbox_jobs.h"
#include "console/run/messages.h"
#include "console/run/record_setup.h"
#include "console/run/run_context.h"
#include "console/run/tnef_expand.h"
#include "console/run/usage_text.h"
#include "platform/archive_file.h"
#include "platform/async_writer.h"
#include "platform/console.h"
#include "platform/file_moves.h"
#include "platform/interrupt.h"
#include "platform/name_list.h"
#include "platform/paths.h"
#include "platform/read_ahead.h"
#include "platform/text.h"

#ifndef DORNICK_VERSION
#define DORNICK_VERSION "0"
#endif

namespace dornick {
namespace {

constexpr size_t kForwardNameLimit = 251;

// FileList, Shard, NullSeparated and Jobs have no designed form; the last three set the whole run.
enum class ValueKind { None, ForwardName, OutputFolder, FileList, Shard, NullSeparated, Jobs };

struct OptionRow {
    std::u16string_view designed;  ///< "/NN"; empty for an option with no designed form
    char16_t short_form;           ///< 'S' for "-S"
    std::u16string_view long_form; ///< "no-sender-folders" for "--no-sender-folders"
    bool RunOptions::*flag;
    ValueKind value;
};

constexpr OptionRow kOptionRows[] = {
    {u"/NN", u'S', u"no-sender-folders", &RunOptions::no_sender_folder, ValueKind::None},
    {u"/ND", u'D', u"no-date-folders", &RunOptions::no_date_folder, ValueKind::None},
    {u"/RF", u'r', u"date-first", &RunOptions::date_then_sender, ValueKind::None},
    {u"/NI", u'i', u"no-inline", &RunOptions::no_inline, ValueKind::None},
    {u"/CO", u'c', u"content-only", &RunOptions::content_only, ValueKind::None},
    {u"/CW", u'w', u"full-width", &RunOptions::full_width, ValueKind::None},
    {u"/DM", u'd', u"date-mode", &RunOptions::date_mode, ValueKind::None},
    {u"/FW", u'f', u"forward-name", nullptr, ValueKind::ForwardName},
    {u"/P", u'p', u"print", &RunOptions::print, ValueKind::None},
    {u"/L", u'l', u"log", &RunOptions::log, ValueKind::None},
    {u"/O", u'o', u"output", nullptr, ValueKind::OutputFolder},
    {u"", u'\0', u"files-from", nullptr, ValueKind::FileList},
    {u"", u'0', u"null", nullptr, ValueKind::NullSeparated},
    {u"", u'\0', u"shard", nullptr, ValueKind::Shard},
    {u"", u'j', u"jobs", nullptr, ValueKind::Jobs},
    {u"", u'R', u"recurse", &RunOptions::recurse, ValueKind::None}, // a long and a short form only
};

bool TakesValue(const OptionRow& row) {
    return row.value != ValueKind::None && row.value != ValueKind::NullSeparated;
}

bool SetsWholeRun(const OptionRow& row) {
    return row.value == ValueKind::Shard || row.value == ValueKind::NullSeparated ||
           row.value == ValueKind::Jobs;
}

// "-j N": decimal digits only, 1 to kMaxJobs.
bool ParseJobs(std::u16string_view text, int& jobs) {
    if (text.empty() || text.size() > 4) return false;
    int value = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') return false;
        value = value * 10 + (c - u'0');
    }
    if (value < 1 || value > kMaxJobs) return false;
    jobs = value;
    return true;
}

// Only the last name component is kept, cut at the last "\" and then at the last "/".
std::u16string ForwardNameFrom(std::u16string_view argument) {
    std::u16string name(argument.substr(0, kForwardNameLimit));
    for (char16_t separator : {u'\\', u'/'}) {
        size_t cut = name.rfind(separator);
        if (cut != std::u16string::npos) name.erase(0, cut + 1);
    }
    return name;
}

CommandStep StepFor(const OptionRow& row, std::u16string_view value) {
    CommandStep step;
    switch (row.value) {
    case ValueKind::None:
        step.kind = CommandStep::Kind::Flag;
        step.flag = row.flag;
        break;
    case ValueKind::ForwardName:
        step.kind = CommandStep::Kind::ForwardName;
        step.value = ForwardNameFrom(value);
        break;
    case ValueKind::OutputFolder:
        step.kind = CommandStep::Kind::OutputFolder;
        step.value = value;
        break;
    case ValueKind::FileList:
        step.kind = CommandStep::Kind::FileList;
        step.value = value;
        break;
    case ValueKind::Shard:
    case ValueKind::NullSeparated:
    case ValueKind::Jobs:
        break; // not steps: AddOption sets them on the command
    }
    return step;
}

// An option met on the command line, with its value; false when the value is not one it takes.
bool AddOption(Command& command, const OptionRow& row, std::u16string_view value) {
    if (row.value == ValueKind::Shard) return ParseShard(value, command.shard);
    if (row.value == ValueKind::Jobs) return ParseJobs(value, command.jobs);
    if (row.value == ValueKind::NullSeparated)
        command.null_separated = true;
    else
        command.steps.push_back(StepFor(row, value));
    return true;
}

const OptionRow* DesignedOption(std::u16string_view argument) {
    for (const OptionRow& row : kOptionRows)
        if (!row.designed.empty() && platform::EqualsNoCaseAscii(argument, row.designed)) return &row;
    return nullptr;
}

const OptionRow* ShortOption(char16_t letter) {
    for (const OptionRow& row : kOptionRows)
        if (row.short_form != u'\0' && row.short_form == letter) return &row;
    return nullptr;
}

// The whole name of a long option, or of the one option an abbreviation can mean ("--out" for
// "--output"); empty when there is none or more than one.
std::u16string_view WholeLongName(std::u16string_view name) {
    std::u16string_view found;
    int matches = 0;
    auto consider = [&](std::u16string_view whole) {
        if (whole == name) {
            found = whole;
            matches = -1000; // an exact name wins over every abbreviation
        } else if (whole.substr(0, name.size()) == name) {
            if (matches >= 0) found = whole;
            ++matches;
        }
    };
    for (const OptionRow& row : kOptionRows)
        consider(row.long_form);
    consider(u"help");
    consider(u"version");
    for (std::u16string_view record_option : {u"manifest", u"dedupe", u"resume"})
        consider(record_option);
    return matches == 1 || matches < 0 ? found : std::u16string_view{};
}

const OptionRow* LongOption(std::u16string_view name) {
    for (const OptionRow& row : kOptionRows)
        if (row.long_form == name) return &row;
    return nullptr;
}

// What the run counts for its progress line and its summary.
struct RunProgress {
    bool shown = false; ///< a terminal on standard error, more than one file, no "/P" anywhere
    size_t files = 0;
    uint64_t bytes = 0;
    size_t files_done = 0;
    uint64_t bytes_done = 0;
    size_t failed = 0;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point drawn{};
    const RunRecords* records = nullptr; ///< with records, duplicates and passed-over mails are shown too
};

std::u16string Number(uint64_t value) {
    return platform::Format(u"%I64u", {static_cast<unsigned long long>(value)});
}

std::u16string MinutesSeconds(double seconds) {
    auto whole = static_cast<unsigned long long>(seconds < 0 ? 0 : seconds + 0.5);
    return platform::Format(u"%I64u:%02d", {whole / 60, static_cast<int>(whole % 60)});
}

std::u16string OneDecimal(double value) {
    auto tenths = static_cast<unsigned long long>(value < 0 ? 0 : value * 10 + 0.5);
    return platform::Format(u"%I64u.%d", {tenths / 10, static_cast<int>(tenths % 10)});
}

void DrawProgress(RunProgress& progress, std::u16string_view current) {
    if (!progress.shown) return;
    auto now = std::chrono::steady_clock::now();
    // At most ten times a second, but at once when a message has taken the line's place.
    if (platform::StatusLineShown() && now - progress.drawn < std::chrono::milliseconds(100)) return;
    progress.drawn = now;
    double elapsed = std::chrono::duration<double>(now - progress.start).count();
    double rate = elapsed > 0 ? static_cast<double>(progress.bytes_done) / elapsed : 0;
    std::u16string left = u"-:--";
    if (rate > 0 && progress.bytes_done > 0)
        left = MinutesSeconds(static_cast<double>(progress.bytes - progress.bytes_done) / rate);
    std::u16string speed = OneDecimal(rate / 1e6);
    size_t slash = current.rfind(u'/');
    std::u16string_view name = slash == std::u16string_view::npos ? current : current.substr(slash + 1);
    if (const RunRecords* records = progress.records)
        platform::ShowStatusLine(
            platform::Format(Localize(u"%s/%s 通  %s MB/s  残り %s  重複 %s  済 %s  %s"),
                             {Number(progress.files_done), Number(progress.files), speed, left,
                              Number(records->duplicates), Number(records->passed_over), name}));
    else
        platform::ShowStatusLine(
            platform::Format(Localize(u"%s/%s 通  %s MB/s  残り %s  %s"),
                             {Number(progress.files_done), Number(progress.files), speed, left, name}));
}

void PrintSummary(const RunProgress& progress, const platform::WriteTally& written) {
    if (!progress.shown) return;
    platform::ClearStatusLine();
    double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - progress.start).count();
    PrintErr(u"%s 通、%s ファイル (%s バイト) を書き出しました。失敗 %s 件、%s 秒。\n",
             {Number(progress.files_done), Number(written.files), Number(written.bytes),
              Number(progress.failed), OneDecimal(elapsed)});
    if (progress.records)
        PrintErr(u"重複 %s ファイル、記録により飛ばしたメール %s 通。\n",
                 {Number(progress.records->duplicates), Number(progress.records->passed_over)});
}

// True when the file's first line begins with "From ": an mbox.
bool BeginsWithEnvelope(std::u16string_view full_path) {
    return platform::ReadFileStart(full_path, 5) == "From ";
}

bool IsEmlxName(std::u16string_view path) {
    constexpr std::u16string_view kEmlx = u".emlx";
    return path.size() > kEmlx.size() &&
           platform::EqualsNoCaseAscii(path.substr(path.size() - kEmlx.size()), kEmlx);
}

ArchiveMail WithoutSource(const ArchiveMail& mail) {
    ArchiveMail copy = mail;
    copy.source.clear();
    return copy;
}

// Every message of an mbox as one mail, named by the archive, its number and its offset. In date
// mode the archive's times are left alone. The messages that failed beyond the first go to
// `failed_messages`: the caller counts the archive itself.
MailResult ProcessMbox(RunContext& run, const std::u16string& path, RunOptions& options,
                       size_t& failed_messages, std::u16string_view shown_path = {}) {
    const std::u16string full_path = run.FullPath(path);
    const std::u16string shown =
        shown_path.empty() ? platform::DisplayPath(full_path) : std::u16string(shown_path);
    if (options.date_mode) {
        // Every part of a sharded run meets the archive; the first says it once.
        if (run.shard.number == 1) PrintOut(u"mbox ファイルの日時は変更しません。\n->%s\n", {shown});
        return MailResult::Done;
    }
    if (!options.forward_name.empty()) options.no_inline = false;
    ArchiveTally tally;
    MboxTurn* turn = std::exchange(run.mbox_turn, nullptr);
    const bool done =
        turn ? RunMboxWithWorkers(run, *turn, full_path, shown, options, tally)
             : RunMboxArchive(
                   full_path, shown,
                   [&](const ArchiveMail& mail) {
                       // Standard input has no path an earlier run could have recorded.
                       const bool ok =
                           (shown_path == u"-" ? ProcessArchiveMail(run, WithoutSource(mail), options)
                                               : ProcessArchiveMail(run, mail, options)) == MailResult::Done;
                       platform::ConsoleFlush();
                       return ok;
                   },
                   tally, run.shard);
    if (tally.failed > 1) failed_messages += tally.failed - 1;
    return done ? MailResult::Done : MailResult::Failed;
}

// Standard input is copied into a temporary file without a name, which the mail processing maps
// like any other through its descriptor; an mbox is split like any other. A part of a sharded run
// that does not own the mail there still reads it, for the messages of an mbox are shared out.
MailResult ProcessStandardInput(RunContext& run, RunOptions& options, size_t& failed_messages,
                                bool owns_mail) {
    if (options.date_mode) {
        if (!owns_mail) return MailResult::Done;
        // There is no file whose times could be set.
        PrintErr(u"メールファイルを開けませんでした。\n->%s\n", {u"-"});
        return MailResult::Failed;
    }
    std::string path;
    platform::UniqueFd copy;
    const bool copied = platform::CopyStandardInput(copy, path);
    MailResult result = MailResult::Failed;
    if (copied) {
        if (!options.forward_name.empty()) options.no_inline = false;
        const std::u16string copied_path = platform::Utf8ToU16(path);
        if (BeginsWithEnvelope(copied_path))
            result = ProcessMbox(run, copied_path, options, failed_messages, u"-");
        else
            result = owns_mail ? ProcessMailFile(run, copied_path, options, u"-") : MailResult::Done;
    } else if (!platform::Interrupted()) {
        PrintErr(u"標準入力を読み込めませんでした。\n");
    }
    return result;
}

MailResult ProcessPlannedFile(RunContext& run, const std::u16string& path, FoundKind kind,
                              RunOptions& options, size_t& failed_messages);

// The one place where a file argument (from the command line or found in a folder) is handed on,
// with the options as they stand. Relative paths, the container reader's included, are taken
// against the run's start folder, so they mean what they meant on the command line.
MailResult ProcessFileArgument(RunContext& run, const std::u16string& path, RunOptions& options,
                               size_t& failed_messages) {
    // A name that is not a mail's goes to the container reader first; one that gives nothing is
    // read as a mail after all. What one container leaves for the next (its code page's charset
    // name and its file time) carries over for the whole run.
    // An ".emlx" file (whose name a mail's test would take) holds its message between a count line
    // and a property list.
    if (IsEmlxName(path)) return ProcessPlannedFile(run, path, FoundKind::Emlx, options, failed_messages);
    if (!IsMailFileName(path)) {
        const int expanded = ExpandContainerFile(run, path, options);
        if (expanded != 0) return expanded < 0 ? MailResult::Failed : MailResult::Done;
        if (BeginsWithEnvelope(run.FullPath(path))) return ProcessMbox(run, path, options, failed_messages);
    }
    // A forward name brings the inline parts back, for the rest of the run.
    if (!options.forward_name.empty()) options.no_inline = false;
    return ProcessMailFile(run, path, options);
}

// One step of the command line with the files it stands for.
struct PlannedStep {
    const CommandStep* step;
    std::vector<std::u16string> files;
    std::vector<uint64_t> sizes;  ///< taken when the run was planned
    std::vector<FoundKind> kinds; ///< what a folder search found; a file argument is told at its turn
    bool unreadable = false;
    std::vector<std::u16string> unreadable_below; ///< folders below it that could not be read
    bool owned = true; ///< standard input: its mail belongs to this part of a sharded run
};

// A folder argument becomes the mails, containers and archives below it; a file stays itself.
void FilesOf(const RunContext& run, const std::u16string& argument, PlannedStep& planned,
             platform::FolderSearch& search) {
    planned.unreadable = false;
    uint64_t size = 0;
    if (!platform::IsFolderElseFileSize(run.FullPath(argument), size)) {
        planned.files.push_back(argument);
        planned.sizes.push_back(size);
        planned.kinds.push_back(FoundKind::Container);
        return;
    }
    std::vector<FoundFile> found;
    // Found below the full path: each file then names itself wherever the run stands.
    planned.unreadable = !FindArchiveFiles(run.FullPath(argument), found, search);
    planned.unreadable_below = std::move(search.unreadable);
    for (FoundFile& file : found) {
        planned.files.push_back(std::move(file.path));
        planned.sizes.push_back(file.size);
        planned.kinds.push_back(file.kind);
    }
}

// The files named in a list, each as if it stood on the command line: a folder is searched. Each
// name is let go once planned, so the list is held about once.
bool PlanFileList(const RunContext& run, const std::u16string& list, bool nul_separated,
                  platform::FolderSearch& search, PlannedStep& planned) {
    std::vector<std::u16string> names;
    if (!platform::ReadNameList(list == u"-" ? list : run.FullPath(list), nul_separated, names)) return false;
    for (std::u16string& name : names) {
        PlannedStep one{planned.step, {}, {}, {}, false, {}};
        FilesOf(run, name, one, search);
        if (one.unreadable) planned.unreadable_below.push_back(run.FullPath(name));
        for (std::u16string& below : one.unreadable_below)
            planned.unreadable_below.push_back(std::move(below));
        for (size_t i = 0; i < one.files.size(); ++i) {
            planned.files.push_back(std::move(one.files[i]));
            planned.sizes.push_back(one.sizes[i]);
            planned.kinds.push_back(one.kinds[i]);
        }
        std::u16string().swap(name);
    }
    return true;
}

// An input that every part of a sharded run takes, each its own byte range: an mbox archive.
bool SharedByRange(const RunContext& run, const std::u16string& path, FoundKind& kind) {
    if (kind == FoundKind::Mbox) return true;
    if (kind != FoundKind::Container || IsEmlxName(path) || IsMailFileName(path) ||
        !BeginsWithEnvelope(run.FullPath(path)))
        return false;
    kind = FoundKind::Mbox; // what the container reader and the first line would find
    return true;
}

// A file of a step as its kind asks: a found mail as a mail, an archive split, and anything else
// (a file argument, a container) told by the container reader and its first line.
MailResult ProcessPlannedFile(RunContext& run, const std::u16string& path, FoundKind kind,
                              RunOptions& options, size_t& failed_messages) {
    switch (kind) {
    case FoundKind::Mail:
        if (!options.forward_name.empty()) options.no_inline = false;
        return ProcessMailFile(run, path, options);
    case FoundKind::Mbox:
        return ProcessMbox(run, path, options, failed_messages);
    case FoundKind::Emlx:
        if (!options.forward_name.empty()) options.no_inline = false;
        return ProcessMailFile(run, path, options, {}, MailFileForm::Emlx);
    case FoundKind::Container:
        break;
    }
    return ProcessFileArgument(run, path, options, failed_messages);
}

// The output root that the options as they stand give, when it is there already: a folder search
// never enters it, or every run would read back the mails the last one wrote.
platform::FolderSearch SearchOutside(const RunContext& run, const std::u16string& output_folder) {
    platform::FolderSearch search;
    platform::FolderIdentity root;
    if (platform::IdentifyFolderAt(run.FullPath(output_folder.empty() ? u"output" : output_folder), root))
        search.never_entered.push_back(root);
    return search;
}

// A run started in a folder that has since been removed cannot place a relative path: the file or
// its output root (a relative "/O", or the default "output"). The path in question, or none.
std::u16string NeedsMissingStartFolder(const RunContext& run, std::u16string_view file,
                                       const RunOptions& options) {
    if (!run.start_folder.empty()) return {};
    if (file != u"-" && RunContext::NeedsStartFolder(file)) return std::u16string(file);
    if (options.date_mode) return {};
    if (options.output_folder.empty()) return u"output";
    return RunContext::NeedsStartFolder(options.output_folder) ? options.output_folder : u"";
}

struct RunPlan {
    std::vector<PlannedStep> steps;
    RunProgress progress;
    const std::u16string* unreadable_list = nullptr; ///< a file list that could not be read: nothing is run
};

// Keeps this part's share of the planned input: the files by position over the whole list (the
// order of the command line, a folder's files in the order of its search), the archives whole.
void KeepShard(const RunContext& run, const Shard& shard, RunPlan& plan) {
    if (shard.count == 1) return;
    uint64_t position = 0;
    for (PlannedStep& planned : plan.steps) {
        const CommandStep::Kind kind = planned.step->kind;
        if (kind == CommandStep::Kind::StandardInput) planned.owned = OwnsPosition(shard, position++);
        if (kind != CommandStep::Kind::File && kind != CommandStep::Kind::FileList) continue;
        size_t kept = 0;
        for (size_t i = 0; i < planned.files.size(); ++i) {
            if (!OwnsPosition(shard, position++) && !SharedByRange(run, planned.files[i], planned.kinds[i]))
                continue;
            if (kept != i) planned.files[kept] = std::move(planned.files[i]); // never moved onto itself
            planned.sizes[kept] = planned.sizes[i];
            planned.kinds[kept] = planned.kinds[i];
            ++kept;
        }
        planned.files.resize(kept);
        planned.sizes.resize(kept);
        planned.kinds.resize(kept);
        planned.files.shrink_to_fit();
    }
}

// Folders are searched before the first file is processed, so that the progress line knows how
// many files there are.
RunPlan PlanRun(const RunContext& run, const Command& command) {
    RunPlan plan;
    RunProgress& progress = plan.progress;
    bool print_anywhere = false;
    std::u16string output_folder;
    for (const CommandStep& step : command.steps) {
        PlannedStep planned{&step, {}, {}, {}, false, {}};
        if (step.kind == CommandStep::Kind::OutputFolder) output_folder = step.value;
        if (step.kind == CommandStep::Kind::File) {
            platform::FolderSearch search = SearchOutside(run, output_folder);
            FilesOf(run, step.value, planned, search);
        } else if (step.kind == CommandStep::Kind::FileList) {
            platform::FolderSearch search = SearchOutside(run, output_folder);
            if (!PlanFileList(run, step.value, command.null_separated, search, planned)) {
                plan.unreadable_list = &step.value;
                return plan;
            }
        } else if (step.kind == CommandStep::Kind::Flag && step.flag == &RunOptions::print) {
            print_anywhere = true;
        }
        plan.steps.push_back(std::move(planned));
    }
    KeepShard(run, command.shard, plan);
    for (const PlannedStep& planned : plan.steps) {
        if (planned.step->kind == CommandStep::Kind::StandardInput) ++progress.files;
        for (const uint64_t size : planned.sizes)
            progress.bytes += size;
        progress.files += planned.files.size();
    }
    progress.shown = progress.files > 1 && !print_anywhere && platform::IsTerminal(platform::Stream::Err);
    return plan;
}

// The mails to come are read ahead on a second core, all but those whose times are to be set
// (they are opened for writing).
void ReadAhead(RunContext& run, const RunPlan& plan) {
    std::vector<std::u16string> ahead;
    bool dating = false;
    for (const PlannedStep& planned : plan.steps) {
        const CommandStep& step = *planned.step;
        if (step.kind == CommandStep::Kind::Flag && step.flag == &RunOptions::date_mode) dating = true;
        if ((step.kind != CommandStep::Kind::File && step.kind != CommandStep::Kind::FileList) || dating)
            continue;
        for (size_t i = 0; i < planned.files.size(); ++i)
            if (planned.kinds[i] == FoundKind::Mail || IsMailFileName(planned.files[i]))
                ahead.push_back(run.FullPath(planned.files[i]));
    }
    run.read_ahead.Start(std::move(ahead));
}

// True (after the message) when the file cannot be processed for want of the start folder.
bool ReportMissingStartFolder(const RunContext& run, std::u16string_view file, const RunOptions& options) {
    const std::u16string relative = NeedsMissingStartFolder(run, file, options);
    if (relative.empty()) return false;
    PrintErr(u"開始時のフォルダが存在しないため、相対パスを使えません。\n->%s\n",
             {platform::DisplayPath(relative)});
    return true;
}

// Whether a planned file may be an mbox, whose messages the workers could share.
bool MayHoldMbox(const RunPlan& plan) {
    for (const PlannedStep& planned : plan.steps)
        for (size_t i = 0; i < planned.files.size(); ++i) {
            const FoundKind kind = planned.kinds[i];
            if (kind == FoundKind::Mbox ||
                (kind == FoundKind::Container && !IsMailFileName(planned.files[i]) &&
                 !IsEmlxName(planned.files[i])))
                return true;
        }
    return false;
}

// How a planned file is read when workers may take it: as a mail, or an ".emlx" message. False for
// what only the run itself may do (an archive, a container, a file it cannot place).
bool WorkerForm(const RunContext& run, const PlannedStep& planned, size_t i, const RunOptions& options,
                MailFileForm& form) {
    const std::u16string& path = planned.files[i];
    if (!NeedsMissingStartFolder(run, path, options).empty()) return false;
    const FoundKind kind = planned.kinds[i];
    if (kind == FoundKind::Emlx || (kind == FoundKind::Container && IsEmlxName(path))) {
        form = MailFileForm::Emlx;
        return true;
    }
    form = MailFileForm::Whole;
    return kind == FoundKind::Mail || (kind == FoundKind::Container && IsMailFileName(path));
}

// A file of the plan as the workers see it ahead: where it stands, and the options it will have
// at its turn as far as the steps tell (its turn checks them).
struct AheadFile {
    size_t step;
    size_t file;
    RunOptions options;
};

// An option met in the steps, set as it stands from there on; false for a file step.
bool TakeOptionStep(const CommandStep& step, RunOptions& options) {
    switch (step.kind) {
    case CommandStep::Kind::Flag:
        options.*step.flag = true;
        return true;
    case CommandStep::Kind::ForwardName:
        options.forward_name = step.value;
        return true;
    case CommandStep::Kind::OutputFolder:
        options.output_folder = step.value;
        return true;
    default:
        return false;
    }
}

std::vector<AheadFile> FilesAhead(const RunPlan& plan) {
    std::vector<AheadFile> files;
    RunOptions options;
    for (size_t s = 0; s < plan.steps.size(); ++s) {
        const CommandStep& step = *plan.steps[s].step;
        if (TakeOptionStep(step, options)) continue;
        switch (step.kind) {
        case CommandStep::Kind::Flag:
        case CommandStep::Kind::ForwardName:
        case CommandStep::Kind::OutputFolder:
            break;
        case CommandStep::Kind::StandardInput:
        case CommandStep::Kind::File:
        case CommandStep::Kind::FileList:
            // A forward name brings the inline parts back from the first mail on.
            for (size_t i = 0; i < plan.steps[s].files.size(); ++i) {
                if (!options.forward_name.empty()) options.no_inline = false;
                files.push_back({s, i, options});
            }
            if (step.kind == CommandStep::Kind::StandardInput && !options.forward_name.empty())
                options.no_inline = false;
            break;
        }
    }
    return files;
}

// The mails ahead handed to the workers, up to their window, and their turns.
struct Lookahead {
    MailWorkers& workers;
    std::vector<AheadFile> files;
    std::vector<MailJob*> handed;
    size_t next = 0;     ///< the first file not yet looked at
    size_t position = 0; ///< the file whose turn it is

    void HandOn(const RunContext& run, const RunPlan& plan) {
        for (; next < files.size() && next < position + workers.Window(); ++next) {
            const AheadFile& ahead = files[next];
            MailFileForm form;
            // Dates are set on the mails themselves, and records follow each file as it is done:
            // those mails wait for their turn.
            if (ahead.options.date_mode || run.records ||
                !WorkerForm(run, plan.steps[ahead.step], ahead.file, ahead.options, form))
                continue;
            handed[next] = &workers.Add(plan.steps[ahead.step].files[ahead.file], form, ahead.options,
                                        FileSequence(next));
        }
    }
};

// The steps in order: options as they are met, files with the options as they stand. True when
// any file failed. With workers the mails ahead are worked on meanwhile and committed at their turn.
bool ExecutePlan(RunContext& run, RunPlan& plan, MailWorkers* workers) {
    RunProgress& progress = plan.progress;
    RunOptions options;
    bool failed = false;
    std::optional<Lookahead> ahead;
    if (workers) {
        ahead.emplace(Lookahead{*workers, FilesAhead(plan), {}, 0, 0});
        ahead->handed.assign(ahead->files.size(), nullptr);
    }
    // What a file at its turn comes to: committed from a worker, or done here as without workers.
    auto turn = [&](const PlannedStep& planned, size_t i, MailResult& result) {
        if (ahead) {
            ahead->HandOn(run, plan);
            MailJob* job = ahead->handed[ahead->position];
            const uint64_t position = ahead->position++;
            if (job) {
                if (!options.forward_name.empty()) options.no_inline = false;
                if (job->options == options) return workers->Commit(run, *job, result);
                workers->Discard(*job);
            }
            auto held = workers->HoldFolders();
            workers->BeforeTurnHere(FileSequence(position));
            // An mbox here gives its messages to the workers.
            MboxTurn mbox{*workers, FileSequence(position), held};
            if (workers->shares_archives) run.mbox_turn = &mbox;
            result =
                ReportMissingStartFolder(run, planned.files[i], options)
                    ? MailResult::Failed
                    : ProcessPlannedFile(run, planned.files[i], planned.kinds[i], options, progress.failed);
            run.mbox_turn = nullptr;
            return true;
        }
        result = ReportMissingStartFolder(run, planned.files[i], options)
                     ? MailResult::Failed
                     : ProcessPlannedFile(run, planned.files[i], planned.kinds[i], options, progress.failed);
        return true;
    };
    for (const PlannedStep& planned : plan.steps) {
        if (platform::StopRequested()) break;
        const CommandStep& step = *planned.step;
        if (TakeOptionStep(step, options)) continue;
        switch (step.kind) {
        case CommandStep::Kind::Flag:
        case CommandStep::Kind::ForwardName:
        case CommandStep::Kind::OutputFolder:
            continue;
        case CommandStep::Kind::StandardInput:
            DrawProgress(progress, u"-");
            {
                std::optional<std::unique_lock<std::shared_mutex>> held;
                if (ahead) {
                    held.emplace(workers->HoldFolders());
                    workers->BeforeTurnHere(FileSequence(ahead->position));
                }
                if (ReportMissingStartFolder(run, u"-", options) ||
                    ProcessStandardInput(run, options, progress.failed, planned.owned) ==
                        MailResult::Failed) {
                    failed = true;
                    ++progress.failed;
                }
            }
            ++progress.files_done;
            break;
        case CommandStep::Kind::File:
        case CommandStep::Kind::FileList:
            if (planned.unreadable) {
                PrintErr(u"フォルダを読み込めませんでした。\n->%s\n",
                         {platform::DisplayPath(run.FullPath(run.start_folder + u"/" + step.value))});
                failed = true;
            }
            for (const std::u16string& folder : planned.unreadable_below) {
                PrintErr(u"フォルダを読み込めませんでした。\n->%s\n", {platform::DisplayPath(folder)});
                failed = true;
            }
            for (size_t i = 0; i < planned.files.size() && !platform::StopRequested(); ++i) {
                DrawProgress(progress, planned.files[i]);
                MailResult result = MailResult::Failed;
                if (!turn(planned, i, result)) break; // the run stopped before the mail was begun
                if (result == MailResult::Failed) {
                    failed = true;
                    ++progress.failed;
                }
                ++progress.files_done;
                progress.bytes_done += planned.sizes[i];
                platform::ConsoleFlush();
            }
            break;
        }
        platform::ConsoleFlush();
    }
    if (workers) workers->Drop();
    return failed;
}

} // namespace

bool IsMailFileName(std::u16string_view argument) {
    size_t dot = argument.rfind(u'.');
    if (dot == std::u16string_view::npos) return false;
    std::u16string_view extension = argument.substr(dot);
    return extension.size() >= 4 && platform::EqualsNoCaseAscii(extension.substr(0, 4), u".eml");
}

Command ParseCommand(const std::vector<std::u16string>& arguments) {
    Command command;
    std::vector<std::u16string> pending_options; // options since the last file
    bool only_files = false;
    bool standard_input_read = false; // by "-" or "--files-from -": it can be read once
    auto fail = [&](std::u16string_view argument, bool missing_value) {
        command.action = Command::Action::UsageError;
        command.bad_option = argument;
        command.missing_value = missing_value;
        return command;
    };
    auto fail_value = [&](std::u16string_view option, std::u16string_view value) {
        command.bad_value = value;
        command.value_refused = true;
        return fail(option, false);
    };
    auto reads_standard_input = [&](std::u16string_view value) {
        if (value != u"-") return false;
        if (!standard_input_read) {
            standard_input_read = true;
            return false;
        }
        command.standard_input_twice = true;
        return true;
    };
    auto file = [&](CommandStep::Kind kind, std::u16string_view value) {
        command.steps.push_back({kind, nullptr, std::u16string(value)});
        pending_options.clear();
    };
    // A list of files stands where it is met, like a file; the run's own settings are no step and
    // are never options left after the last file.
    auto added = [&](const OptionRow& row) {
        if (row.value == ValueKind::FileList) pending_options.clear();
        if (SetsWholeRun(row)) pending_options.pop_back();
    };
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::u16string& argument = arguments[i];
        if (only_files) {
            file(CommandStep::Kind::File, argument);
            continue;
        }
        if (const OptionRow* row = DesignedOption(argument)) {
            pending_options.push_back(argument);
            // A designed option that takes a value consumes the next argument, whatever it is; one
            // that stands last changes nothing.
            if (row->value != ValueKind::None) {
                if (++i >= arguments.size()) break;
                pending_options.back() += u" " + arguments[i];
            }
            command.steps.push_back(StepFor(*row, i < arguments.size() ? arguments[i] : u""));
            continue;
        }
        if (argument == u"-") {
            if (reads_standard_input(argument)) return fail(argument, false);
            file(CommandStep::Kind::StandardInput, argument);
            continue;
        }
        if (argument == u"--") {
            only_files = true;
            continue;
        }
        if (argument.size() > 2 && argument.compare(0, 2, u"--") == 0) {
            std::u16string_view name = std::u16string_view(argument).substr(2);
            size_t equals = name.find(u'=');
            std::u16string_view attached;
            const bool has_value = equals != std::u16string_view::npos;
            if (has_value) {
                attached = name.substr(equals + 1);
                name = name.substr(0, equals);
            }
            name = WholeLongName(name);
            if (name == u"manifest" || name == u"dedupe" || name == u"resume") {
                if (name == u"resume") {
                    if (has_value) return fail(argument, false);
                    command.records.resume = true;
                    continue;
                }
                if (!has_value) {
                    if (++i >= arguments.size()) return fail(argument, true);
                    attached = arguments[i];
                }
                if (!TakeRecordOption(command.records, name, attached)) return fail(argument, false);
                continue;
            }
            if (name == u"help" || name == u"version") {
                if (has_value) return fail(argument, false);
                command.action = name == u"help" ? Command::Action::Help : Command::Action::Version;
                return command;
            }
            const OptionRow* row = LongOption(name);
            if (!row || (has_value && !TakesValue(*row))) return fail(argument, false);
            pending_options.push_back(argument);
            if (TakesValue(*row) && !has_value) {
                if (++i >= arguments.size()) return fail(argument, true);
                attached = arguments[i];
                pending_options.back() += u" " + arguments[i];
            }
            const std::u16string option = u"--" + std::u16string(name);
            if (row->value == ValueKind::FileList && reads_standard_input(attached))
                return fail(option, false);
            if (!AddOption(command, *row, attached)) return fail_value(option, attached);
            added(*row);
            continue;
        }
        if (argument.size() > 1 && argument[0] == u'-') {
            // A bundle of short options ("-pl"); one that takes a value takes the rest of the
            // argument, or the next argument.
            pending_options.push_back(argument);
            bool only_whole_run = true; // "-0": nothing of it is left after the last file
            for (size_t at = 1; at < argument.size(); ++at) {
                char16_t letter = argument[at];
                if (letter == u'h' || letter == u'V') {
                    command.action = letter == u'h' ? Command::Action::Help : Command::Action::Version;
                    return command;
                }
                if (letter == u'm') {
                    std::u16string_view value = std::u16string_view(argument).substr(at + 1);
                    if (value.empty()) {
                        if (++i >= arguments.size()) return fail(argument, true);
                        value = arguments[i];
                    }
                    (void)TakeRecordOption(command.records, u"manifest", value);
                    break;
                }
                const OptionRow* row = ShortOption(letter);
                if (!row) return fail(argument, false);
                only_whole_run = only_whole_run && SetsWholeRun(*row);
                if (!TakesValue(*row)) {
                    if (!AddOption(command, *row, {})) return fail(argument, false);
                    if (at + 1 == argument.size() && only_whole_run) pending_options.pop_back();
                    continue;
                }
                std::u16string_view value = std::u16string_view(argument).substr(at + 1);
                if (value.empty()) {
                    if (++i >= arguments.size()) return fail(argument, true);
                    value = arguments[i];
                    pending_options.back() += u" " + arguments[i];
                }
                if (!AddOption(command, *row, value)) return fail_value(argument, value);
                if (only_whole_run) pending_options.pop_back();
                break;
            }
            continue;
        }
        file(CommandStep::Kind::File, argument);
    }
    command.options_after_last_file = pending_options;
    command.arguments = arguments;
    if (command.records.resume && command.records.manifest.empty()) {
        command.action = Command::Action::UsageError;
        command.resume_without_manifest = true;
    }
    return command;
}

ExitStatus RunCommand(RunContext& run, const Command& command) {
    const RunContextInUse bound(run);
    switch (command.action) {
    case Command::Action::Help:
        platform::ConsoleWrite(platform::Stream::Out, Localize(kUsageJapanese));
        return ExitStatus::Processed;
    case Command::Action::Version:
        platform::ConsoleWrite(platform::Stream::Out, u"dornick " + platform::Ascii(DORNICK_VERSION) + u"\n");
        return ExitStatus::Processed;
    case Command::Action::UsageError:
        if (command.resume_without_manifest)
            PrintErr(u"dornick: --resume には --manifest が必要です。\n詳しくは \"dornick --help\" "
                     u"を実行してください。\n");
        else if (command.standard_input_twice)
            PrintErr(u"dornick: 標準入力は一度しか読めません: %s\n詳しくは \"dornick --help\" "
                     u"を実行してください。\n",
                     {command.bad_option});
        else if (command.value_refused)
            PrintErr(u"dornick: オプション %s の値が正しくありません: %s\n詳しくは \"dornick --help\" "
                     u"を実行してください。\n",
                     {command.bad_option, command.bad_value});
        else if (command.missing_value)
            PrintErr(u"dornick: オプション %s には値が必要です。\n詳しくは \"dornick --help\" "
                     u"を実行してください。\n",
                     {command.bad_option});
        else
            PrintErr(u"dornick: 不明なオプションです: %s\n詳しくは \"dornick --help\" を実行してください。\n",
                     {command.bad_option});
        return ExitStatus::UsageError;
    case Command::Action::Run:
        break;
    }
    if (!command.options_after_last_file.empty()) {
        std::u16string listed;
        for (const std::u16string& option : command.options_after_last_file)
            listed += (listed.empty() ? u"" : u" ") + option;
        PrintErr(u"dornick: 警告: 最後のファイルの後のオプションは使われません: %s\n", {listed});
    }

    run.shard = command.shard;
    RunPlan plan = PlanRun(run, command);
    if (plan.unreadable_list != nullptr) {
        const std::u16string& list = *plan.unreadable_list;
        PrintErr(u"dornick: ファイル一覧を読み込めませんでした: %s\n",
                 {list == u"-" ? list : platform::DisplayPath(run.FullPath(list))});
        return ExitStatus::UsageError;
    }
    RunRecords records(command.records);
    if (command.records.Any() || command.records.resume) {
        if (!OpenRecords(run, command, records)) return ExitStatus::UsageError;
        run.records = &records;
        records.MadeBy(&run.writer);
        plan.progress.records = &records;
    }
    // With workers each reads its own mails; "-j 1" is the run as it has always been, and so is a
    // run of one mail (the front end's children); one mbox shares its messages out.
    // An mbox's messages are shared out when workers are asked for, and by default only where
    // more than two processors may be had: with two, the committer and the archive's reader take
    // most of one between them, and linking the workers' files in costs more than the second
    // worker gains (measured: 0.26 s against 0.20 s for the 2,000 messages of the benchmark).
    const int jobs = command.jobs > 0 ? command.jobs : DefaultJobs();
    const bool share_archives = command.jobs > 0 || jobs > 2;
    std::optional<MailWorkers> workers;
    if (jobs > 1 && !run.records && (plan.progress.files > 1 || (share_archives && MayHoldMbox(plan))))
        workers.emplace(run, jobs);
    if (workers) workers->shares_archives = share_archives;
    if (!workers || !workers->Running()) {
        workers.reset();
        ReadAhead(run, plan);
    }
    const bool failed = ExecutePlan(run, plan, workers ? &*workers : nullptr);
    workers.reset();
    run.read_ahead.Stop();
    // A stopped run also writes its run record, clears its progress line and tells what it did.
    const bool interrupted = platform::Interrupted();
    const ExitStatus status =
        interrupted
            ? (platform::InterruptSignal() == SIGINT ? ExitStatus::StoppedByInt : ExitStatus::StoppedByTerm)
        : failed ? ExitStatus::SomeFailed
                 : ExitStatus::Processed;
    if (run.records) {
        records.Settle();
        if (command.records.resume)
            PrintOut(u"記録により完了済みのメール %s 通を処理しませんでした。\n",
                     {Number(records.passed_over)});
        records.Write(RunRecordText(records, command, run.writer.tally(), static_cast<int>(status)));
        records.Flush();
        run.records = nullptr;
    }
    PrintSummary(plan.progress, run.writer.tally());
    if (interrupted) return EndInterruptedRun(run);
    return status;
}

int RunEntry(int argc, char** argv) {
    platform::InitConsole();
    platform::InstallInterruptHandlers();
    // The current directory is read here, once: relative paths are taken against it.
    RunContext run;
    run.messages.language = LanguageFromEnvironment(std::getenv("DORNICK_MESSAGES"), std::getenv("LC_ALL"),
                                                    std::getenv("LC_MESSAGES"), std::getenv("LANG"));
    const RunContextInUse bound(run);
    if (argc < 2) {
        platform::ConsoleWrite(platform::Stream::Err, Localize(kUsageJapanese));
        return static_cast<int>(ExitStatus::Processed);
    }
    std::vector<std::u16string> arguments;
    arguments.reserve(static_cast<size_t>(argc - 1));
    for (int i = 1; i < argc; ++i)
        arguments.push_back(platform::PathFromNative(argv[i]));
    const ExitStatus status = RunCommand(run, ParseCommand(arguments));
    platform::ConsoleFlush();
    run.icu.Release();
    u_cleanup();
    return static_cast<int>(status);
}

} // namespace dornick
