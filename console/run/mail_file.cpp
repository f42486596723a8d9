#include "console/run/mail_file.h"

#include "console/header/mail_date.h"
#include "console/header/sanitize_file_name.h"
#include "console/run/mail_state.h"
#include "console/run/messages.h"
#include "console/run/mime_walk.h"
#include "platform/paths.h"

namespace dornick {
namespace {

constexpr size_t kLongPathLimit = 32764;

void EnsureTrailingSeparator(std::u16string& path) {
    if (!path.empty() && path.back() != u'/') path.push_back(u'/');
}

// Opens and maps the mail file; false (after its message, if any) when there is nothing to walk.
bool MapMailFile(MailState& mail, std::u16string_view full_path, bool writable) {
    platform::OpenStatus status = platform::RetryWhileContended(
        [&] { return platform::OpenSharedExisting(full_path, writable, mail.file); });
    if (status != platform::OpenStatus::Ok) {
        PrintErr(u"メールファイルを開けませんでした。\n->%s\n", {mail.mail_path});
        return false;
    }
    if (!platform::QueryFileSize(mail.file)) {
        PrintErr(u"ファイルサイズの取得に失敗しました。\n->%s\n", {mail.mail_path});
        return false;
    }
    if (mail.file.size == 0) return false;
    if (!platform::MapWholeFile(mail.file)) {
        PrintErr(u"ファイルマッピングに失敗しました。\n->%s\n", {mail.mail_path});
        return false;
    }
    mail.cursor = MakeLineCursor(mail.file.data, mail.file.size);
    return true;
}

// Makes the output root current. With "/O" the folder chain is created when missing; without it
// the folder "output" beside the program. False (after the message) when the mail cannot go on.
bool EnterOutputRoot(MailState& mail, const std::u16string& program_folder) {
    const RunOptions& options = *mail.options;
    if (!options.output_folder.empty()) {
        std::u16string root = platform::FullPath(options.output_folder);
        EnsureTrailingSeparator(root);
        mail.output_root = root;
        if (root.size() + 1 > kLongPathLimit) {
            PrintErr(u"フォルダパスが長すぎます。\n->%s\n", {platform::DisplayPath(root)});
            return false;
        }
        if (!platform::PathExists(root) && !platform::SetCurrentFolder(root)) {
            if (platform::CreateFolderChain(root) == 1) {
                PrintErr(u"指定されたフォルダが作成出来ませんでした。\n->%s\n",
                         {platform::DisplayPath(root)});
                return false;
            }
            PrintOut(u"フォルダを作成しました。\n->%s\n\n", {platform::DisplayPath(root)});
            LogAppendFormat(mail.log, u"フォルダを作成しました。\r\n->%s\r\n\r\n",
                            {platform::DisplayPath(root)});
        }
        // A root that exists but cannot be entered (a file of that name, no permission) would
        // leave the output in the program's folder: the mail stops here instead.
        if (!platform::SetCurrentFolder(root)) {
            PrintErr(u"指定されたフォルダが作成出来ませんでした。\n->%s\n", {platform::DisplayPath(root)});
            return false;
        }
        return true;
    }
    std::u16string shown = platform::DisplayPath(program_folder);
    if (shown.size() == 1) shown.clear(); // the root folder: "/output", not "//output"
    if (!platform::PathExists(u"output")) {
        if (platform::MakeFolder(u"output") != 0) {
            PrintErr(u"outputフォルダが作成出来ません。終了します。\n->%s/output\n", {shown});
            return false;
        }
        PrintOut(u"outputフォルダを作成しました。\n->%s/output\n\n", {shown});
        LogAppendFormat(mail.log, u"outputフォルダを作成しました。\r\n->%s/output\r\n\r\n", {shown});
    }
    mail.output_root = program_folder + u"output/";
    if (!platform::SetCurrentFolder(mail.output_root)) {
        PrintErr(u"outputフォルダが作成出来ません。終了します。\n->%s/output\n", {shown});
        return false;
    }
    return true;
}

// Date mode: the mail file's times become the mail's date. A date that gives no time (all fields
// zero) changes nothing and so reports nothing.
void StampMailFile(MailState& mail) {
    if (mail.date_text.empty()) return;
    std::u16string text = mail.date_text;
    SanitizeFileName(text, false);
    ParseMailDate(text, mail.mail_time);
    if (mail.mail_time.IsZero()) return;
    std::time_t when;
    if (!platform::LocalTimeToEpoch(mail.mail_time, when) || !platform::SetFileTimes(mail.file.fd, when))
        return;
    if (mail.options->print)
        PrintOut(u"作成日時を %s %s に変更しました。\n->\"%s\"\n\n",
                 {platform::FormatLongDate(mail.mail_time), platform::FormatLongTime(mail.mail_time),
                  mail.mail_path});
}

void EndMail(MailState& mail, WalkEnd end) {
    platform::CloseMappedFile(mail.file);
    if (mail.output_written) {
        if (mail.log_on) LogAppend(mail.log, u"\r\n");
        if (end == WalkEnd::NoLineLeft && mail.options->print) PrintOut(u"\n");
    }
    if (mail.log_on) LogWriteFile(mail.log.text, mail.output_root);
}

} // namespace

void ProcessMailFile(std::u16string_view argument, const RunOptions& options) {
    MailState mail;
    mail.options = &options;
    const std::u16string program_folder = platform::ProgramFolder();
    platform::SetCurrentFolder(program_folder);
    mail.output_root = program_folder;
    // A relative mail path is taken relative to the program's folder, which is now current.
    const std::u16string full_path = platform::FullPath(argument);
    mail.mail_path = platform::DisplayPath(full_path);

    if (!MapMailFile(mail, full_path, options.date_mode)) {
        platform::CloseMappedFile(mail.file);
        return;
    }
    if (options.date_mode) {
        MimeWalk(mail);
        StampMailFile(mail);
        platform::CloseMappedFile(mail.file);
        return;
    }
    if (!EnterOutputRoot(mail, program_folder)) {
        platform::CloseMappedFile(mail.file);
        return;
    }
    mail.log_on = options.log;
    EndMail(mail, MimeWalk(mail));
}

} // namespace dornick
