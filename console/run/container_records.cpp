#include "console/run/container_records.h"

namespace dornick {

void ContainerRecords::SetFolder(int folder, std::u16string path) {
    folder_ = folder;
    folder_path_ = std::move(path);
}

bool ContainerRecords::Next(std::string_view data) {
    if (!On()) return true;
    // The digest and the records are the writer thread's until it has made what it was handed.
    owner_.records->Settle();
    Finish();
    file_ = FileFacts{};
    file_.part = prefix_ + std::to_string(++number_);
    file_.size = data.size();
    digest_.Restart();
    digest_.Update(data.data(), data.size());
    file_.sha256 = digest_.HexDigest();
    unwritten_ = JudgeUnwritten(owner_, file_.sha256);
    return !unwritten_.drop;
}

void ContainerRecords::Pass() {
    if (!On()) return;
    Finish();
    ++number_;
}

void ContainerRecords::Named(const std::u16string& name, const std::u16string& original_name) {
    if (!On() || name.empty()) return;
    file_.folder = folder_;
    file_.folder_path = folder_path_;
    file_.name = name;
    file_.original_name = original_name;
    pending_ = true;
}

void ContainerRecords::Finish() {
    if (!pending_) return;
    pending_ = false;
    owner_.records->Settle();
    const FileVerdict verdict =
        unwritten_.drop ? unwritten_ : JudgeCopy(owner_, file_.folder_path + file_.name, file_.sha256);
    ++(PublishRecordedFile(owner_, file_, verdict, false) ? kept_ : dropped_);
}

} // namespace dornick
