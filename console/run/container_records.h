#pragma once
// The records of the files taken out of one container (a stored winmail.dat or message file, or
// one given on its own): each is numbered one level below the container's part in the order the
// container hands its attachments on ("2" -> "2.1", "2.2"; an attachment that gives no file still
// takes its number), hashed before it is written, and recorded once its name is final (a TNEF
// attachment may still be renamed to its long name after it was written).

#include <cstdint>
#include <string>
#include <string_view>

#include "console/run/file_digest.h"
#include "console/run/file_records.h"

namespace dornick {

class ContainerRecords {
  public:
    /// Files of the container at part `container_part` of the owner's mail.
    ContainerRecords(RecordOwner owner, std::string container_part, Sha256& digest)
        : owner_(std::move(owner)), prefix_(std::move(container_part) + "."), digest_(digest) {}
    ContainerRecords(const ContainerRecords&) = delete;
    ContainerRecords& operator=(const ContainerRecords&) = delete;

    bool On() const { return owner_.records != nullptr; }
    /// The mail the files belong to, once its fields are known (a message file given on its own
    /// tells its sender and date only as its first file is written).
    void SetOwner(RecordOwner owner) { owner_ = std::move(owner); }
    /// The files go into the open `folder`, at `path` below the output root ("" or ending "/").
    void SetFolder(int folder, std::u16string path);
    /// The next attachment with its bytes: the file before it is recorded, and this one hashed.
    /// False when its bytes are not to be written (a duplicate that --dedupe skip drops): its name
    /// is still claimed, empty, and given back when it is recorded.
    bool Next(std::string_view data);
    /// An attachment that gives no file (it has no name): it takes its number all the same.
    void Pass();
    /// The attachment's file now stands as `name`, named `original_name` before it was made unique.
    void Named(const std::u16string& name, const std::u16string& original_name);
    /// Records the last file.
    void Finish();
    /// Every file made was a duplicate that --dedupe skip dropped (and at least one was made).
    bool AllDropped() const { return dropped_ > 0 && kept_ == 0; }

  private:
    RecordOwner owner_;
    std::string prefix_;
    Sha256& digest_;
    int folder_ = -1;
    std::u16string folder_path_;
    uint64_t number_ = 0;
    bool pending_ = false; ///< a file is named and not yet recorded
    FileFacts file_;
    FileVerdict unwritten_; ///< the verdict on bytes that were not written
    uint64_t kept_ = 0;
    uint64_t dropped_ = 0;
};

} // namespace dornick
