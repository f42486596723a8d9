#include "console/run/mail_folders.h"

#include <cerrno>

#include "console/decode/ascii_text.h"
#include "console/header/charset_conversion.h"
#include "console/header/mail_date.h"
#include "console/header/nfc.h"
#include "console/header/sanitize_file_name.h"
#include "console/header/unique_file_name.h"
#include "console/run/deferred_mail.h"
#include "console/run/messages.h"
#include "console/run/run_context.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace dornick {
namespace {

// An address as the mail has it (widened bytes) converted as UTF-8, or by detection when it is not.
std::u16string ConvertAddress(const std::u16string& widened, bool japanese_mail) {
    const std::string bytes = NarrowUnits(widened);
    std::u16string text;
    if (ConvertToUnicode(bytes, text, u"UTF-8", 1, japanese_mail) == -1)
        ConvertToUnicode(bytes, text, u"", 1, japanese_mail);
    NormalizeNfc(text);
    return text;
}

// The folder entered, added to the mail's path below the root; spelled as the system gives the
// name back, as a path read from the folder would be.
void AddBelowRoot(MailState& mail, std::u16string_view name) {
    mail.output.folder_below_root += platform::PathFromNative(platform::NativePath(name)) + u"/";
}

// Makes (if missing) and enters one folder of the mail's current one; a name too long for the file
// system is shortened, and a symbolic link or a file in its place is not entered. Such a folder is
// reported like any folder that cannot be made and fails the mail; its files then land in the
// folder above, so that none is lost.
void EnterMailFolder(MailState& mail, std::u16string name) {
    std::u16string none;
    FitToNameBytes(name, none, 0);
    const int parent = mail.output.Here();
    // In the output root the log's name is the log's: the folder takes the first counted form that
    // is no file (an attachment of that name was counted the same way).
    if (parent == mail.output.root.Get() && name == kLogFileName) {
        if (MustWaitForTurn()) return;
        uint64_t n = 1;
        name = CountedFileName(kLogFileName, n);
        while (platform::NameExistsAt(parent, name) && !platform::OpenFolderNoFollowAt(parent, name))
            name = CountedFileName(kLogFileName, ++n);
    }
    // Most folders are there already (an earlier mail of the sender or the day made them), and
    // often still open.
    KeptFolders* kept = mail.run ? &mail.run->kept_folders : nullptr;
    const std::string native = kept ? platform::NativePath(name) : std::string();
    if (kept)
        if (const int fd = KeptFolder(*kept, parent, native); fd >= 0) {
            mail.output.folder.Lend(fd);
            AddBelowRoot(mail, name);
            return;
        }
    platform::UniqueFd entered = platform::OpenFolderNoFollowAt(parent, name);
    int error = 0;
    if (!entered) {
        DeferredMail* deferred = BoundDeferredMail();
        if (deferred && deferred->enter_folder) {
            entered = deferred->enter_folder(parent, name, error);
            // A folder that a mail ahead of its turn cannot enter is left to its turn, which
            // sees the folders as a run without workers would.
            if (!entered && MustWaitForTurn()) return;
        } else {
            const int made = platform::MakeFolderAt(parent, name);
            if (made == 0 || made == EEXIST) {
                entered = platform::OpenFolderNoFollowAt(parent, name);
                error = entered ? 0 : errno;
            } else {
                error = made;
            }
        }
    }
    if (entered) {
        if (const int fd = kept ? KeepFolder(*kept, parent, native, entered) : -1; fd >= 0)
            mail.output.folder.Lend(fd);
        else
            mail.output.folder = std::move(entered);
        AddBelowRoot(mail, name);
        return;
    }
    const std::u16string shown = platform::DisplayPath(platform::FolderPath(parent) + u"/" + name);
    if (!ReportOutOfDescriptors(error, shown))
        PrintErr(u"指定されたフォルダが作成出来ませんでした。\n->%s\n", {shown});
    mail.output_failed = true;
}

} // namespace

NameFolder OutputNames(MailState& mail) {
    // A walk without a run (a test's) has no folder: every name is free.
    const int here = mail.output.Here();
    const bool root = here == mail.output.root.Get();
    // A mail worked on ahead looks at every name on disk: a listing would also hold the folders
    // later mails made meanwhile, which it must not count (see NativeNameTaken).
    FolderListing* listing = mail.run && !BoundDeferredMail() ? &mail.run->listing : nullptr;
    return {here, listing, root ? std::string_view("dornick.txt") : ""};
}

std::u16string OutputFolderPath(const MailState& mail) {
    return platform::FolderPath(mail.output.Here());
}

MailFolderNames NameMailFolders(const MailFacts& facts, bool full_width) {
    MailFolderNames names;
    // A bare block of text has no header: its files go into the output root itself.
    if (!facts.HasHeader()) {
        names.date = kUnknownDate;
        names.sender = kUnknownSender;
        names.return_path = facts.return_path;
        names.from_address = facts.from_address;
        return names;
    }
    if (!facts.date_text.empty()) {
        names.date = facts.date_text;
        SanitizeFileName(names.date, false);
        ParseMailDate(names.date, names.mail_time);
    } else {
        names.date = kUnknownDate;
    }
    std::u16string sender;
    if (!facts.from_address.empty())
        sender = facts.from_address;
    else if (!facts.sender.empty())
        sender = facts.sender;
    else
        sender = facts.apparently_from.empty() ? kUnknownSender : facts.apparently_from;

    names.from_address = ConvertAddress(sender, facts.japanese_mail);
    names.return_path = ConvertAddress(facts.return_path, facts.japanese_mail);
    names.sender = names.from_address;
    SanitizeFileName(names.sender, full_width);
    return names;
}

void AdoptOuterFolders(MailState& mail) {
    const MailState& outer = *mail.outer;
    mail.folders_made = true;
    mail.folder_names = outer.folder_names;
    if (!outer.output.folder) return;
    mail.output.folder = platform::DuplicateFd(outer.output.folder.Get());
    if (mail.output.folder) mail.output.folder_below_root = outer.output.folder_below_root;
}

void PrepareMailFolders(MailState& mail) {
    if (mail.folders_made) return;
    // An attached message's files go where the mail that holds it files its own.
    if (mail.outer) {
        PrepareMailFolders(*mail.outer);
        AdoptOuterFolders(mail);
        return;
    }
    mail.folders_made = true;
    const RunOptions& options = *mail.options;
    mail.folder_names = NameMailFolders(mail.facts, options.full_width);
    if (!mail.facts.HasHeader()) return;
    const MailFolderNames& names = mail.folder_names;
    const bool sender_folder = !options.no_sender_folder;
    const bool date_folder = !options.no_date_folder;
    if (options.date_then_sender) {
        if (date_folder) EnterMailFolder(mail, names.date);
        if (sender_folder) EnterMailFolder(mail, names.sender);
    } else {
        if (sender_folder) EnterMailFolder(mail, names.sender);
        if (date_folder) EnterMailFolder(mail, names.date);
    }
}

void IssueProgressLine(MailState& mail) {
    // Once per mail file, attached messages included; into the log that the walk holds.
    MailState& file = mail.MailFile();
    if (!file.progress_pending) return;
    file.progress_pending = false;
    const RunOptions& options = *mail.options;
    if (!options.print && !mail.log_on) return;
    const MailFolderNames& names = mail.folder_names;
    const std::u16string& first = options.date_then_sender ? names.date : names.sender;
    const std::u16string& second = options.date_then_sender ? names.sender : names.date;
    if (options.print)
        PrintOut(u"\"%s\" からファイルを抽出中です。<%s/%s>\n", {mail.mail_path, first, second});
    if (mail.log_on)
        LogAppendFormat(mail.log, u"\"%s\" からファイルを抽出中です。<%s/%s>\r\n",
                        {mail.mail_path, first, second});
    if (names.return_path != names.from_address && names.sender != kUnknownSender) {
        const std::u16string return_path = ShownText(names.return_path),
                             from_address = ShownText(names.from_address);
        if (options.print)
            PrintOut(u"このメールは Return-Path と From の内容が異なります。\nReturn-Path: %s\n-> From: %s\n",
                     {return_path, from_address});
        if (mail.log_on)
            LogAppendFormat(mail.log,
                            u"このメールは Return-Path と From の内容が異なります。\r\nReturn-Path: %s\r\n-> "
                            u"From: %s\r\n",
                            {return_path, from_address});
    }
}

} // namespace dornick
