#include "console/run/tnef_expand.h"

#include <cerrno>

#include <unicode/utf16.h>

#include "console/decode/line_cursor.h"
#include "console/decode/msg_reader.h"
#include "console/decode/tnef_walk.h"
#include "console/header/nfc.h"
#include "console/header/sanitize_file_name.h"
#include "console/header/unique_file_name.h"
#include "console/run/container_records.h"
#include "console/run/deferred_mail.h"
#include "console/run/messages.h"
#include "console/run/msg_files.h"
#include "console/run/tnef_attachment.h"
#include "platform/clock.h"
#include "platform/file_moves.h"
#include "platform/files.h"
#include "platform/format.h"
#include "platform/paths.h"

namespace dornick {
namespace {

constexpr size_t kLongPathLimit = 32764;
constexpr std::u16string_view kExpandSuffix = u"(expand)";

// Turns the walk's events into files of the output folder.
class AttachmentFiles : public TnefEvents {
  public:
    AttachmentFiles(NameFolder folder, std::u16string& charset, std::u16string_view content_type,
                    std::optional<std::time_t>& file_time, bool full_width, bool japanese_mail,
                    ContainerRecords* records)
        : charset_(charset), file_time_(file_time), records_(records) {
        naming_.folder = folder;
        naming_.content_type = content_type;
        naming_.time = &file_time_;
        naming_.full_width = full_width;
        naming_.japanese_mail = japanese_mail;
    }

    void OnAttachment(std::string_view title, std::string_view data) override {
        // A duplicate that is dropped claims its name all the same, so that the names after it
        // come out as they would have.
        const bool keep = !records_ || records_->Next(data);
        (void)TnefWriteAttachment(title, written_path_, keep ? data : std::string_view(), Naming(),
                                  &written_safe_);
        if (records_) records_->Named(written_path_, written_safe_);
    }
    void OnModifyDate(const platform::SystemTime& local) override {
        // A record that names no calendar day leaves the time as it was.
        if (local.wMonth < 1 || local.wMonth > 12 || local.wDay < 1 || local.wDay > 31) return;
        std::time_t when;
        if (platform::LocalTimeToEpoch(local, when)) file_time_ = when;
    }
    void OnCodePage(int32_t code_page) override { charset_ = platform::Format(u"CP%d", {code_page}); }
    void OnLongName(std::string_view name) override {
        if (!written_path_.empty()) MoveTo(TnefSafeName(name, Naming()));
    }
    void OnUnicodeLongName(std::u16string_view name) override {
        if (written_path_.empty() || name.empty()) return;
        MoveTo(UnicodeSafeName(name, naming_.full_width));
    }

  private:
    const TnefNaming& Naming() {
        naming_.charset = charset_;
        return naming_;
    }

    void MoveTo(std::u16string name) {
        // The title's own name, also when the file had to take a counted form of it.
        if (name == written_safe_) return;
        const std::u16string wanted = name;
        if (TnefMoveToLongName(std::move(name), written_path_, Naming()) == 0 && records_)
            records_->Named(written_path_, wanted);
    }

    std::u16string& charset_;
    std::optional<std::time_t>& file_time_;
    TnefNaming naming_;
    std::u16string written_path_;
    std::u16string written_safe_; ///< the written file's name before it was made unique
    ContainerRecords* records_;
};

// The folder messages of a container, tagged with its kind.
struct FolderTexts {
    std::u16string_view too_long;
    std::u16string_view not_made;
    std::u16string_view made;
    std::u16string_view removed;
};
constexpr FolderTexts kTnefTexts = {
    u"フォルダパスが長すぎます。(winmail.dat)\n->%s\n",
    u"指定されたフォルダが作成出来ませんでした。(winmail.dat)\n->%s\n",
    u"フォルダを作成しました。(winmail.dat)\n->%s\n\n",
    u"添付ファイルが見つからないため、出力用のフォルダを削除しています...(winmail.dat)\n->%s\n\n",
};
constexpr FolderTexts kMsgTexts = {
    u"フォルダパスが長すぎます。(msg)\n->%s\n",
    u"指定されたフォルダが作成出来ませんでした。(msg)\n->%s\n",
    u"フォルダを作成しました。(msg)\n->%s\n\n",
    u"添付ファイルが見つからないため、出力用のフォルダを削除しています...(msg)\n->%s\n\n",
};

bool IsBareName(std::u16string_view path) {
    return !path.empty() && path.find(u'/') == std::u16string_view::npos && path != u"." && path != u"..";
}

// Opens the output folder, creating it when missing: the handle, or none after the message.
platform::UniqueFd OpenOutputFolder(const TnefPlace& place, const std::u16string& folder,
                                    std::u16string_view bare_name, const FolderTexts& texts) {
    const std::u16string shown = platform::DisplayPath(folder);
    if (folder.size() + 1 > kLongPathLimit) {
        PrintErr(texts.too_long, {shown});
        return {};
    }
    if (!bare_name.empty()) {
        // The "(expand)" folder beside the stored container: made and opened by name, so that a
        // link planted under that name is never followed.
        const int made = platform::MakeFolderAt(place.folder, bare_name);
        if (made != 0 && made != EEXIST) {
            PrintErr(texts.not_made, {shown});
            return {};
        }
        if (made == 0) PrintErr(texts.made, {shown});
        platform::UniqueFd opened = platform::OpenFolderNoFollowAt(place.folder, bare_name);
        if (!opened) PrintErr(texts.not_made, {shown});
        return opened;
    }
    platform::UniqueFd opened;
    if (!platform::PathExists(folder) && !(opened = platform::OpenFolder(folder))) {
        if (platform::CreateFolderChain(folder) == 1) {
            PrintErr(texts.not_made, {shown});
            return {};
        }
        PrintErr(texts.made, {shown});
    }
    // A folder that exists but cannot be opened (a file of that name) would put the files nowhere:
    // the container stops here instead.
    if (!opened) opened = platform::OpenFolder(folder);
    if (!opened) PrintErr(texts.not_made, {shown});
    return opened;
}

} // namespace

int TnefExpandFile(const TnefPlace& place, std::u16string_view container_path,
                   std::u16string_view output_folder, std::u16string& charset,
                   std::u16string_view content_type, std::optional<std::time_t>& file_time, bool full_width,
                   bool japanese_mail) {
    // A worked-ahead mail's file has no name yet to be read back by: the mail waits for its turn.
    if (MustWaitForTurn()) return 0;
    const bool folder_given = !output_folder.empty();
    const std::u16string remembered(place.path);

    const std::u16string full_path = platform::FullPathFrom(remembered, container_path);
    const std::u16string shown_path = ShownText(platform::DisplayPath(full_path));
    platform::MappedFile file;
    auto release = [&] { platform::CloseMappedFile(file); };
    // A relative path is opened in the place's folder, so that a link planted on the way to it
    // since it was written is not followed in its place.
    const std::u16string& opened_path = container_path.empty() || container_path[0] == u'/' || folder_given
                                            ? full_path
                                            : std::u16string(container_path);
    if (platform::RetryWhileContended([&] {
            return platform::OpenSharedExisting(opened_path, false, file, place.folder);
        }) != platform::OpenStatus::Ok) {
        PrintErr(u"ファイルを開けませんでした。\n->%s\n", {shown_path});
        release();
        return -1;
    }
    if (!platform::QueryFileSize(file)) {
        PrintErr(u"ファイルサイズの取得に失敗しました。->%s\n", {shown_path});
        release();
        return -1;
    }
    if (file.size == 0) {
        release();
        return -1;
    }
    if (!platform::MapWholeFile(file)) {
        PrintErr(u"ファイルマッピングに失敗しました。\n->%s\n", {shown_path});
        release();
        return -1;
    }
    // A stored message file (".msg") is expanded the same way; given on its own it is a mail.
    const bool message_file = !folder_given && HasCompoundSignature(file.data, file.size);
    if (!message_file && !HasTnefSignature(file.data, file.size)) {
        release();
        return 0;
    }
    const FolderTexts& texts = message_file ? kMsgTexts : kTnefTexts;

    std::u16string folder;
    std::u16string_view bare_name;
    if (folder_given) {
        folder = platform::FullPathFrom(remembered, output_folder);
        if (folder.back() != u'/') folder.push_back(u'/');
    } else {
        const std::u16string beside =
            remembered + u"/" + std::u16string(container_path) + std::u16string(kExpandSuffix);
        if (beside.size() < kLongPathLimit) {
            folder = platform::FullPath(beside);
            if (IsBareName(container_path))
                bare_name = std::u16string_view(folder).substr(folder.rfind(u'/') + 1);
        } else {
            folder = remembered;
        }
    }
    const platform::UniqueFd output = OpenOutputFolder(place, folder, bare_name, texts);
    if (!output) {
        release();
        return -1;
    }

    if (place.records) {
        std::u16string below = folder_given ? std::u16string() : std::u16string(place.record_folder);
        if (!folder_given && !bare_name.empty()) below += std::u16string(bare_name) + u"/";
        place.records->SetFolder(output.Get(), std::move(below));
    }
    int result = 0;
    if (message_file) {
        TnefNaming naming;
        naming.folder = {output.Get(), place.listing};
        naming.content_type = content_type;
        naming.time = &file_time;
        naming.full_width = full_width;
        naming.japanese_mail = japanese_mail;
        MsgAttachmentFiles files(naming);
        files.RecordInto(place.records);
        MsgHeader header;
        const MsgReadResult read = ReadMsgFile(file.data, file.size, header, files);
        ReportMsgResult(read, shown_path);
        result = read.attachments > 0 ? 1 : 0;
    } else {
        AttachmentFiles files({output.Get(), place.listing}, charset, content_type, file_time, full_width,
                              japanese_mail, place.records);
        LineCursor cursor = MakeLineCursor(file.data, file.size);
        ReadBytes(nullptr, 4, nullptr, cursor);
        result = TnefWalkAttributes(cursor, files).result;
    }
    release();
    if (place.records) place.records->Finish();

    // An "(expand)" folder whose files were all dropped as duplicates goes again, without a word.
    if (result != 0 && !folder_given && place.records && place.records->AllDropped() &&
        folder != remembered &&
        platform::RemoveEmptyFolder(place.folder,
                                    bare_name.empty() ? std::u16string_view(folder) : bare_name))
        place.listing->Forget();
    if (result == 0 && !folder_given) {
        // Removed only when empty: anything already there stays.
        if (folder != remembered &&
            platform::RemoveEmptyFolder(place.folder,
                                        bare_name.empty() ? std::u16string_view(folder) : bare_name))
            place.listing->Forget();
        PrintErr(texts.removed, {platform::DisplayPath(folder)});
    }
    return result;
}

} // namespace dornick
