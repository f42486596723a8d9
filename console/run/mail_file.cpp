#include "console/run/mail_file.h"

#include <algorithm>
#include <cerrno>

#include "console/header/mail_date.h"
#include "console/header/sanitize_file_name.h"
#include "console/run/archive_run.h"
#include "console/run/archive_search.h"
#include "console/run/deferred_mail.h"
#include "console/run/mail_records.h"
#include "console/run/mail_state.h"
#include "console/run/mbox_split.h"
#include "console/run/messages.h"
#include "console/run/mime_walk.h"
#include "console/run/msg_mail.h"
#include "console/run/run_context.h"
#include "console/run/run_records.h"
#include "platform/paths.h"
#include "platform/read_ahead.h"
#include "platform/text.h"

namespace dornick {
namespace {

constexpr size_t kLongPathLimit = 32764;

void EnsureTrailingSeparator(std::u16string& path) {
    if (!path.empty() && path.back() != u'/') path.push_back(u'/');
}

enum class Mapping { Mapped, Empty, Failed };

// Opens and maps the mail file. Empty (an empty file, nothing said) and Failed (after its message)
// leave nothing to walk.
Mapping MapMailFile(MailState& mail, std::u16string_view full_path, bool writable) {
    if (!writable && mail.run->read_ahead.Take(full_path, mail.file)) {
        mail.source.Start(mail.file.data, mail.file.size);
        return Mapping::Mapped;
    }
    // A mail another process holds locked is waited for; the wait is said once, when it begins, so
    // that minutes of silence do not look like a hang.
    bool waiting = false;
    platform::OpenStatus status = platform::RetryWhileContended(
        [&] {
            const platform::OpenStatus tried = platform::OpenSharedExisting(full_path, writable, mail.file);
            if (tried == platform::OpenStatus::Contended && !waiting) {
                waiting = true;
                PrintErr(u"メールファイルのロックが解除されるのを待っています。\n->%s\n", {mail.mail_path});
                platform::ConsoleFlush();
            }
            return tried;
        },
        mail.run->mail_lock_retry);
    if (status == platform::OpenStatus::Contended) {
        PrintErr(u"メールファイルが他のプロセスにロックされているため開けませんでした。\n->%s\n",
                 {mail.mail_path});
        return Mapping::Failed;
    }
    if (status != platform::OpenStatus::Ok) {
        PrintErr(u"メールファイルを開けませんでした。\n->%s\n", {mail.mail_path});
        return Mapping::Failed;
    }
    if (!platform::QueryFileSize(mail.file)) {
        PrintErr(u"ファイルサイズの取得に失敗しました。\n->%s\n", {mail.mail_path});
        return Mapping::Failed;
    }
    if (mail.file.size == 0) return Mapping::Empty;
    if (!platform::MapWholeFile(mail.file)) {
        PrintErr(u"ファイルマッピングに失敗しました。\n->%s\n", {mail.mail_path});
        return Mapping::Failed;
    }
    mail.source.Start(mail.file.data, mail.file.size);
    return Mapping::Mapped;
}

// Where the mail lies in its mapped file: the message of an ".emlx" file alone, and without a
// leading envelope line ("From ...", as mail readers save a message), whose date is kept in
// `envelope_date`. False (after its message) for an ".emlx" file without its count line.
bool FindMessageInFile(MailState& mail, MailFileForm form, std::string& envelope_date) {
    constexpr uint64_t kEmlxCountBytes = 64;
    const unsigned char* data = mail.file.data;
    uint64_t size = mail.file.size;
    if (form == MailFileForm::Emlx) {
        uint64_t offset = 0;
        uint64_t length = 0;
        const std::string_view start(reinterpret_cast<const char*>(data),
                                     static_cast<size_t>(std::min(size, kEmlxCountBytes)));
        if (!EmlxMessageSpan(start, size, offset, length)) {
            PrintErr(u"emlx ファイルの形式が正しくありません。\n->%s\n", {mail.mail_path});
            return false;
        }
        data += offset;
        size = length;
    }
    const uint64_t envelope = EnvelopeLineLength(data, size);
    std::string_view line(reinterpret_cast<const char*>(data), static_cast<size_t>(envelope));
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    envelope_date.assign(EnvelopeDate(line));
    mail.source.Start(data + envelope, size - envelope);
    return true;
}

// The envelope line's date stands for the mail's date until a "Received:" or "Date:" line of the
// mail replaces it.
void TakeEnvelopeDate(MailState& mail, std::string_view date) {
    if (!date.empty()) mail.facts.date_text = u"Date: " + platform::WidenBytes(date);
}

// The full path of the output root, ending with "/": "/O", or the folder "output" in the start folder.
std::u16string OutputRootPath(const MailState& mail, const std::u16string& start_folder) {
    const RunOptions& options = *mail.options;
    if (options.output_folder.empty()) return start_folder + u"output/";
    std::u16string root = mail.run->FullPath(options.output_folder);
    EnsureTrailingSeparator(root);
    return root;
}

// Opens the output root as `handle`. With "/O" the folder chain is created when missing; without it
// the folder "output" in the start folder. False (after the message) when the mail cannot go on.
bool OpenOutputRootFolder(MailState& mail, const std::u16string& start_folder, platform::UniqueFd& handle) {
    const RunOptions& options = *mail.options;
    if (!options.output_folder.empty()) {
        const std::u16string root = OutputRootPath(mail, start_folder);
        mail.output_root = root;
        if (root.size() + 1 > kLongPathLimit) {
            PrintErr(u"フォルダパスが長すぎます。\n->%s\n", {platform::DisplayPath(root)});
            return false;
        }
        // Most mails find the root there: opening it is the one look the file system needs.
        if ((handle = platform::OpenFolder(root))) return true;
        // Making the root says so: a worked-ahead mail leaves that to its turn.
        if (MustWaitForTurn()) return false;
        if (!platform::PathExists(root)) {
            // Another run that creates the same root at the same moment wins or loses the race
            // to the last folder: the loser finds the folder there and goes on without a word.
            const int made = platform::CreateFolderChain(root);
            const int error = errno;
            if (made == 1 && platform::IsFolder(root) && (handle = platform::OpenFolder(root))) return true;
            if (made == 1) {
                if (!ReportOutOfDescriptors(error, platform::DisplayPath(root)))
                    PrintErr(u"指定されたフォルダが作成出来ませんでした。\n->%s\n",
                             {platform::DisplayPath(root)});
                return false;
            }
            PrintOut(u"フォルダを作成しました。\n->%s\n\n", {platform::DisplayPath(root)});
            LogAppendFormat(mail.log, u"フォルダを作成しました。\r\n->%s\r\n\r\n",
                            {platform::DisplayPath(root)});
        }
        // A root that exists but cannot be opened as a folder (a file of that name, no permission)
        // would leave the output nowhere: the mail stops here instead.
        if (!(handle = platform::OpenFolder(root))) {
            if (!ReportOutOfDescriptors(errno, platform::DisplayPath(root)))
                PrintErr(u"指定されたフォルダが作成出来ませんでした。\n->%s\n",
                         {platform::DisplayPath(root)});
            return false;
        }
        return true;
    }
    std::u16string shown = platform::DisplayPath(start_folder);
    if (shown.size() == 1) shown.clear(); // the root folder: "/output", not "//output"
    mail.output_root = OutputRootPath(mail, start_folder);
    if ((handle = platform::OpenFolder(mail.output_root))) return true;
    if (MustWaitForTurn()) return false;
    const std::u16string output = start_folder + u"output";
    if (!platform::PathExists(output)) {
        const int made = platform::MakeFolderAt(platform::kCurrentFolder, output);
        if (made == EEXIST && platform::IsFolder(output)) {
            // made by another run meanwhile
        } else if (made != 0) {
            PrintErr(u"outputフォルダが作成出来ません。終了します。\n->%s/output\n", {shown});
            return false;
        } else {
            PrintOut(u"outputフォルダを作成しました。\n->%s/output\n\n", {shown});
            LogAppendFormat(mail.log, u"outputフォルダを作成しました。\r\n->%s/output\r\n\r\n", {shown});
        }
    }
    if (!(handle = platform::OpenFolder(mail.output_root))) {
        if (!ReportOutOfDescriptors(errno, platform::DisplayPath(output)))
            PrintErr(u"outputフォルダが作成出来ません。終了します。\n->%s/output\n", {shown});
        return false;
    }
    return true;
}

// The output root as the mail's root handle: the one the run keeps while its path still gives that
// folder, else opened (and made) as for the run's first mail, and kept for the next ones.
bool OpenOutputRoot(MailState& mail, const std::u16string& start_folder) {
    KeptFolders& kept = mail.run->kept_folders;
    const std::u16string root = OutputRootPath(mail, start_folder);
    if (const int fd = KeptRoot(kept, root); fd >= 0) {
        mail.output_root = root;
        mail.output.root.Lend(fd);
        return true;
    }
    platform::UniqueFd handle;
    if (!OpenOutputRootFolder(mail, start_folder, handle)) return false;
    if (const int fd = KeepRoot(kept, mail.output_root, handle); fd >= 0)
        mail.output.root.Lend(fd);
    else
        mail.output.root = std::move(handle);
    return true;
}

// Date mode: the mail file's times become the mail's date. A date that cannot be read whole
// changes nothing and so reports nothing; a time that was read but could not be set is reported,
// and false.
bool StampMailFile(MailState& mail) {
    if (mail.facts.date_text.empty()) return true;
    std::u16string text = mail.facts.date_text;
    SanitizeFileName(text, false);
    if (!ParseMailDate(text, mail.facts.mail_time)) return true;
    std::time_t when;
    if (!platform::JapanTimeToEpoch(mail.facts.mail_time, when) ||
        !platform::SetFileTimes(mail.file.fd, when)) {
        PrintErr(u"作成日時を変更出来ませんでした。\n->\"%s\"\n", {mail.mail_path});
        return false;
    }
    if (!mail.options->print) return true;
    // The date is shown as the mail gives it in Japan time, in the words of the message's language.
    const bool japanese = MessageLanguage() == Language::Japanese;
    PrintOut(u"作成日時を %s %s に変更しました。\n->\"%s\"\n\n",
             {japanese ? platform::FormatLongDate(mail.facts.mail_time)
                       : platform::FormatTime(mail.facts.mail_time, u"EEEE, MMMM d, yyyy"),
              japanese ? platform::FormatLongTime(mail.facts.mail_time)
                       : platform::FormatTime(mail.facts.mail_time, u"H:mm:ss"),
              mail.mail_path});
    return true;
}

// A mail that another process cut short while it was mapped: its walk ended over zero bytes where
// the cut-off part stood. True (after the message) when that happened.
bool ReportShrunkMail(MailState& mail) {
    if (!platform::MappingShrank(mail.file)) return false;
    PrintErr(u"メールファイルが読み込み中に短くなりました。\n->%s\n", {mail.mail_path});
    return true;
}

// The bytes of the mail from where its walk starts.
uint64_t MailSize(const MailState& mail) {
    const LineCursor here = mail.source.Here();
    return here.last && here.start ? static_cast<uint64_t>(here.last - here.start + 1) : 0;
}

MailResult EndMail(MailState& mail, WalkEnd end) {
    if (ReportShrunkMail(mail)) mail.output_failed = true;
    platform::CloseMappedFile(mail.file);
    if (mail.output_written) {
        if (mail.log_on) LogAppend(mail.log, u"\r\n");
        if (end == WalkEnd::NoLineLeft && mail.options->print) PrintOut(u"\n");
    }
    mail.output.folder.Reset();
    mail.output.folder_below_root.clear();
    bool logged = !mail.log_on || LogWriteFile(mail.log.text, mail.output_root, platform::RetryPolicy{},
                                               mail.output.root.Get());
    return logged && !mail.output_failed ? MailResult::Done : MailResult::Failed;
}

// A mail of the run with these options. Relative paths (the mail, "/O", the default "output") are
// taken against the run's start folder, which is the output root until the real one is opened;
// the start folder is returned.
std::u16string BeginMail(MailState& mail, RunContext& run, const RunOptions& options) {
    mail.run = &run;
    mail.options = &options;
    mail.output_root = run.FullPath(run.start_folder + u"/");
    return mail.output_root;
}

} // namespace

MailResult ProcessMailState(MailState& mail, RunContext& run, const std::u16string& full_path,
                            const RunOptions& options, std::u16string_view shown_path, MailFileForm form);

MailResult ProcessMailFile(RunContext& run, std::u16string_view argument, const RunOptions& options,
                           std::u16string_view shown_path, MailFileForm form) {
    const RunContextInUse bound(run);
    const std::u16string full_path = run.FullPath(argument);
    // Standard input has no path an earlier run could have recorded.
    const bool recorded = run.records && !options.date_mode && shown_path != u"-";
    if (recorded && run.records->PassOver(full_path, 1)) return MailResult::Done;
    MailState mail;
    mail.record.on = recorded;
    mail.record.source = full_path;
    const MailResult result = ProcessMailState(mail, run, full_path, options, shown_path, form);
    if (recorded) RecordMail(mail, result);
    return result;
}

MailResult ProcessMailState(MailState& mail, RunContext& run, const std::u16string& full_path,
                            const RunOptions& options, std::u16string_view shown_path, MailFileForm form) {
    const std::u16string start_folder = BeginMail(mail, run, options);
    mail.mail_path =
        ShownText(shown_path.empty() ? platform::DisplayPath(full_path) : std::u16string(shown_path));

    const Mapping mapping = MapMailFile(mail, full_path, options.date_mode);
    if (mapping != Mapping::Mapped) {
        platform::CloseMappedFile(mail.file);
        return mapping == Mapping::Empty ? MailResult::Done : MailResult::Failed;
    }
    std::string envelope_date;
    if (!FindMessageInFile(mail, form, envelope_date)) {
        platform::CloseMappedFile(mail.file);
        return MailResult::Failed;
    }
    // A compound file is a message file, whatever its name; anything else is read as a mail.
    const bool message_file = IsMsgMail(mail);
    if (options.date_mode) {
        if (message_file)
            MsgMailDate(mail);
        else
            MimeWalk(mail);
        const bool shrunk = ReportShrunkMail(mail);
        const bool stamped = shrunk || StampMailFile(mail);
        platform::CloseMappedFile(mail.file);
        return shrunk || !stamped ? MailResult::Failed : MailResult::Done;
    }
    if (!OpenOutputRoot(mail, start_folder)) {
        platform::CloseMappedFile(mail.file);
        return MailResult::Failed;
    }
    mail.log_on = options.log;
    TakeEnvelopeDate(mail, envelope_date);
    if (mail.record.on)
        BeginMailRecord(mail, full_path, 1, mail.source.FileStart() - mail.file.data, MailSize(mail));
    return EndMail(mail, message_file ? MsgMailWalk(mail) : MimeWalk(mail));
}

MailResult ProcessArchiveMail(RunContext& run, const ArchiveMail& message, const RunOptions& options) {
    const RunContextInUse bound(run);
    const bool recorded = run.records && !message.source.empty();
    if (recorded && run.records->PassOver(message.source, message.number)) return MailResult::Done;
    MailState mail;
    const std::u16string start_folder = BeginMail(mail, run, options);
    mail.mail_path = message.shown;
    mail.source.Start(message.data, message.size);
    MailResult result = MailResult::Failed;
    if (OpenOutputRoot(mail, start_folder)) {
        mail.log_on = options.log;
        TakeEnvelopeDate(mail, message.envelope_date);
        if (recorded) BeginMailRecord(mail, message.source, message.number, message.offset, message.size);
        result = EndMail(mail, MimeWalk(mail));
    } else {
        mail.record.on = recorded;
        mail.record.source = message.source;
        mail.record.message = message.number;
        mail.record.offset = message.offset;
        mail.record.error = "output-root";
    }
    if (recorded) RecordMail(mail, result);
    return result;
}

} // namespace dornick
