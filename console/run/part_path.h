#pragma once
// The place of a part in a mail's MIME tree ("2.1"), counted as a MIME parser that knows nothing
// of the walk would count it: the walk's own boundary handling mends broken mail in ways a reader
// of the manifest cannot know, so the number is worked out from the mail's lines alone.
//
// Numbering: the parts of a multipart are 1, 2, ... and a part inside a nested multipart adds a
// level ("2.1"); a mail that is not multipart has its body as "1"; a preamble or an epilogue is
// counted to the multipart itself. Text before the first boundary of the top multipart is "1".

#include <cstdint>
#include <string>
#include <vector>

namespace dornick {

class PartPathTracker {
  public:
    /// The mail at `data`, `size` bytes from its top header.
    void Start(const unsigned char* data, uint64_t size);
    bool Started() const { return data_ != nullptr; }
    /// The path of the part whose lines hold byte `offset` of the mail. A boundary line belongs
    /// to the part it ends. Queries usually move forward; one that goes back reads from the start
    /// again.
    std::string PathAt(uint64_t offset);

  private:
    struct Level {
        std::string boundary;
        uint64_t count = 0;
    };
    enum class Phase { Header, Body };

    void Reset();
    void TakeLine(const unsigned char* line, size_t length);
    void EndHeaderField();
    bool TakeBoundaryLine(std::string_view line);
    bool SkipBodyLines(uint64_t offset);

    const unsigned char* data_ = nullptr;
    uint64_t size_ = 0;
    uint64_t read_ = 0; ///< bytes of whole lines taken
    Phase phase_ = Phase::Header;
    std::vector<Level> levels_;
    std::string field_;         ///< the header field being read, unfolded
    std::string next_boundary_; ///< the boundary of a multipart header, taken at its blank line
};

/// `prefix` (a nested walk's, ending with ".", or empty) followed by `path`.
std::string NestedPartPath(const std::string& prefix, const std::string& path);

} // namespace dornick
