#include "console/run/log.h"

#include "console/run/deferred_mail.h"
#include "platform/paths.h"

#include "console/run/messages.h"
#include "platform/paths.h"

namespace dornick {

namespace {

void AppendText(LogBuffer& log, std::u16string_view text) {
    size_t needed = log.text.size() + text.size() + 1;
    while (needed > log.capacity)
        log.capacity += kLogGrowthUnits;
    if (log.text.capacity() < log.capacity) log.text.reserve(log.capacity);
    log.text.append(text);
}

} // namespace

void LogAppend(LogBuffer& log, std::u16string_view text) {
    AppendText(log, Localize(text));
}

void LogAppendFormat(LogBuffer& log, std::u16string_view format,
                     std::initializer_list<platform::FormatArg> args) {
    std::u16string entry;
    platform::FormatAppend(entry, kLogLineLimit, Localize(format), args);
    AppendText(log, entry);
}

bool LogWriteFile(std::u16string_view text, std::u16string_view folder, const platform::RetryPolicy& retry,
                  int folder_fd) {
    std::u16string path(folder);
    if (!path.empty() && path.back() != u'/') path.push_back(u'/');
    path.append(u"dornick.txt");
    if (text.empty()) return true;
    if (DeferredMail* deferred = BoundDeferredMail()) {
        // Written when the mail's turn comes; a folder that cannot be held open is a mail to redo.
        platform::UniqueFd held;
        if (folder_fd != platform::kCurrentFolder && !(held = platform::DuplicateFd(folder_fd)))
            return !MustWaitForTurn();
        deferred->logs.push_back({std::u16string(text), std::u16string(folder), std::move(held)});
        return true;
    }
    std::string bytes;
    bytes.resize(text.size() * 2);
    for (size_t i = 0; i < text.size(); ++i) {
        bytes[2 * i] = static_cast<char>(text[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<char>(text[i] >> 8);
    }
    static constexpr char kByteOrderMark[] = {'\xFF', '\xFE'};
    platform::OpenStatus status = platform::RetryWhileContended(
        [&] {
            return folder_fd == platform::kCurrentFolder
                       ? platform::AppendLocked(path, std::string_view(kByteOrderMark, 2), bytes)
                       : platform::AppendLocked(u"dornick.txt", std::string_view(kByteOrderMark, 2), bytes,
                                                folder_fd);
        },
        retry);
    if (status == platform::OpenStatus::Ok) return true;
    if (status == platform::OpenStatus::WriteFailed) {
        PrintErr(u"ログファイルに書き込めませんでした。\n->%s\n", {platform::DisplayPath(path)});
        return false;
    }
    PrintErr(u"ログファイルを作成出来ませんでした。\n->%s\n", {platform::DisplayPath(path)});
    return false;
}

} // namespace dornick
